#include "station/window/headless/input_queue.h"

#include <chrono>

namespace station {

void InputQueue::push(InputEvent event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    ready_.notify_one();
}

std::optional<InputEvent> InputQueue::next(std::uint64_t timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !events_.empty(); }))
        return std::nullopt;
    InputEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

}  // namespace station
