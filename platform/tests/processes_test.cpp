#include "platform/processes.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

class ScratchFolder {
public:
    // Memory-backed when the machine has it: creating thousands of entries on disk is slow.
    explicit ScratchFolder(const std::string& base = "/tmp") {
        std::string tmpl = (fs::is_directory(base) ? base : "/tmp") + "/vproc.XXXXXX";
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        path_ = fs::canonical(tmpl).string();
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string write(const std::string& name, const std::string& content) const {
        const fs::path p = fs::path(path_) / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

private:
    std::string path_;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string mapsLine(const std::string& path) { return "7f00-7f01 r-xp 00000000 08:01 1234    " + path + "\n"; }

TEST(RunningModulePaths, ListsThisTestsOwnProgram) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::vector<std::string> paths = platform::runningModulePaths();
    EXPECT_NE(std::find(paths.begin(), paths.end(), self), paths.end()) << self;
}

// A /proc layout written by hand: numeric entries only, exe links and file mappings, each path
// once, overlong lines skipped without losing the lines around them.
TEST(RunningModulePaths, ReadsExeLinksAndMappedFilesOfEveryProcess) {
    ScratchFolder proc("/dev/shm");
    fs::create_directories(proc.path() + "/101");
    fs::create_symlink("/opt/line2/RomWrite", proc.path() + "/101/exe");
    proc.write("101/maps", "55d0-55d1 r--p 00000000 00:00 0 [heap]\n" + mapsLine("/usr/lib/libc.so.6") +
                               "7ffd-7ffe rw-p 00000000 00:00 0 \n" + mapsLine("/usr/lib/libc.so.6") +
                               mapsLine("/opt/my tools/lib x.so") + mapsLine("/" + std::string(9000, 'a')) +
                               mapsLine("/usr/lib/after-long.so") + "7f02-7f03 r-xp 0 08:01 9 /usr/lib/no-newline.so");
    // No exe link (a kernel thread, or a process of another user): its maps still count.
    proc.write("202/maps", mapsLine("/usr/lib/libc.so.6") + mapsLine("/usr/bin/station"));
    // A process that ended between the listing and the reading.
    fs::create_directories(proc.path() + "/303");
    // Not processes.
    fs::create_directories(proc.path() + "/self");
    fs::create_symlink("/usr/bin/ignored-self", proc.path() + "/self/exe");
    fs::create_directories(proc.path() + "/12a");
    proc.write("12a/maps", mapsLine("/usr/bin/ignored-12a"));

    // Many processes and a maps file far larger than one read, so lines cross read boundaries.
    std::string big;
    for (int i = 0; i < 3000; ++i) big += mapsLine("/lib/m" + std::to_string(i) + ".so");
    std::vector<std::string> expected = {"/opt/line2/RomWrite",    "/usr/lib/libc.so.6",     "/opt/my tools/lib x.so",
                                         "/usr/lib/after-long.so", "/usr/lib/no-newline.so", "/usr/bin/station"};
    for (int p = 0; p < 1500; ++p) {
        const std::string pid = std::to_string(1000 + p);
        fs::create_directories(proc.path() + "/" + pid);
        fs::create_symlink("/opt/p" + pid, proc.path() + "/" + pid + "/exe");
        expected.push_back("/opt/p" + pid);
    }
    proc.write("1000/maps", big);
    for (int i = 0; i < 3000; ++i) expected.push_back("/lib/m" + std::to_string(i) + ".so");

    std::vector<std::string> paths = platform::runningModulePaths(proc.path());
    std::sort(paths.begin(), paths.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(paths, expected);
    EXPECT_TRUE(platform::runningModulePaths(proc.path() + "/none").empty());
}

// Waits for the program's output to end with `last`; bounded, so a program that never runs
// fails the test instead of hanging it.
std::string waitForOutput(const std::string& path, const std::string& last) {
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text = slurp(path);
        if (text.size() >= last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
}

void expectNoChildren() {
    int status = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// The program runs on its own: no arguments, our working directory and standard output,
// nothing on its standard input, none of our other descriptors, and signals as a fresh program
// has them, although the station blocks its stop signals and ignores SIGPIPE.
TEST(StartDetached, RunsTheProgramAsAFreshOrphan) {
    ScratchFolder dir;
    const int leaked = ::open("/dev/null", O_RDONLY);  // not close-on-exec on purpose
    ASSERT_GE(leaked, 3);
    const std::string shellOut = dir.path() + "/shell.out";
    const std::string shell = dir.write("shell.sh",
                                        "#!/bin/sh\n"
                                        "echo \"args=$#\"; echo \"pwd=$(pwd)\"; echo \"stdin=$(cat)\"\n"
                                        "[ -e /proc/$$/fd/" +
                                            std::to_string(leaked) + " ] && echo leaked\necho end\n");
    // The shell clears its signal mask itself; cat shows what it was given.
    const std::string catOut = dir.path() + "/cat.out";
    const std::string cat = dir.write("cat.sh", "#!/bin/cat /proc/self/status\n#end\n");
    ASSERT_EQ(::chmod(shell.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(cat.c_str(), 0755), 0);

    sigset_t stop, before;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &stop, &before), 0);
    const auto oldPipe = ::signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    const int savedOut = ::dup(STDOUT_FILENO);
    bool started[2] = {};
    for (int i = 0; i < 2; ++i) {
        const int out = ::open((i == 0 ? shellOut : catOut).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::close(out);
        started[i] = !platform::startDetached(i == 0 ? shell : cat).failed();
    }
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedOut);
    ::signal(SIGPIPE, oldPipe);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(leaked);

    ASSERT_TRUE(started[0]);
    ASSERT_TRUE(started[1]);
    EXPECT_EQ(waitForOutput(shellOut, "end\n"), "args=0\npwd=" + fs::current_path().string() + "\nstdin=\nend\n");
    const std::string status = waitForOutput(catOut, "#end\n");
    EXPECT_NE(status.find("\nSigBlk:\t0000000000000000\n"), std::string::npos) << status;
    EXPECT_NE(status.find("\nSigIgn:\t0000000000000000\n"), std::string::npos) << status;
    expectNoChildren();
}

TEST(StartDetached, ProgramsThatCannotRunAreNotStarted) {
    ScratchFolder dir;
    const std::string plain = dir.write("not-executable", "#!/bin/sh\ntouch '" + dir.path() + "/ran'\n");
    const std::string noInterpreter = dir.write("bad-interpreter", "#!/nonexistent/shell\n");
    ASSERT_EQ(::chmod(noInterpreter.c_str(), 0755), 0);
    struct Case {
        std::string path;
        const char* reason;  // the exec's own words
    };
    const Case cases[] = {
        {dir.path() + "/missing", "No such file or directory"},
        {plain, "Permission denied"},
        {noInterpreter, "No such file or directory"},
        {dir.path(), "Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const platform::Failure f = platform::startDetached(c.path);
        EXPECT_EQ(f.reason, c.reason);
        EXPECT_EQ(f.text(), "cannot start " + c.path + ": " + c.reason);
    }
    expectNoChildren();
}

}  // namespace
