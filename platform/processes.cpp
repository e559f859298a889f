#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <set>
#include <string_view>

#include "platform/exec_reset.h"
#include "platform/line_reader.h"

extern char** environ;

namespace platform {
namespace {

bool isProcessId(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

void addExe(const std::string& dir, std::set<std::string>& out) {
    std::array<char, 4097> buf{};
    const ssize_t n = ::readlink((dir + "/exe").c_str(), buf.data(), buf.size());
    // A link that fills the buffer may have been cut short: no partial path.
    if (n > 0 && static_cast<std::size_t>(n) < buf.size()) out.emplace(buf.data(), static_cast<std::size_t>(n));
}

// "address perms offset dev inode   path": none of the fields before the path holds a '/', so a
// file-backed mapping's path starts at the first one ("[heap]", "[stack]" and anonymous mappings
// have none).
void addMappedFiles(const std::string& dir, std::set<std::string>& out) {
    const int fd = ::open((dir + "/maps").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    LineSplitter splitter(kMaxMapsLine);
    std::vector<LineSplitter::Item> items;
    std::array<char, 16384> chunk{};
    auto take = [&] {
        for (const LineSplitter::Item& item : items) {
            if (item.kind != LineSplitter::Kind::Line) continue;
            const std::size_t slash = item.text.find('/');
            if (slash != std::string::npos) out.insert(item.text.substr(slash));
        }
        items.clear();
    };
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        splitter.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)), items);
        take();
    }
    splitter.finish(items);
    take();
    ::close(fd);
}

void writeErrno(int fd, int error) {
    while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
    }
}

// Runs in the forked grandchild: only async-signal-safe calls from here on.
[[noreturn]] void execDetached(const char* path, int reportFd, int nullFd) {
    ::dup2(nullFd, STDIN_FILENO);
    // Nothing of ours (device nodes, log files, sockets) goes with the program.
    resetForExec();
    char* const argv[] = {const_cast<char*>(path), nullptr};
    ::execve(path, argv, environ);
    writeErrno(reportFd, errno);
    ::_exit(127);
}

}  // namespace

std::vector<std::string> runningModulePaths(const std::string& procRoot) {
    std::set<std::string> paths;
    DIR* d = ::opendir(procRoot.c_str());
    if (d == nullptr) return {};
    while (const dirent* e = ::readdir(d)) {
        if (!isProcessId(e->d_name)) continue;
        const std::string dir = procRoot + "/" + e->d_name;
        addExe(dir, paths);
        addMappedFiles(dir, paths);
    }
    ::closedir(d);
    return {paths.begin(), paths.end()};
}

Failure startDetached(const std::string& path) {
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0) return Failure::fromErrno("/dev/null", errno, "cannot open");
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int err = errno;
        ::close(nullFd);
        return Failure::fromErrno(path, err, "cannot start");
    }
    // Fork twice: the middle process exits at once, so the program is adopted by init (or the
    // session's subreaper) and never becomes a zombie of ours.
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(report[0]);
        ::setsid();
        // _Fork: no fork handlers in a copy of a threaded process, only the bare system call.
        const pid_t program = ::_Fork();
        if (program == 0) execDetached(path.c_str(), report[1], nullFd);
        if (program < 0) {
            writeErrno(report[1], errno);
            ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    ::close(nullFd);
    if (middle < 0) {
        const int err = errno;
        ::close(report[0]);
        return Failure::fromErrno(path, err, "cannot start");
    }
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(middle, &status, 0)) < 0 && errno == EINTR) {
    }
    // End of file without a word: the exec succeeded (the pipe closed on exec).
    int error = 0;
    ssize_t n = 0;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n > 0 && error != 0) return Failure::fromErrno(path, error, "cannot start");
    if (n != 0 || waited != middle || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return Failure{path, "the starting process failed", "cannot start"};
    return {};
}

}  // namespace platform
