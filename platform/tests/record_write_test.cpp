#include "platform/record_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/tests/disk_full.h"
#include "platform/tests/fifo_guard.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

using platform::test::DiskFullAfter;

TEST(RecordWrite, ReplacesWholeAndLeavesOnlyTheFile) {
    platform::test::IdleFifo scratch;
    const std::string path = scratch.dir() + "/a.csv";
    ASSERT_TRUE(platform::replaceFileWhole(path, "first\r\n"));
    ASSERT_TRUE(platform::replaceFileWhole(path, "second, longer\r\n"));
    EXPECT_EQ(slurp(path), "second, longer\r\n");
    EXPECT_EQ(names(scratch.dir()), (std::vector<std::string>{"a.csv", "idle.fifo"}));

    ASSERT_TRUE(platform::appendToFileWhole(path, "row\r\n"));
    EXPECT_EQ(slurp(path), "second, longer\r\nrow\r\n");
}

TEST(RecordWrite, RefusesWhatIsNotARegularFileAndLeavesItAlone) {
    platform::test::IdleFifo scratch;
    fs::create_directory(scratch.dir() + "/folder");
    struct Case {
        std::string path;
        const char* error;
    };
    const Case cases[] = {
        {scratch.dir() + "/folder", "is not a regular file"},
        {scratch.path(), "is not a regular file"},
        {"/dev/full", "is not a regular file"},
        {scratch.dir() + "/gone/a.csv", "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform::replaceFileWhole(c.path, "record\r\n").failure.reason, c.error);
        EXPECT_EQ(platform::appendToFileWhole(c.path, "record\r\n").failure.reason, c.error);
    }
    EXPECT_TRUE(fs::is_directory(scratch.dir() + "/folder"));
    EXPECT_TRUE(fs::is_fifo(scratch.path()));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(names(scratch.dir()), (std::vector<std::string>{"folder", "idle.fifo"}));
}

TEST(RecordWrite, AppendNeverCreates) {
    platform::test::IdleFifo scratch;
    const std::string path = scratch.dir() + "/result.log";
    EXPECT_EQ(platform::appendToFileWhole(path, "row\r\n").failure.reason, "No such file or directory");
    EXPECT_FALSE(fs::exists(path));
}

TEST(RecordWrite, DiskFullHalfWayLeavesTheFileAsItWas) {
    platform::test::IdleFifo scratch;
    const std::string path = scratch.dir() + "/result.log";
    const std::string head = "head\r\n";
    ASSERT_TRUE(platform::replaceFileWhole(path, head));
    const std::string big(4096, 'r');
    {
        const DiskFullAfter full(head.size() + 100);
        EXPECT_EQ(platform::replaceFileWhole(path, big).failure.reason, "File too large");
        EXPECT_EQ(platform::appendToFileWhole(path, big).failure.reason, "File too large");
    }
    EXPECT_EQ(slurp(path), head);
    EXPECT_EQ(names(scratch.dir()), (std::vector<std::string>{"idle.fifo", "result.log"}));

    // An open descriptor (the JSON records): cut back to where it ended as well.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    {
        const DiskFullAfter full(head.size() + 100);
        EXPECT_EQ(platform::appendToDescriptorWhole(fd, big).failure.reason, "File too large");
    }
    ::close(fd);
    EXPECT_EQ(slurp(path), head);
}

TEST(RecordWrite, DeviceThatIsFullIsReported) {
    const int fd = ::open("/dev/full", O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(platform::appendToDescriptorWhole(fd, "{\"check\":1}\n").failure.reason, "No space left on device");
    ::close(fd);
}

TEST(RecordWrite, CopyIsWholeOrNothing) {
    platform::test::IdleFifo scratch;
    const std::string from = scratch.dir() + "/image.hex";
    const std::string to = scratch.dir() + "/_tmp.hex";
    ASSERT_TRUE(platform::replaceFileWhole(from, ":00000001FF\r\n"));
    ASSERT_TRUE(platform::copyFileWhole(from, to, 1 << 20));
    EXPECT_EQ(slurp(to), ":00000001FF\r\n");
    EXPECT_EQ(platform::copyFileWhole(scratch.dir() + "/missing.hex", to, 1 << 20).failure.text(),
              scratch.dir() + "/missing.hex: No such file or directory")
        << "names the file that failed, the source here";
    EXPECT_EQ(slurp(to), ":00000001FF\r\n");
}

// Past the file-size limit the process lives on and the write says why.
TEST(RecordWrite, FileSizeLimitIsAFailureNotADeath) {
    platform::test::IdleFifo scratch;
    const std::string path = scratch.dir() + "/detail.csv";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        platform::ignoreFileSizeSignal();
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &small);
        const platform::RecordWrite w = platform::replaceFileWhole(path, std::string(100000, 'x'));
        ::_exit(w.failure.reason == "File too large" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(names(scratch.dir()), std::vector<std::string>{"idle.fifo"});
}

}  // namespace
