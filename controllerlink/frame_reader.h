#pragma once
// The thread that polls the maintenance answer (report 9) of a touch collection continuously
// and assembles the streamed frames (FrameAssembler). Its owner may pause it (it then only
// sleeps, 10 ms at a time) and change the geometry meanwhile; a stop waits for the thread
// without limit. A failed poll never ends it: the next frame carries status bit 0.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "controllerlink/frame_assembler.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"

namespace controllerlink {

class FrameReader {
public:
    FrameReader(hidlink::DeviceTable& table, int key, platform::Clock& clock);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Clears the frames and starts polling; false when a reader already runs or the key is not
    // open. The sink is called on the reader's thread.
    bool start(FrameSink& sink, const FrameGeometry& geometry);
    // Ends the thread (a paused one too) and waits for it. Nothing when none runs.
    void stop();
    bool running() const { return thread_.joinable(); }

    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }
    // Taken between two reports.
    void setGeometry(const FrameGeometry& geometry);
    // Polls made since the start, and how many of them failed (for engineers' views).
    std::uint64_t polls() const { return polls_; }
    std::uint64_t failedPolls() const { return failedPolls_; }

private:
    void run();

    hidlink::DeviceTable& table_;
    const int key_;
    platform::Clock& clock_;
    std::unique_ptr<FrameAssembler> assembler_;
    std::mutex mutex_;  // held while one report is assembled
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<std::uint64_t> polls_{0};
    std::atomic<std::uint64_t> failedPolls_{0};
    std::thread thread_;
};

// A sink for the headless station, the engineers' tools and tests: image frames are copied into
// a fixed ring of `capacity` frames made at construction; a frame that finds the ring full is
// counted as dropped, never lost unseen. The other kinds are counted.
class QueuedImageFrames final : public FrameSink {
public:
    explicit QueuedImageFrames(std::size_t capacity = 8);

    // The oldest queued frame and its status, or false when none waits (waits up to `timeoutMs`
    // of real time for one: frames come from another thread).
    bool take(ImageFrame& frame, std::uint32_t& status, int timeoutMs);
    std::uint64_t dropped() const;
    std::uint64_t otherFrames() const;

    void onImageFrame(std::uint32_t status, const ImageFrame& frame) override;
    void onAreaFrame(std::uint32_t, const AreaFrame&) override { ++others_; }
    void onRecordFrame(std::uint32_t, const RecordFrame&) override { ++others_; }
    void onColumnFrame(std::uint32_t, const ColumnFrame&) override { ++others_; }

private:
    struct Slot {
        std::uint32_t status = 0;
        ImageFrame frame;
    };
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Slot> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::uint64_t dropped_ = 0;
    std::atomic<std::uint64_t> others_{0};
};

}  // namespace controllerlink
