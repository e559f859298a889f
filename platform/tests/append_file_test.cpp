#include "platform/append_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/tests/fifo_guard.h"

namespace {

using platform::openRegularFileForAppend;
using platform::test::blockedOnFifo;
using platform::test::IdleFifo;

// Appends to a regular file, and creates one that is missing.
TEST(AppendFile, AppendsToARegularFile) {
    IdleFifo scratch;
    const std::string path = scratch.dir() + "/records.jsonl";
    for (const char* line : {"first\n", "second\n"}) {
        platform::Failure why;
        std::FILE* f = openRegularFileForAppend(path, why);
        ASSERT_NE(f, nullptr) << why.text();
        std::fputs(line, f);
        std::fclose(f);
    }
    std::stringstream all;
    all << std::ifstream(path).rdbuf();
    EXPECT_EQ(all.str(), "first\nsecond\n");
}

// Everything else is refused with its reason, and the open never waits: not for a reader of a
// FIFO, nor with one there.
TEST(AppendFile, RefusesWhatIsNotARegularFileWithoutWaiting) {
    IdleFifo fifo;
    IdleFifo readFifo;
    const int reader = ::open(readFifo.path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    struct Case {
        std::string path;
        std::string why;
    };
    const Case cases[] = {
        {fifo.path(), "is not a regular file but a FIFO"},
        {readFifo.path(), "is not a regular file but a FIFO"},
        {"/dev/full", "is not a regular file but a character device"},
        {fifo.dir(), "is a directory"},
        {fifo.dir() + "/no/such/folder/x.jsonl", "No such file or directory"},
    };
    for (const Case& c : cases) {
        platform::Failure why;
        std::FILE* f = nullptr;
        EXPECT_FALSE(blockedOnFifo(
            fifo.path(), [&] { f = openRegularFileForAppend(c.path, why); }, O_RDONLY))
            << c.path;
        EXPECT_EQ(f, nullptr) << c.path;
        if (f != nullptr) std::fclose(f);
        EXPECT_EQ(why.reason, c.why) << c.path;
        EXPECT_EQ(why.where, c.path);
    }
    ::close(reader);
}

}  // namespace
