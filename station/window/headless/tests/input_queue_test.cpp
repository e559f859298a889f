#include "station/window/headless/input_queue.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

namespace station {
namespace {

// A reader that outruns the station (`yes enter | ...`) is held back by a full queue: every
// line arrives, in order, and the queue never holds more than its bound.
TEST(InputQueue, FullQueueHoldsTheReaderBackAndDropsNothing) {
    constexpr int kLines = 20000;
    InputQueue queue(8, 1 << 20);
    std::thread reader([&] {
        for (int i = 0; i < kLines; ++i) ASSERT_TRUE(queue.push({InputEvent::Kind::Line, std::to_string(i)}));
        ASSERT_TRUE(queue.push({InputEvent::Kind::End, {}}));
    });
    int expected = 0;
    for (;;) {
        const auto event = queue.next(60000);
        ASSERT_TRUE(event.has_value());
        if (event->kind == InputEvent::Kind::End) break;
        ASSERT_EQ(event->text, std::to_string(expected));
        ++expected;
    }
    reader.join();
    EXPECT_EQ(expected, kLines);
    EXPECT_LE(queue.highWater(), 8u);
}

// The byte bound: long lines wait for room, and a line larger than the whole bound still gets
// through once the queue is empty.
TEST(InputQueue, LongLinesCountAgainstTheByteBound) {
    InputQueue queue(64, 1000);
    std::thread reader([&] {
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(queue.push({InputEvent::Kind::Line, std::string(400, static_cast<char>('a' + i % 26))}));
        ASSERT_TRUE(queue.push({InputEvent::Kind::Line, std::string(5000, 'z')}));
    });
    for (int i = 0; i < 50; ++i) {
        const auto event = queue.next(60000);
        ASSERT_TRUE(event.has_value());
        EXPECT_EQ(event->text, std::string(400, static_cast<char>('a' + i % 26)));
    }
    const auto big = queue.next(60000);
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->text.size(), 5000u);
    reader.join();
    EXPECT_LE(queue.highWater(), 2u);
}

// Closing releases a reader that waits for room; a wake ends a wait for input at once.
TEST(InputQueue, CloseReleasesTheReaderAndWakeEndsAWait) {
    InputQueue queue(1, 1 << 20);
    ASSERT_TRUE(queue.push({InputEvent::Kind::Line, "first"}));
    std::thread reader([&] { EXPECT_FALSE(queue.push({InputEvent::Kind::Line, "second"})); });
    queue.close();
    reader.join();
    EXPECT_FALSE(queue.push({InputEvent::Kind::Line, "third"}));
    // What was queued before the close is still there.
    const auto first = queue.next(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->text, "first");

    queue.wake();
    EXPECT_FALSE(queue.next(3600000).has_value());  // returns at once: nothing queued
}

// The first stop signal closes the station; another one aborts only work in progress, and the
// abort ends with that work so the orderly close can still talk to the controller.
TEST(StopRequests, SecondSignalAbortsOnlyTheWorkInProgress) {
    struct Case {
        const char* name;
        bool workingAtFirst, workingAtSecond;
        int signals;
        bool abort;
    };
    const Case cases[] = {
        {"one signal during work", true, true, 1, false},          {"two signals during work", true, true, 2, true},
        {"first idle, second during work", false, true, 2, true},  {"two signals while idle", false, false, 2, false},
        {"first during work, second idle", true, false, 2, false},
    };
    for (const Case& c : cases) {
        StopRequests stop;
        EXPECT_FALSE(stop.closeRequested()) << c.name;
        stop.setWorking(c.workingAtFirst);
        stop.signal(SIGTERM);
        EXPECT_TRUE(stop.closeRequested()) << c.name;
        stop.setWorking(c.workingAtSecond);
        if (c.signals > 1) stop.signal(SIGINT);
        EXPECT_EQ(stop.abortFlag().load(), c.abort) << c.name;
        stop.setWorking(false);
        EXPECT_FALSE(stop.abortFlag().load()) << c.name;
        EXPECT_TRUE(stop.closeRequested()) << c.name;
    }
}

}  // namespace
}  // namespace station
