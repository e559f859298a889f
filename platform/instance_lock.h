#pragma once
// One running instance per name: an flock() on "<name>.lock" in $XDG_RUNTIME_DIR (or /tmp),
// held for the object's life. The lock goes with the process, also when it dies.
#include <string>

namespace platform {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process now holds the lock; false when another holder has it or the
    // lock file cannot be made. `directory` empty: $XDG_RUNTIME_DIR, else /tmp.
    bool acquire(const std::string& name, const std::string& directory = {});
    void release();
    bool held() const { return fd_ >= 0; }

    static std::string defaultDirectory();

private:
    int fd_ = -1;
};

}  // namespace platform
