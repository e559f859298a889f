#pragma once
// Test support for readers that must refuse a FIFO: a FIFO in a private folder, and a guard
// that releases a reader stuck on it so that a fault fails the test instead of hanging it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace platform::test {

// A FIFO nobody writes to, in a fresh folder removed with the object.
class IdleFifo {
public:
    IdleFifo() {
        char tmpl[] = "/tmp/vfifo.XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) std::abort();
        dir_ = tmpl;
        path_ = dir_ + "/idle.fifo";
        if (::mkfifo(path_.c_str(), 0600) != 0) std::abort();
    }
    ~IdleFifo() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    IdleFifo(const IdleFifo&) = delete;
    IdleFifo& operator=(const IdleFifo&) = delete;

    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_, path_;
};

// Runs `call`, which is handed a FIFO nobody writes to. A reader that returns at once never
// meets the guard. One that blocks in open() or read() is released after a grace period by
// opening and closing the write end (it then sees end of file); a writer blocked in open() by
// opening the read end (`releaseEnd` O_RDONLY). Returns true when the call had to be released,
// i.e. it blocked.
template <class Fn>
bool blockedOnFifo(const std::string& fifo, Fn&& call, int releaseEnd = O_WRONLY) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::atomic<bool> released{false};
    std::thread guard([&] {
        std::unique_lock lock(m);
        if (cv.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) return;
        while (!cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
            const int w = ::open(fifo.c_str(), releaseEnd | O_NONBLOCK | O_CLOEXEC);
            if (w >= 0) {
                released = true;
                ::close(w);
            }
        }
    });
    call();
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_all();
    guard.join();
    return released;
}

}  // namespace platform::test
