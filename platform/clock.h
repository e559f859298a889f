#pragma once
// Every wait and every time stamp of the station, the writer and the simulator goes through a
// Clock, so tests can run a check's long pauses instantly on a VirtualClock.
#include <cstdint>
#include <mutex>
#include <string>

namespace platform {

// Local wall-clock time with milliseconds.
struct TimeOfDay {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Milliseconds since the start of the minute (0..59999): the base of elapsed times in checks.
int millisecondsInMinute(const TimeOfDay& t);
// "YYYY/MM/DD HH:MM:SS" style helpers are left to the log writers; this one is for traces.
std::string formatTimeOfDay(const TimeOfDay& t);

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t monotonicMs() = 0;
    virtual TimeOfDay timeOfDay() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

class SystemClock final : public Clock {
public:
    std::uint64_t monotonicMs() override;
    TimeOfDay timeOfDay() override;
    void sleepMs(std::uint32_t ms) override;
};

// The process-wide production clock.
Clock& systemClock();

// Advances only when someone sleeps on it or calls advance(); sleeping returns at once.
// Thread-safe, so an in-process simulator and the code under test can share it.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(TimeOfDay start = TimeOfDay{2026, 1, 1, 9, 0, 0, 0});
    std::uint64_t monotonicMs() override;
    TimeOfDay timeOfDay() override;
    void sleepMs(std::uint32_t ms) override;
    void advance(std::uint64_t ms);
    // Total time slept through this clock (for checking the waits a sequence demanded).
    std::uint64_t sleptMs() const;

private:
    mutable std::mutex mutex_;
    TimeOfDay start_;
    std::uint64_t now_ = 0;
    std::uint64_t slept_ = 0;
};

}  // namespace platform
