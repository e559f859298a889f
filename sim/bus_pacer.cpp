#include "sim/bus_pacer.h"

#include <chrono>

namespace sim {

BusPacer::BusPacer(VirtualBus& bus, std::uint32_t periodMs) : bus_(bus), periodMs_(periodMs) {
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            lock.unlock();
            bus_.advance();
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(periodMs_), [this] { return stopping_; });
        }
    });
}

BusPacer::~BusPacer() { stop(); }

void BusPacer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

}  // namespace sim
