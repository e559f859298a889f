#include "controllerlink/frame_reader.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "controllerlink/feature_transfer.h"

namespace controllerlink {

namespace {
constexpr std::uint8_t kMaintenanceReport = 9;
constexpr std::uint32_t kPauseSleepMs = 10;
}  // namespace

FrameReader::FrameReader(hidlink::DeviceTable& table, int key, platform::Clock& clock)
    : table_(table), key_(key), clock_(clock) {}

FrameReader::~FrameReader() { stop(); }

bool FrameReader::start(FrameSink& sink, const FrameGeometry& geometry) {
    if (running() || !table_.contains(key_)) return false;
    // The buffers are large: made once, at the first start.
    if (assembler_ == nullptr || &assembler_->sink() != &sink) assembler_ = std::make_unique<FrameAssembler>(sink);
    assembler_->start(geometry);
    stop_ = false;
    paused_ = false;
    polls_ = 0;
    failedPolls_ = 0;
    thread_ = std::thread([this] { run(); });
    return true;
}

void FrameReader::stop() {
    if (!thread_.joinable()) return;
    paused_ = false;
    stop_ = true;
    thread_.join();
}

void FrameReader::setGeometry(const FrameGeometry& geometry) {
    const std::lock_guard lock(mutex_);
    if (assembler_ != nullptr) assembler_->setGeometry(geometry);
}

void FrameReader::run() {
    // A failed poll hands on the answer held from before, as the controller's buffer would.
    std::array<std::uint8_t, kFrameReportLength> held{};
    while (!stop_) {
        std::array<std::uint8_t, kFrameReportLength> fresh{};
        const bool ok = getFeature(table_, kMaintenanceReport, fresh.size(), fresh, key_);
        ++polls_;
        if (ok)
            held = fresh;
        else
            ++failedPolls_;
        {
            const std::lock_guard lock(mutex_);
            assembler_->addReport(held, !ok);
        }
        // A controller that is gone is not polled flat out.
        if (!ok) clock_.sleepMs(kPauseSleepMs);
        while (paused_ && !stop_) clock_.sleepMs(kPauseSleepMs);
    }
}

QueuedImageFrames::QueuedImageFrames(std::size_t capacity) : ring_(std::max<std::size_t>(capacity, 1)) {}

void QueuedImageFrames::onImageFrame(std::uint32_t status, const ImageFrame& frame) {
    {
        const std::lock_guard lock(mutex_);
        if (count_ == ring_.size()) {
            ++dropped_;
            return;
        }
        Slot& slot = ring_[(head_ + count_) % ring_.size()];
        slot.status = status;
        slot.frame = frame;
        ++count_;
    }
    arrived_.notify_one();
}

bool QueuedImageFrames::take(ImageFrame& frame, std::uint32_t& status, int timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return count_ != 0; })) return false;
    const Slot& slot = ring_[head_];
    frame = slot.frame;
    status = slot.status;
    head_ = (head_ + 1) % ring_.size();
    --count_;
    return true;
}

std::uint64_t QueuedImageFrames::dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

std::uint64_t QueuedImageFrames::otherFrames() const { return others_; }

}  // namespace controllerlink
