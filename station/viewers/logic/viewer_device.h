#pragma once
// What the two maintenance viewers ask of the touch collection: the frame reader that streams
// image frames, the scan set-up before it, and the pin check (paused around it). A small port,
// so the viewers' logic runs against the controller link or a test's fake alike.
#include <array>
#include <cstdint>
#include <optional>

#include "controllerlink/frame_assembler.h"
#include "station/device/device_link.h"

namespace station::viewers {

class ViewerDevice {
public:
    virtual ~ViewerDevice() = default;

    virtual bool isOpen() const = 0;
    // Lines the controller scans, held to the grid.
    virtual std::uint32_t rxCount() const = 0;
    virtual std::uint32_t txCount() const = 0;

    virtual bool setScanArea() = 0;
    // Maintenance answers become 16-bit image frames (response type 0x10), paced like every
    // command.
    virtual bool selectImageFrames() = 0;
    virtual bool startFrameReader(controllerlink::FrameSink& sink) = 0;
    virtual bool frameReaderRunning() const = 0;
    virtual void pauseFrameReader(bool paused) = 0;
    // Ends the reader (a paused one too) and waits for it without limit.
    virtual void stopFrameReader() = 0;

    virtual std::optional<PinCheck> runPinCheck(std::uint16_t waitTime, std::uint16_t threshold) = 0;
    // Faults of every pin check so far, by PinFaultCounter; never cleared.
    virtual std::array<std::uint32_t, 4> pinFaultCounters() const = 0;
};

// The port on the station's touch DeviceLink.
class DeviceLinkViewerPort final : public ViewerDevice {
public:
    explicit DeviceLinkViewerPort(DeviceLink& link) : link_(link) {}

    bool isOpen() const override { return link_.isOpen(); }
    std::uint32_t rxCount() const override { return link_.rxCount(); }
    std::uint32_t txCount() const override { return link_.txCount(); }
    bool setScanArea() override { return link_.setScanArea(); }
    bool selectImageFrames() override;
    bool startFrameReader(controllerlink::FrameSink& sink) override { return link_.startFrameReader(sink); }
    bool frameReaderRunning() const override { return link_.frameReaderRunning(); }
    void pauseFrameReader(bool paused) override { link_.pauseFrameReader(paused); }
    void stopFrameReader() override { link_.stopFrameReader(); }
    std::optional<PinCheck> runPinCheck(std::uint16_t waitTime, std::uint16_t threshold) override {
        return link_.runPinCheck(waitTime, threshold);
    }
    std::array<std::uint32_t, 4> pinFaultCounters() const override { return link_.pinFaultCounters(); }

private:
    DeviceLink& link_;
};

}  // namespace station::viewers
