#include "platform/clock.h"

#include <sys/prctl.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace platform {

int millisecondsInMinute(const TimeOfDay& t) { return t.second * 1000 + t.millisecond; }

std::string formatTimeOfDay(const TimeOfDay& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return buf;
}

std::uint64_t SystemClock::monotonicMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TimeOfDay SystemClock::timeOfDay() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return TimeOfDay{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,          tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     static_cast<int>(ms)};
}

void SystemClock::sleepMs(std::uint32_t ms) {
    // The default 50 us timer slack on each of the thousands of 1-5 ms pacing sleeps of a check
    // adds several percent to its time; 1 us keeps the station on the controller's pace.
    thread_local const bool tightSlack = ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL) == 0;
    (void)tightSlack;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

VirtualClock::VirtualClock(TimeOfDay start) : start_(start) {}

std::uint64_t VirtualClock::monotonicMs() {
    std::lock_guard lock(mutex_);
    return now_;
}

TimeOfDay VirtualClock::timeOfDay() {
    std::uint64_t now;
    {
        std::lock_guard lock(mutex_);
        now = now_;
    }
    // Walk the start time forward with the C library so day and month rolls are right.
    std::tm tm{};
    tm.tm_year = start_.year - 1900;
    tm.tm_mon = start_.month - 1;
    tm.tm_mday = start_.day;
    tm.tm_hour = start_.hour;
    tm.tm_min = start_.minute;
    tm.tm_sec = start_.second;
    tm.tm_isdst = -1;
    const std::uint64_t totalMs = now + static_cast<std::uint64_t>(start_.millisecond);
    std::time_t base = timegm(&tm);
    base += static_cast<std::time_t>(totalMs / 1000);
    std::tm out{};
    gmtime_r(&base, &out);
    return TimeOfDay{out.tm_year + 1900,
                     out.tm_mon + 1,
                     out.tm_mday,
                     out.tm_hour,
                     out.tm_min,
                     out.tm_sec,
                     static_cast<int>(totalMs % 1000)};
}

void VirtualClock::sleepMs(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    now_ += ms;
    slept_ += ms;
}

void VirtualClock::advance(std::uint64_t ms) {
    std::lock_guard lock(mutex_);
    now_ += ms;
}

std::uint64_t VirtualClock::sleptMs() const {
    std::lock_guard lock(mutex_);
    return slept_;
}

}  // namespace platform
