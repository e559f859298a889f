#include "platform/file_reader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "platform/tests/fifo_guard.h"

namespace {

using platform::Failure;
using platform::readRegularFile;
using platform::test::blockedOnFifo;
using platform::test::IdleFifo;

class FileReaderTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& content) {
        const std::string p = fifo_.dir() + "/" + name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    IdleFifo fifo_;  // also the scratch folder
};

TEST_F(FileReaderTest, ReadsRegularFilesUpToTheLimitExactly) {
    const std::string bytes("a\0b\r\nc", 6);
    struct Case {
        std::string content;
        std::size_t limit;
    } cases[] = {{"", 0}, {bytes, 6}, {bytes, 1000}, {std::string(70000, 'x'), 70000}};
    for (const auto& c : cases) {
        const std::string path = write("f", c.content);
        std::string got = "stale";
        Failure error;
        ASSERT_TRUE(readRegularFile(path, c.limit, got, &error)) << error.text();
        EXPECT_EQ(got, c.content);
    }
}

TEST_F(FileReaderTest, RefusesWhatIsNotASmallRegularFileAndSaysWhy) {
    // A listening Unix socket cannot be opened at all; it is still named for what it is.
    const std::string sock = fifo_.dir() + "/s.sock";
    const int sfd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, sock.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(sfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string unreadable = write("locked", "x");
    ::chmod(unreadable.c_str(), 0);
    const bool root = ::access(unreadable.c_str(), R_OK) == 0;

    struct Case {
        std::string path;
        std::size_t limit;
        std::string why;
    } cases[] = {
        {fifo_.path(), 1 << 20, "is not a regular file but a FIFO"},
        {"/dev/zero", 1 << 20, "is not a regular file but a character device"},
        {fifo_.dir(), 1 << 20, "is a directory"},
        {sock, 1 << 20, "is not a regular file but a socket"},
        {fifo_.dir() + "/missing", 1 << 20, "No such file or directory"},
        {write("big", std::string(101, 'x')), 100, "is larger than 100 bytes"},
        {unreadable, 100, root ? "" : "Permission denied"},
    };
    for (const auto& c : cases) {
        if (c.why.empty()) continue;  // root reads anything
        std::string got = "stale";
        Failure error;
        bool ok = true;
        EXPECT_FALSE(blockedOnFifo(fifo_.path(), [&] { ok = readRegularFile(c.path, c.limit, got, &error); }))
            << c.path;
        EXPECT_FALSE(ok) << c.path;
        EXPECT_TRUE(got.empty()) << c.path;
        EXPECT_EQ(error.where, c.path);
        EXPECT_EQ(error.reason, c.why);
        EXPECT_EQ(error.text(), c.path + ": " + c.why);
    }
    ::close(sfd);
}

}  // namespace
