#pragma once
// A touch collection the viewers' tests script: which steps refuse, what the pin check answers,
// and the order of the calls the viewers made.
#include <optional>
#include <string>
#include <vector>

#include "station/viewers/logic/viewer_device.h"

namespace testfx {

class FakeViewerDevice final : public station::viewers::ViewerDevice {
public:
    bool open = true;
    std::uint32_t rx = 72;
    std::uint32_t tx = 46;
    bool refuseScanArea = false;
    bool refuseSelect = false;
    bool refuseStart = false;
    bool running = false;
    bool paused = false;
    std::optional<station::PinCheck> pinAnswer = station::PinCheck{};
    std::array<std::uint32_t, 4> counters{};
    std::vector<std::string> calls;
    std::uint16_t lastWait = 0;
    std::uint16_t lastThreshold = 0;
    // Where the started reader would hand its frames.
    controllerlink::FrameSink* sink = nullptr;

    bool isOpen() const override { return open; }
    std::uint32_t rxCount() const override { return rx; }
    std::uint32_t txCount() const override { return tx; }
    bool setScanArea() override { return note("setScanArea"), !refuseScanArea; }
    bool selectImageFrames() override { return note("selectImageFrames"), !refuseSelect; }
    bool startFrameReader(controllerlink::FrameSink& s) override {
        note("startFrameReader");
        sink = &s;
        running = !refuseStart;
        return running;
    }
    bool frameReaderRunning() const override { return running; }
    void pauseFrameReader(bool p) override {
        note(p ? "pause" : "resume");
        paused = p;
    }
    void stopFrameReader() override {
        note("stopFrameReader");
        running = false;
    }
    std::optional<station::PinCheck> runPinCheck(std::uint16_t waitTime, std::uint16_t threshold) override {
        note("runPinCheck");
        lastWait = waitTime;
        lastThreshold = threshold;
        if (pinAnswer)
            for (std::size_t k = 0; k < counters.size(); ++k) counters[k] += pinAnswer->faultCounters[k];
        return pinAnswer;
    }
    std::array<std::uint32_t, 4> pinFaultCounters() const override { return counters; }

private:
    void note(const char* call) { calls.emplace_back(call); }
};

// Frames the tests hand to the viewer; the reader thread is not part of them.
class NullSink final : public controllerlink::FrameSink {
public:
    void onImageFrame(std::uint32_t, const controllerlink::ImageFrame&) override {}
    void onAreaFrame(std::uint32_t, const controllerlink::AreaFrame&) override {}
    void onRecordFrame(std::uint32_t, const controllerlink::RecordFrame&) override {}
    void onColumnFrame(std::uint32_t, const controllerlink::ColumnFrame&) override {}
};

}  // namespace testfx
