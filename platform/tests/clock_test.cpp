#include "platform/clock.h"

#include <gtest/gtest.h>

#include "platform/tick_counter.h"

namespace {

TEST(VirtualClock, SleepAdvancesInstantlyAndCountsDemandedWaits) {
    platform::VirtualClock clock;
    clock.sleepMs(2000);
    clock.advance(500);
    clock.sleepMs(1000);
    EXPECT_EQ(clock.monotonicMs(), 3500u);
    EXPECT_EQ(clock.sleptMs(), 3000u);
}

TEST(VirtualClock, TimeOfDayRollsMinutesHoursAndDays) {
    platform::VirtualClock clock({2026, 12, 31, 23, 59, 59, 900});
    clock.advance(250);
    const auto t = clock.timeOfDay();
    EXPECT_EQ(t.year, 2027);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.second, 0);
    EXPECT_EQ(t.millisecond, 150);
    EXPECT_EQ(platform::millisecondsInMinute(t), 150);
}

TEST(SystemClock, MonotonicNeverGoesBack) {
    auto& clock = platform::systemClock();
    const auto a = clock.monotonicMs();
    clock.sleepMs(2);
    EXPECT_GE(clock.monotonicMs(), a + 2);
}

// Both read the same monotonic source, so a reading taken between two of the clock's falls
// between them once scaled to milliseconds.
TEST(SystemTickCounter, CountsMicrosecondsOfTheClocksTimeline) {
    auto& clock = platform::systemClock();
    const auto before = clock.monotonicMs();
    const auto us = platform::systemTickCounter().microseconds();
    const auto after = clock.monotonicMs();
    EXPECT_GE(us / 1000, before);
    EXPECT_LE(us / 1000, after);
    EXPECT_GE(platform::systemTickCounter().microseconds(), us);
}

}  // namespace
