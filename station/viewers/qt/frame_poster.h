#pragma once
// Hands the frame reader's image frames (on its thread) to a window (on the UI thread) without
// allocating per frame: frames are copied into a fixed ring, and one wake-up is posted to the
// receiver's event loop whenever the ring stops being empty; the receiver then takes every
// frame that waits. A frame that finds the ring full is counted as dropped. Wake-ups still
// waiting when the receiver is deleted are discarded with it.
#include <QObject>
#include <atomic>
#include <functional>

#include "controllerlink/frame_reader.h"

namespace station::viewers {

class FramePoster final : public controllerlink::FrameSink {
public:
    using Wake = std::function<void()>;
    FramePoster(QObject& receiver, Wake wake, std::size_t capacity = 16)
        : receiver_(receiver), wake_(std::move(wake)), frames_(capacity) {}

    // On the receiver's thread: the oldest waiting frame; false when none waits. A wake-up
    // posted after this returned false brings the next ones.
    bool take(controllerlink::ImageFrame& frame, std::uint32_t& status);
    std::uint64_t dropped() const { return frames_.dropped(); }
    // Every image frame the reader handed over, dropped ones included.
    std::uint64_t posted() const { return posted_.load(std::memory_order_relaxed); }

    void onImageFrame(std::uint32_t status, const controllerlink::ImageFrame& frame) override;
    void onAreaFrame(std::uint32_t, const controllerlink::AreaFrame&) override {}
    void onRecordFrame(std::uint32_t, const controllerlink::RecordFrame&) override {}
    void onColumnFrame(std::uint32_t, const controllerlink::ColumnFrame&) override {}

private:
    QObject& receiver_;
    Wake wake_;
    controllerlink::QueuedImageFrames frames_;
    std::atomic<bool> wakePending_{false};
    std::atomic<std::uint64_t> posted_{0};
};

}  // namespace station::viewers
