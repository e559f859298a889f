#pragma once
// A report sink that queues copies for a thread that takes them when it is ready (the headless
// station, the engineers' tools, tests). The queue is bounded: a report that finds it full is
// counted as dropped, and the count is there to be told; nothing is lost unseen.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "hidlink/report_sink.h"

namespace hidlink {

struct QueuedReport {
    int key = 0;
    std::vector<std::uint8_t> bytes;  // report id first
};

class QueuedReports final : public ReportSink {
public:
    explicit QueuedReports(std::size_t capacity = 4096) : capacity_(capacity == 0 ? 1 : capacity) {}

    void onReport(int key, std::span<const std::uint8_t> report) override;
    void onReaderEnded(int key) override;

    // The oldest report, waiting at most `timeoutMs` of real time for one; false when none came.
    bool take(QueuedReport& out, int timeoutMs);
    std::size_t size() const;
    std::uint64_t dropped() const;
    // Keys whose reader ended by itself, in order.
    std::vector<int> ended() const;

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<QueuedReport> queue_;
    std::uint64_t dropped_ = 0;
    std::vector<int> ended_;
};

}  // namespace hidlink
