#pragma once
// A disk that fills up: past `bytes` more bytes any file this process writes stops growing (the
// file-size limit, with SIGXFSZ ignored as the programs ignore it), so the write fails with
// EFBIG half-way. Restored when the object goes.
#include <sys/resource.h>

#include <csignal>

namespace platform::test {

class DiskFullAfter {
public:
    explicit DiskFullAfter(rlim_t bytes) : previous_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~DiskFullAfter() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;

private:
    void (*previous_)(int);
    rlimit saved_{};
};

}  // namespace platform::test
