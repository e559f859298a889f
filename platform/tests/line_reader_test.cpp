#include "platform/line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

using platform::LineReader;
using platform::LineSplitter;

// Every item as "L:text" or "TooLong".
std::vector<std::string> split(const std::vector<std::string>& chunks, std::size_t maxLine, bool finish = true) {
    LineSplitter splitter(maxLine);
    std::vector<LineSplitter::Item> items;
    for (const auto& c : chunks) splitter.feed(c, items);
    if (finish) splitter.finish(items);
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.kind == LineSplitter::Kind::Line ? "L:" + i.text : "TooLong");
    return out;
}

TEST(LineSplitter, SplitsLinesAcrossChunks) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"one per chunk", {"start\n", "quit\n"}, {"L:start", "L:quit"}},
        {"split inside a word", {"st", "art\nsn A", "B1\n"}, {"L:start", "L:sn AB1"}},
        {"CR LF", {"enter\r\n"}, {"L:enter"}},
        {"a lone CR inside stays", {"sn A\rB\n"}, {"L:sn A\rB"}},
        {"empty lines are lines", {"\n\nquit\n"}, {"L:", "L:", "L:quit"}},
        {"last line without end", {"quit"}, {"L:quit"}},
        {"exactly the limit", {"0123456789\n"}, {"L:0123456789"}},
        {"the limit with CR", {"0123456789\r\n"}, {"L:0123456789"}},
        {"one over the limit", {"0123456789A\n", "quit\n"}, {"TooLong", "L:quit"}},
        {"over the limit across chunks, reported once", {"01234", "56789", "ABCDE", "FGH\nok\n"}, {"TooLong", "L:ok"}},
        {"over the limit at the end of input", {"0123456789ABC"}, {"TooLong"}},
        {"one over the limit at the end of input", {"0123456789A"}, {"TooLong"}},
    };
    for (const auto& c : cases) EXPECT_EQ(split(c.chunks, 10), c.expected) << c.name;
}

TEST(LineSplitter, KeepsALongSerialNumberWhole) {
    const std::string serial(10000, 'S');
    // Delivered in pieces as a pipe would.
    std::vector<std::string> chunks;
    const std::string line = "sn " + serial + "\n";
    for (std::size_t i = 0; i < line.size(); i += 4096) chunks.push_back(line.substr(i, 4096));
    EXPECT_EQ(split(chunks, 1 << 20), std::vector<std::string>{"L:sn " + serial});
}

// The reader thread over a pipe: every line, then one End when the writer closes.
TEST(LineReader, DeliversLinesThenTheEndOfInput) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::string> seen;
    bool ended = false;
    LineReader reader(fds[0], 64);
    std::string error;
    ASSERT_TRUE(reader.start(
        [&](LineReader::Event e, std::string text) {
            std::lock_guard lock(mutex);
            if (e == LineReader::Event::End) {
                ended = true;
                done.notify_one();
            } else {
                seen.push_back(e == LineReader::Event::Line ? text : "TooLong");
            }
        },
        error))
        << error;
    const std::string input = "start\r\nsn X1\n" + std::string(100, 'x') + "\nquit";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return ended; });
    }
    reader.stop();
    ::close(fds[0]);
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "sn X1", "TooLong", "quit"}));
}

// stop() returns while the input is still open and nothing comes.
TEST(LineReader, StopsAWaitingRead) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    bool ended = false;
    {
        LineReader reader(fds[0], 64);
        std::string error;
        ASSERT_TRUE(
            reader.start([&](LineReader::Event e, std::string) { ended |= e == LineReader::Event::End; }, error));
        reader.stop();
    }
    EXPECT_FALSE(ended);  // a stop is not the end of the operator's input
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
