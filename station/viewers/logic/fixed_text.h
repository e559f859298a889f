#pragma once
// A text of bounded length kept in the object itself: the viewers format their status, rate and
// statistics texts on every frame, and a frame must not allocate.
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string_view>

namespace station::viewers {

template <std::size_t N>
class FixedText {
public:
    FixedText() = default;
    explicit FixedText(std::string_view text) { set(text); }

    // Longer texts are cut at N - 1 characters.
    void set(std::string_view text) {
        length_ = text.size() < N ? text.size() : N - 1;
        text.copy(buffer_.data(), length_);
        buffer_[length_] = '\0';
    }
    void clear() { set({}); }
    // Added at the end, cut like set().
    void append(std::string_view text) {
        const std::size_t n = text.size() < N - 1 - length_ ? text.size() : N - 1 - length_;
        text.copy(buffer_.data() + length_, n);
        length_ += n;
        buffer_[length_] = '\0';
    }
    __attribute__((format(printf, 2, 3))) void format(const char* fmt, ...) {
        std::va_list args;
        va_start(args, fmt);
        const int n = std::vsnprintf(buffer_.data(), N, fmt, args);
        va_end(args);
        length_ = n < 0 ? 0 : (static_cast<std::size_t>(n) < N ? static_cast<std::size_t>(n) : N - 1);
        buffer_[length_] = '\0';
    }
    std::string_view view() const { return {buffer_.data(), length_}; }

private:
    std::array<char, N> buffer_{};
    std::size_t length_ = 0;
};

// A measured value in a "%d" field: the nearest whole number, held to the int range (a value
// that is not a number shows 0).
int wholeNumber(double value);

}  // namespace station::viewers
