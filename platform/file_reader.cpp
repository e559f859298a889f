#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something else";
}

bool refuse(Failure* error, const std::string& path, std::string why, std::string& content) {
    content.clear();
    if (error != nullptr) *error = Failure{path, std::move(why)};
    return false;
}

std::string notRegular(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    return std::string("is not a regular file but ") + kindOf(mode);
}

std::string tooLarge(std::size_t maxBytes) { return "is larger than " + std::to_string(maxBytes) + " bytes"; }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& content, Failure* error) {
    // O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting for one;
    // the type check below then refuses it. On a regular file the flag changes nothing.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        const int err = errno;
        // A Unix socket cannot be opened at all; say what it is rather than "No such device".
        struct stat st {};
        if (err == ENXIO && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return refuse(error, path, notRegular(st.st_mode), content);
        return refuse(error, path, std::strerror(err), content);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return refuse(error, path, std::strerror(errno), content);
    if (!S_ISREG(st.st_mode)) return refuse(error, path, notRegular(st.st_mode), content);
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes)
        return refuse(error, path, tooLarge(maxBytes), content);

    // Read to the end rather than trusting st_size: the file may change while it is read, and
    // it must not grow past the limit in the meantime.
    content.assign(static_cast<std::size_t>(st.st_size) + 1, '\0');
    std::size_t have = 0;
    for (;;) {
        if (have == content.size()) {
            if (have > maxBytes) return refuse(error, path, tooLarge(maxBytes), content);
            content.resize(std::min(have * 2 + 4096, maxBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), content.data() + have, content.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return refuse(error, path, std::strerror(errno), content);
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    if (have > maxBytes) return refuse(error, path, tooLarge(maxBytes), content);
    content.resize(have);
    return true;
}

}  // namespace platform
