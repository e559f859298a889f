#pragma once
// Lines of text from a descriptor (the station's standard input) on a reader thread.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace platform {

// Splits bytes into lines: "\n" ends a line, a "\r" before it is dropped. A line longer than
// `maxLine` is dropped whole and reported once, so memory stays bounded whatever is sent.
class LineSplitter {
public:
    enum class Kind { Line, TooLong };
    struct Item {
        Kind kind;
        std::string text;  // the line (Line), empty for TooLong
    };

    explicit LineSplitter(std::size_t maxLine) : maxLine_(maxLine) {}
    // Appends the lines the bytes complete.
    void feed(std::string_view bytes, std::vector<Item>& out);
    // End of input: an unterminated last line counts as a line.
    void finish(std::vector<Item>& out);

private:
    std::size_t maxLine_;
    std::string pending_;
    bool discarding_ = false;
};

class LineReader {
public:
    enum class Event { Line, TooLong, End };
    using Sink = std::function<void(Event, std::string)>;

    LineReader(int fd, std::size_t maxLine) : fd_(fd), maxLine_(maxLine) {}
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Reads until the end of input (then one End) or stop(). False with a reason when the
    // thread cannot be set up.
    bool start(Sink sink, std::string& error);
    // Wakes a waiting read and joins the thread; the descriptor stays open.
    void stop();

private:
    int fd_;
    std::size_t maxLine_;
    int wakeFd_ = -1;
    std::thread thread_;
};

}  // namespace platform
