#pragma once
// Helpers shared by the simulator's tests: a private temporary folder (short enough for a Unix
// socket path) and child processes of the built binaries with bounded waits.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

extern char** environ;

namespace simtest {

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/vsim.XXXXXX";
        if (::mkdtemp(tmpl) != nullptr) path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string binary(const std::string& relative) { return std::string(VORLICK_BINARY_DIR) + "/" + relative; }

struct RunResult {
    int exitCode = -1;  // -1 when it did not exit by itself in time (it was killed)
    std::string out, err;
};

// A child process with its stdout and stderr on pipes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {}) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<std::string> envStore;
        for (char** e = environ; *e != nullptr; ++e) envStore.emplace_back(*e);
        for (const auto& e : extraEnv) {
            const auto key = e.substr(0, e.find('=') + 1);
            std::erase_if(envStore, [&](const std::string& s) { return s.rfind(key, 0) == 0; });
            envStore.push_back(e);
        }
        std::vector<char*> env;
        for (auto& e : envStore) env.push_back(e.data());
        env.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), env.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        ::close(err[1]);
        outFd_ = out[0];
        errFd_ = err[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) ::close(outFd_);
        if (errFd_ >= 0) ::close(errFd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // Reads stdout up to the first line end, waiting at most `timeoutMs`.
    std::string firstLine(int timeoutMs) {
        platform::Clock& clock = platform::systemClock();
        const std::uint64_t end = clock.monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
        while (result_.out.find('\n') == std::string::npos && clock.monotonicMs() < end)
            if (!pump(outFd_, result_.out, static_cast<int>(end - clock.monotonicMs()))) break;
        return result_.out.substr(0, result_.out.find('\n'));
    }

    void signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }

    // Collects the output until the child exits; kills it after `timeoutMs`.
    RunResult wait(int timeoutMs = 20000) {
        platform::Clock& clock = platform::systemClock();
        const std::uint64_t end = clock.monotonicMs() + static_cast<std::uint64_t>(timeoutMs);
        bool outOpen = true, errOpen = true;
        while ((outOpen || errOpen) && clock.monotonicMs() < end) {
            pollfd p[2] = {{outOpen ? outFd_ : -1, POLLIN, 0}, {errOpen ? errFd_ : -1, POLLIN, 0}};
            if (::poll(p, 2, static_cast<int>(end - clock.monotonicMs())) <= 0) continue;
            if (p[0].revents != 0) outOpen = readSome(outFd_, result_.out);
            if (p[1].revents != 0) errOpen = readSome(errFd_, result_.err);
        }
        if (outOpen || errOpen) ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        result_.exitCode = (!outOpen && !errOpen && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
        return result_;
    }

private:
    static bool readSome(int fd, std::string& into) {
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    bool pump(int fd, std::string& into, int waitMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return true;
        return readSome(fd, into);
    }

    pid_t pid_ = -1;
    int outFd_ = -1, errFd_ = -1;
    RunResult result_;
};

inline RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    Child c(argv, env);
    return c.wait();
}

}  // namespace simtest
