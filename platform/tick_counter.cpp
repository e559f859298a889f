#include "platform/tick_counter.h"

#include <chrono>

namespace platform {

std::uint64_t SystemTickCounter::microseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
}

TickCounter& systemTickCounter() {
    static SystemTickCounter counter;
    return counter;
}

}  // namespace platform
