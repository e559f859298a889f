#include "platform/child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/exec_reset.h"

extern char** environ;

namespace platform {
namespace {

void writeErrno(int fd, int error) {
    while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
    }
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void execChild(char* const* argv, const char* workDir, int reportFd, int nullFd) {
    if (::dup2(nullFd, STDIN_FILENO) < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0 || ::chdir(workDir) != 0) {
        writeErrno(reportFd, errno);
        ::_exit(127);
    }
    // Device nodes, lock files, logs and sockets stay ours; the report pipe closes on exec.
    resetForExec();
    ::execve(argv[0], argv, environ);
    writeErrno(reportFd, errno);
    ::_exit(127);
}

ChildEnd notStarted(const std::string& path, int error) {
    ChildEnd end;
    end.startError = error;
    end.startFailure = Failure::fromErrno(path, error, "cannot start");
    return end;
}

}  // namespace

ChildEnd runChild(const std::vector<std::string>& argv, const std::string& workDir) {
    if (argv.empty() || argv[0].empty()) return notStarted({}, ENOENT);
    // Everything the child needs is built before the fork.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const std::string dir = workDir.empty() ? std::string(".") : workDir;

    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0) return notStarted("/dev/null", errno);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int err = errno;
        ::close(nullFd);
        return notStarted(argv[0], err);
    }
    // _Fork: no fork handlers in a copy of a threaded process, only the bare system call.
    const pid_t child = ::_Fork();
    if (child == 0) execChild(args.data(), dir.c_str(), report[1], nullFd);
    const int forkError = errno;
    ::close(report[1]);
    ::close(nullFd);
    if (child < 0) {
        ::close(report[0]);
        return notStarted(argv[0], forkError);
    }
    // End of file without a word: the exec succeeded (the pipe closed on exec).
    int error = 0;
    ssize_t n = 0;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);

    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (n > 0) return notStarted(argv[0], error != 0 ? error : ECHILD);

    ChildEnd end;
    end.started = true;
    if (waited != child) {
        end.waitError = errno != 0 ? errno : ECHILD;
        return end;
    }
    if (WIFEXITED(status)) {
        end.exited = true;
        end.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    return end;
}

}  // namespace platform
