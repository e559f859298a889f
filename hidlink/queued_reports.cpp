#include "hidlink/queued_reports.h"

#include <chrono>

namespace hidlink {

void QueuedReports::onReport(int key, std::span<const std::uint8_t> report) {
    {
        const std::lock_guard lock(mutex_);
        if (queue_.size() >= capacity_) {
            ++dropped_;
            return;
        }
        queue_.push_back(QueuedReport{key, {report.begin(), report.end()}});
    }
    arrived_.notify_one();
}

void QueuedReports::onReaderEnded(int key) {
    {
        const std::lock_guard lock(mutex_);
        ended_.push_back(key);
    }
    arrived_.notify_all();
}

bool QueuedReports::take(QueuedReport& out, int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty(); }))
        return false;
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

std::size_t QueuedReports::size() const {
    const std::lock_guard lock(mutex_);
    return queue_.size();
}

std::uint64_t QueuedReports::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

std::vector<int> QueuedReports::ended() const {
    const std::lock_guard lock(mutex_);
    return ended_;
}

}  // namespace hidlink
