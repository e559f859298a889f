#pragma once
// SIGINT, SIGTERM and SIGHUP as events instead of a sudden death: the station closes in order
// (totals, result.log copy, controller back to normal mode) when an operator or a supervisor
// stops it, or when the terminal it runs in is closed.
#include <functional>
#include <string>
#include <thread>

namespace platform {

class StopSignalWatcher {
public:
    StopSignalWatcher() = default;
    ~StopSignalWatcher();
    StopSignalWatcher(const StopSignalWatcher&) = delete;
    StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

    // Blocks the three signals in the calling thread, and so in every thread it starts afterwards
    // (start it before any other thread), and hands each one that arrives to `onSignal` on a
    // watcher thread. False with a reason when the signals cannot be taken over.
    bool start(std::function<void(int)> onSignal, std::string& error);
    // Ends the watcher thread; the signals stay blocked (a late one is taken by nobody).
    void stop();

private:
    int signalFd_ = -1;
    int wakeFd_ = -1;
    std::thread thread_;
};

// Writing to a closed pipe (a reader of stdout that went away) fails with EPIPE instead of
// killing the process.
void ignoreBrokenPipe();

}  // namespace platform
