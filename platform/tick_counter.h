#pragma once
// A monotonic reading finer than the station's millisecond Clock, for measuring short intervals
// such as the time between two streamed frames. Tests step a VirtualTickCounter by hand.
#include <atomic>
#include <cstdint>

namespace platform {

class TickCounter {
public:
    virtual ~TickCounter() = default;
    // Microseconds since an arbitrary start; never goes back.
    virtual std::uint64_t microseconds() = 0;
};

class SystemTickCounter final : public TickCounter {
public:
    std::uint64_t microseconds() override;
};

// The process-wide production counter.
TickCounter& systemTickCounter();

// Advances only when told; safe to read on one thread while another advances it.
class VirtualTickCounter final : public TickCounter {
public:
    std::uint64_t microseconds() override { return now_.load(std::memory_order_relaxed); }
    void advance(std::uint64_t us) { now_.fetch_add(us, std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> now_{0};
};

}  // namespace platform
