#include "platform/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Scratch {
    Scratch() {
        std::string tmpl = "/tmp/vchild.XXXXXX";
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        path = fs::canonical(tmpl).string();
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string script(const std::string& name, const std::string& body, bool executable = true) const {
        std::string p = path + "/" + name;
        fs::create_directories(fs::path(p).parent_path());
        std::ofstream(p) << "#!/bin/sh\n" << body;
        ::chmod(p.c_str(), executable ? 0755 : 0644);
        return p;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path + "/" + name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string path;
};

TEST(RunChild, ReportsHowTheProgramEnded) {
    Scratch dir;
    struct Case {
        const char* name;
        std::string body;
        bool exited;
        int exitCode;
        int signal;
    } cases[] = {
        {"exit 0", "exit 0\n", true, 0, 0},
        {"exit 0x15", "exit 21\n", true, 0x15, 0},
        {"exit 255", "exit 255\n", true, 255, 0},
        {"killed", "kill -9 $$\n", false, 0, SIGKILL},
        {"terminated", "kill -TERM $$\n", false, 0, SIGTERM},
    };
    for (const Case& c : cases) {
        const std::string prog = dir.script("p", c.body);
        const platform::ChildEnd end = platform::runChild({prog}, dir.path);
        ASSERT_TRUE(end.started) << c.name;
        EXPECT_EQ(end.waitError, 0) << c.name;
        EXPECT_EQ(end.exited, c.exited) << c.name;
        EXPECT_EQ(end.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(end.signal, c.signal) << c.name;
    }
}

TEST(RunChild, ProgramsThatCannotStartSayWhy) {
    Scratch dir;
    const std::string plain = dir.script("not executable", "exit 0\n", false);
    struct Case {
        std::string path;
        int error;
    } cases[] = {{dir.path + "/absent", ENOENT}, {plain, EACCES}, {dir.path, EACCES}, {"", ENOENT}};
    for (const Case& c : cases) {
        const platform::ChildEnd end = platform::runChild({c.path}, dir.path);
        EXPECT_FALSE(end.started) << c.path;
        EXPECT_EQ(end.startError, c.error) << c.path;
        EXPECT_TRUE(end.startFailure.failed()) << c.path;
    }
}

// Arguments go whole (no shell), the folder is the one given, no descriptor of ours but the
// standard ones reaches the child, standard input is empty and signals are at their defaults.
TEST(RunChild, StartsTheProgramClean) {
    Scratch dir;
    const std::string prog = dir.script("dir with spaces/the writer",
                                        "printf '%s|' \"$@\" > args.txt\n"
                                        "pwd > pwd.txt\n"
                                        "for fd in $HELD; do [ -e /proc/$$/fd/$fd ] && echo \"$fd inherited\"; done "
                                        "> fds.txt\n"
                                        "cat > stdin.txt\n"
                                        "exec grep -E '^Sig(Blk|Ign):' /proc/self/status > signals.txt\n");
    const int held = ::open(prog.c_str(), O_RDONLY);  // without close-on-exec
    ASSERT_GE(held, 0);
    ::setenv("HELD", std::to_string(held).c_str(), 1);
    sigset_t blocked, old;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &old);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);

    const platform::ChildEnd end = platform::runChild({prog, "_tmp.hex", "-f1", "a b"}, dir.path);

    std::signal(SIGPIPE, oldPipe);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(held);
    ::unsetenv("HELD");
    ASSERT_TRUE(end.started);
    EXPECT_TRUE(end.exited);
    EXPECT_EQ(end.exitCode, 0);
    EXPECT_EQ(dir.read("args.txt"), "_tmp.hex|-f1|a b|");
    EXPECT_EQ(dir.read("pwd.txt"), dir.path + "\n");
    EXPECT_EQ(dir.read("fds.txt"), "");
    EXPECT_EQ(dir.read("stdin.txt"), "");
    EXPECT_EQ(dir.read("signals.txt"), "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

}  // namespace
