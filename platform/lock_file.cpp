#include "platform/lock_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr std::size_t kMaxOwnerBytes = 200;

// The holder's line from a lock file; empty when it cannot be read (the holder may not have
// written it yet, or could not).
std::string readOwner(int fd) {
    char buf[kMaxOwnerBytes];
    ssize_t n;
    do {
        n = ::pread(fd, buf, sizeof buf, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return {};
    std::string text(buf, static_cast<std::size_t>(n));
    if (const auto eol = text.find('\n'); eol != std::string::npos) text.resize(eol);
    return printableOwner(std::move(text));
}

LockFile::Attempt failed(platform::Failure error) {
    LockFile::Attempt a;
    a.outcome = LockFile::Outcome::Failed;
    a.error = std::move(error);
    return a;
}

}  // namespace

std::string runtimeDirectory() {
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    return run != nullptr && *run == '/' ? run : "/tmp";
}

std::string programOwner() {
    // The name as the command was started, without its folder.
    return std::string(program_invocation_short_name) + " (pid " + std::to_string(::getpid()) + ")";
}

std::string printableOwner(std::string name) {
    if (name.size() > kMaxOwnerBytes) name.resize(kMaxOwnerBytes);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return name;
}

LockFile::~LockFile() {
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor of the open file drops the flock
}

LockFile::Attempt LockFile::take(const std::string& path, const std::string& owner) {
    // Never follow a link or wait on a FIFO someone left under the lock's name.
    const int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | common, 0644);
    bool writable = true;
    if (fd < 0 && errno == EACCES) {
        // Another user's file in a shared folder: a read-only descriptor still takes the lock.
        fd = ::open(path.c_str(), O_RDONLY | common);
        writable = false;
    }
    if (fd < 0) return failed(Failure::fromErrno(path, errno, "cannot open the lock file"));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failed(Failure{path, "is not a regular file", "cannot use the lock file"});
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int err = errno;
        Attempt a;
        if (err == EWOULDBLOCK) {
            a.outcome = Outcome::Held;
            a.holder = readOwner(fd);
        } else {
            a = failed(Failure::fromErrno(path, err, "cannot lock"));
        }
        ::close(fd);
        return a;
    }
    // Without the name the lock holds all the same; a refused program then hears of "another program".
    const std::string line = printableOwner(owner) + "\n";
    if (writable && ::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, line.data(), line.size(), 0);
    Attempt a;
    a.outcome = Outcome::Acquired;
    a.lock.reset(new LockFile(fd, path));
    return a;
}

}  // namespace platform
