#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// SIGTERM, SIGINT and SIGHUP (the terminal closed) sent to the process reach the callback
// instead of ending it.
TEST(StopSignalWatcher, HandsEveryStopSignalToTheCallback) {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<int> signals;
    platform::StopSignalWatcher watcher;
    std::string error;
    ASSERT_TRUE(watcher.start(
        [&](int sig) {
            std::lock_guard lock(mutex);
            signals.push_back(sig);
            arrived.notify_one();
        },
        error))
        << error;
    const std::vector<int> sent{SIGTERM, SIGINT, SIGHUP};
    for (std::size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(::kill(::getpid(), sent[i]), 0);
        std::unique_lock lock(mutex);
        arrived.wait(lock, [&] { return signals.size() == i + 1; });
    }
    watcher.stop();
    EXPECT_EQ(signals, sent);
}

}  // namespace
