#pragma once
// Moves a bus along on real time: a thread that advances it every few milliseconds, so its
// devices stream and their operators act while vorlick-sim serves. Tests on a virtual clock
// advance the bus themselves instead.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "sim/virtual_bus.h"

namespace sim {

class BusPacer {
public:
    explicit BusPacer(VirtualBus& bus, std::uint32_t periodMs = 5);
    ~BusPacer();
    BusPacer(const BusPacer&) = delete;
    BusPacer& operator=(const BusPacer&) = delete;

    // Ends the thread and waits for it; safe to call twice.
    void stop();

private:
    VirtualBus& bus_;
    std::uint32_t periodMs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace sim
