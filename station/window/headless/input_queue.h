#pragma once
// What reaches the headless station from outside while it runs: lines of standard input, the
// end of input, and the stop signals. Reader threads push; the station's one thread takes them
// between ticks and while a check pumps its messages.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace station {

struct InputEvent {
    enum class Kind { Line, TooLong, End, Signal };
    Kind kind = Kind::Line;
    std::string text;  // Line
    int signal = 0;    // Signal
};

class InputSource {
public:
    virtual ~InputSource() = default;
    // The next event, waiting at most `timeoutMs` for one; nullopt when none came.
    virtual std::optional<InputEvent> next(std::uint64_t timeoutMs) = 0;
};

// The production source: a queue the reader threads fill, waited on in real time.
class InputQueue final : public InputSource {
public:
    void push(InputEvent event);
    std::optional<InputEvent> next(std::uint64_t timeoutMs) override;

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<InputEvent> events_;
};

}  // namespace station
