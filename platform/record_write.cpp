#include "platform/record_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/file_reader.h"

namespace platform {
namespace {

constexpr const char* kNotRegular = "is not a regular file";
constexpr int kTemporaryAttempts = 100;

std::string systemReason(int error) { return std::strerror(error); }

// Writes every byte or returns the reason it stopped.
std::string writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemReason(errno);
        }
        if (n == 0) return systemReason(EIO);
        done += static_cast<std::size_t>(n);
    }
    return {};
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A name of its own in the target's folder, so the rename never crosses file systems. Short,
// so a target whose name is as long as the file system allows still gets one.
int createTemporary(const std::string& folder, std::string& name, std::string& error) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        name = folder + "/.vorlick-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".part";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            error = systemReason(errno);
            return -1;
        }
    }
    error = systemReason(EEXIST);
    return -1;
}

// The rename reaches the disk with the folder; a folder that cannot be synced is not worth
// failing a record already in place.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

RecordWrite replaceFileWhole(const std::string& path, std::string_view bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return RecordWrite{Failure{path, kNotRegular}};
    } else if (errno != ENOENT) {
        return RecordWrite{Failure{path, systemReason(errno)}};
    }
    const std::string folder = folderOf(path);
    std::string temporary;
    std::string error;
    const int fd = createTemporary(folder, temporary, error);
    if (fd < 0) return RecordWrite{Failure{path, error}};
    error = writeAll(fd, bytes);
    if (error.empty() && ::fsync(fd) != 0) error = systemReason(errno);
    if (::close(fd) != 0 && error.empty()) error = systemReason(errno);
    if (error.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) error = systemReason(errno);
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return RecordWrite{Failure{path, error}};
    }
    syncFolder(folder);
    return {};
}

RecordWrite appendToDescriptorWhole(int fd, std::string_view bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return RecordWrite{Failure{{}, systemReason(errno)}};
    std::string error = writeAll(fd, bytes);
    if (!S_ISREG(st.st_mode)) return RecordWrite{Failure{{}, error}};
    if (error.empty() && ::fdatasync(fd) != 0) error = systemReason(errno);
    // Whatever part of the record reached the file goes again: the file ends where it did.
    if (!error.empty()) ::ftruncate(fd, st.st_size);
    return RecordWrite{Failure{{}, error}};
}

RecordWrite appendToFileWhole(const std::string& path, std::string_view bytes) {
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) return RecordWrite{Failure{path, kNotRegular}};
    // Never waits on a FIFO put there meanwhile; never creates.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return RecordWrite{Failure{path, systemReason(errno)}};
    struct stat st {};
    std::string error;
    if (::fstat(fd, &st) != 0)
        error = systemReason(errno);
    else if (!S_ISREG(st.st_mode))
        error = kNotRegular;
    if (!error.empty()) {
        ::close(fd);
        return RecordWrite{Failure{path, error}};
    }
    RecordWrite result = appendToDescriptorWhole(fd, bytes);
    result.failure.where = path;
    if (::close(fd) != 0 && result) {
        result.failure = Failure::fromErrno(path, errno);
        ::truncate(path.c_str(), st.st_size);
    }
    return result;
}

RecordWrite copyFileWhole(const std::string& from, const std::string& to, std::size_t maxBytes) {
    std::string content;
    Failure readError;
    if (!readRegularFile(from, maxBytes, content, &readError)) return RecordWrite{readError};
    return replaceFileWhole(to, content);
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
