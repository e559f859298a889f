#pragma once
// One program per controller. Whoever opens a collection holds the whole device (every
// collection of every interface) until its last collection closes; a second program is refused
// with the holder's name. The locks are advisory: they keep our own programs apart.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace hidlink {

// "vorlick-diag (pid 1234)": how this process is named to a program it keeps out.
std::string programOwner();
// A fresh random id for one backend: two backends in one process are two holders.
std::uint64_t newOwnerId();
// The one line a refused open leaves in the backend's lastError().
std::string inUseText(const std::string& device, const std::string& holder);
// A holder's name as it may be shown: control bytes replaced, at most 200 bytes.
std::string printableOwner(std::string name);

// An flock on a lock file, released when the last share of it goes (and by the kernel when the
// process ends). The descriptor is close-on-exec, so a child process never inherits the lock.
class DeviceLockFile {
public:
    ~DeviceLockFile();
    DeviceLockFile(const DeviceLockFile&) = delete;
    DeviceLockFile& operator=(const DeviceLockFile&) = delete;

    // Takes the lock at `path` and writes `owner` into the file. nullptr when another open
    // file holds it (`holder` names who) or the file cannot be used (`error` says why).
    static std::unique_ptr<DeviceLockFile> take(const std::string& path, const std::string& owner, std::string& holder,
                                                std::string& error);

private:
    explicit DeviceLockFile(int fd) : fd_(fd) {}
    int fd_;
};

// Where hidraw lock files live: $XDG_RUNTIME_DIR, or /tmp without one.
std::string defaultLockDir();

}  // namespace hidlink
