#include "station/window/headless/input_queue.h"

#include <algorithm>
#include <chrono>

namespace station {

InputQueue::InputQueue(std::size_t maxEvents, std::size_t maxBytes)
    : maxEvents_(std::max<std::size_t>(maxEvents, 1)), maxBytes_(maxBytes) {}

bool InputQueue::hasRoom(std::size_t bytes) const {
    if (events_.empty()) return true;
    return events_.size() < maxEvents_ && bytes_ + bytes <= maxBytes_;
}

bool InputQueue::push(InputEvent event) {
    {
        std::unique_lock lock(mutex_);
        const std::size_t bytes = event.text.size();
        room_.wait(lock, [&] { return closed_ || hasRoom(bytes); });
        if (closed_) return false;
        events_.push_back(std::move(event));
        bytes_ += bytes;
        highWater_ = std::max(highWater_, events_.size());
    }
    ready_.notify_one();
    return true;
}

std::optional<InputEvent> InputQueue::next(std::uint64_t timeoutMs) {
    std::unique_lock lock(mutex_);
    const bool ready =
        ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !events_.empty() || woken_; });
    woken_ = false;
    if (!ready || events_.empty()) return std::nullopt;
    InputEvent event = std::move(events_.front());
    events_.pop_front();
    bytes_ -= event.text.size();
    lock.unlock();
    room_.notify_one();
    return event;
}

void InputQueue::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    ready_.notify_one();
}

void InputQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    room_.notify_all();
}

std::size_t InputQueue::highWater() const {
    std::lock_guard lock(mutex_);
    return highWater_;
}

void StopRequests::signal(int) {
    std::lock_guard lock(mutex_);
    if (close_.exchange(true) && working_) abort_ = true;
}

void StopRequests::setWorking(bool working) {
    std::lock_guard lock(mutex_);
    working_ = working;
    if (!working) abort_ = false;
}

}  // namespace station
