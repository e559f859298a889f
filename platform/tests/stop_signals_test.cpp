#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// SIGTERM and SIGINT sent to the process reach the callback instead of ending it.
TEST(StopSignalWatcher, HandsBothSignalsToTheCallback) {
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
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    {
        std::unique_lock lock(mutex);
        arrived.wait(lock, [&] { return signals.size() == 1; });
    }
    ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
    {
        std::unique_lock lock(mutex);
        arrived.wait(lock, [&] { return signals.size() == 2; });
    }
    watcher.stop();
    EXPECT_EQ(signals, (std::vector<int>{SIGTERM, SIGINT}));
}

}  // namespace
