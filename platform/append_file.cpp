#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    if (S_ISFIFO(mode)) return "is not a regular file but a FIFO";
    if (S_ISCHR(mode)) return "is not a regular file but a character device";
    if (S_ISBLK(mode)) return "is not a regular file but a block device";
    if (S_ISSOCK(mode)) return "is not a regular file but a socket";
    return "is not a regular file";
}

}  // namespace

std::FILE* openRegularFileForAppend(const std::string& path, Failure& failure) {
    std::string why;
    const auto refused = [&] {
        failure = Failure{path, why};
        return nullptr;
    };
    // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO) instead of waiting for one, one
    // with a reader opens and is refused by the type check; a regular file ignores the flag.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        if ((err == ENXIO || err == EISDIR) && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            why = kindOf(st.st_mode);
        else
            why = std::strerror(err);
        return refused();
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return refused();
    }
    if (!S_ISREG(st.st_mode)) {
        why = kindOf(st.st_mode);
        ::close(fd);
        return refused();
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return refused();
    }
    std::FILE* file = ::fdopen(fd, "a");
    if (file == nullptr) {
        why = std::strerror(errno);
        ::close(fd);
        return refused();
    }
    return file;
}

}  // namespace platform
