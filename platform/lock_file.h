#pragma once
// The programs' one flock wrapper: the single-instance locks, the station folder's lock and the
// device locks of hidlink. A lock is held while its LockFile lives; the kernel drops it when the
// process ends, also when it is killed. The descriptor is close-on-exec, so a child process
// never inherits a lock.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/failure.h"

namespace platform {

// Where a user session's lock files live: $XDG_RUNTIME_DIR when it names an absolute folder,
// else /tmp. A folder that is named but unusable is not replaced: taking a lock there fails
// and says why.
std::string runtimeDirectory();

// "VorlickR6X (pid 1234)": how this process is named to a program it keeps out.
std::string programOwner();
// A holder's name as it may be shown: control bytes replaced, at most 200 bytes.
std::string printableOwner(std::string name);

class LockFile {
public:
    // Acquired: this process holds the lock now. Held: another open file holds it. Failed: the
    // lock file cannot be made or used, so nobody can tell whether another holder runs.
    enum class Outcome : std::uint8_t { Acquired, Held, Failed };
    struct Attempt {
        Outcome outcome = Outcome::Failed;
        std::unique_ptr<LockFile> lock;  // Acquired
        std::string holder;              // Held: the holder's name from the file; empty when unknown
        Failure error;                   // Failed: what, the file and the system's reason
    };

    // Takes an exclusive flock on `path` without waiting and writes `owner` into the file. A
    // missing file is made (0644, so other users' programs can take part in a shared folder); an
    // existing file of another user is locked through a read-only descriptor. Anything but a
    // regular file (a folder, a symbolic link, a FIFO) fails.
    static Attempt take(const std::string& path, const std::string& owner);

    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    const std::string& path() const { return path_; }

private:
    LockFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

}  // namespace platform
