#include "platform/lock_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Outcome = platform::LockFile::Outcome;

class LockFileTest : public ::testing::Test {
protected:
    LockFileTest() {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~LockFileTest() override { fs::remove_all(dir); }

    const fs::path dir = fs::temp_directory_path() / ("lock_file_" + std::to_string(::getpid()));
    const std::string path = (dir / "R6X_ROMWRITE.lock").string();
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(LockFileTest, AcquiredThenHeldUntilTheHolderEnds) {
    auto first = platform::LockFile::take(path, "romwrite (pid 100)");
    ASSERT_EQ(first.outcome, Outcome::Acquired) << first.error.text();
    EXPECT_EQ(contents(path), "romwrite (pid 100)\n");

    const auto second = platform::LockFile::take(path, "romwrite (pid 200)");
    EXPECT_EQ(second.outcome, Outcome::Held);
    EXPECT_EQ(second.holder, "romwrite (pid 100)");
    EXPECT_EQ(second.lock, nullptr);
    EXPECT_EQ(platform::LockFile::take((dir / "OTHER.lock").string(), "x").outcome, Outcome::Acquired);

    first.lock.reset();
    const auto third = platform::LockFile::take(path, "romwrite (pid 300)\x1b[2J");
    ASSERT_EQ(third.outcome, Outcome::Acquired);
    EXPECT_EQ(contents(path), "romwrite (pid 300)?[2J\n");
}

// A lock that cannot be made is no proof of another holder: it fails and says why.
TEST_F(LockFileTest, ALockFileThatCannotBeUsedFails) {
    struct Case {
        const char* name;
        void (*plant)(const fs::path&);
        std::string path;
        const char* error;
    };
    const Case cases[] = {
        {"missing folder", [](const fs::path&) {}, "/nonexistent/VorlickR6X.lock",
         "cannot open the lock file /nonexistent/VorlickR6X.lock: No such file or directory"},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, path, ": Is a directory"},
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, path, "is not a regular file"},
        {"symbolic link", [](const fs::path& p) { fs::create_symlink(p.string() + ".target", p); }, path,
         "cannot open the lock file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(c.path);
        c.plant(c.path);
        const auto a = platform::LockFile::take(c.path, "VorlickR6X (pid 1)");
        EXPECT_EQ(a.outcome, Outcome::Failed);
        EXPECT_NE(a.error.text().find(c.error), std::string::npos) << a.error.text();
        EXPECT_EQ(a.error.where, c.path);
        EXPECT_EQ(a.lock, nullptr);
        fs::remove_all(c.path);
    }
}

// Another operator's lock file in a shared folder: the outcome as a program of a second user sees
// it (a child process that drops to another user id when the test runs as root).
Outcome takeAsAnotherUser(const std::string& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        const auto a = platform::LockFile::take(path, "VorlickR6X (pid 2)");
        ::_exit(static_cast<int>(a.outcome));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? static_cast<Outcome>(WEXITSTATUS(status)) : Outcome::Failed;
}

TEST_F(LockFileTest, AnotherUsersFileInASharedFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play two users";
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    {
        // Made by this library: readable by all, so the other user takes part in the lock.
        auto mine = platform::LockFile::take(path, "VorlickR6X (pid 1)");
        ASSERT_EQ(mine.outcome, Outcome::Acquired);
        EXPECT_EQ(takeAsAnotherUser(path), Outcome::Held);
    }
    EXPECT_EQ(takeAsAnotherUser(path), Outcome::Acquired);
    // An owner-only file (an older build's): nobody can tell whether it is held.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(takeAsAnotherUser(path), Outcome::Failed);
}

TEST(RuntimeDirectory, AnAbsoluteXdgRuntimeDirElseTmp) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved != nullptr ? saved : "";
    const std::pair<const char*, const char*> cases[] = {
        {"/run/user/1000", "/run/user/1000"}, {"/nonexistent", "/nonexistent"}, {"", "/tmp"}, {"run/user", "/tmp"}};
    for (const auto& [value, dir] : cases) {
        ::setenv("XDG_RUNTIME_DIR", value, 1);
        EXPECT_EQ(platform::runtimeDirectory(), dir) << value;
    }
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::runtimeDirectory(), "/tmp");
    if (saved != nullptr) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
