#pragma once
// A simulated USB HID device: its USB identity, one report descriptor per interface (an
// interface is what a hidraw node is; it may hold several top-level collections) and handlers
// for feature requests. Input reports and re-enumeration go through the DeviceHost.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {
class Clock;
}

namespace sim {

struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t version = 0;  // bcdDevice
};

class VirtualDevice;

// A copy of a device's program flash: `bytes[k]` is at address `base + k`; `extent` bytes from
// the start hold the image last written.
struct FlashSnapshot {
    std::uint32_t base = 0;
    std::uint32_t extent = 0;
    std::vector<std::uint8_t> bytes;
};

// What a device may ask of the bus it is plugged into.
class DeviceHost {
public:
    virtual ~DeviceHost() = default;
    // Every reader open on that interface receives a copy (report id first).
    virtual void postInput(VirtualDevice& device, std::size_t iface, std::vector<std::uint8_t> report) = 0;
    // Drop off the bus now and come back after `afterMs` on the bus clock (a reset, or a jump
    // to or from the bootloader); usbIdentity() and the descriptors are read anew then.
    virtual void reenumerate(VirtualDevice& device, std::uint32_t afterMs) = 0;
    // Drop off the bus until the device is plugged in again (a controller that loses power).
    virtual void unplugSelf(VirtualDevice& device) = 0;
    virtual platform::Clock& clock() = 0;
};

class VirtualDevice {
public:
    virtual ~VirtualDevice() = default;
    virtual UsbIdentity usbIdentity() const = 0;
    virtual std::size_t interfaceCount() const = 0;
    virtual std::vector<std::uint8_t> reportDescriptor(std::size_t iface) const = 0;
    // report[0] is the wanted id; fill the answer in place. Returns the number of bytes the
    // device answered (id included), or <= 0 to refuse the request.
    virtual long getFeature(std::size_t iface, std::span<std::uint8_t> report) = 0;
    virtual bool setFeature(std::size_t iface, std::span<const std::uint8_t> report) = 0;
    // Devices with a program flash show it to the control channel.
    virtual std::optional<FlashSnapshot> flash() const { return std::nullopt; }
    // An outside programmer writes the Hsync MCU with an image whose version word is `version`:
    // 0 when the MCU took it, else the failure code the scenario chose. Nothing for a device
    // without an MCU.
    virtual std::optional<std::uint32_t> programHsync(std::uint16_t /*version*/) { return std::nullopt; }
    // Plugged in again after an unplug: the device powers up.
    virtual void powerCycle() {}
    // Time has come to `nowMs` on the bus clock: a device that streams input reports sends
    // what it would have sent by then (the bus calls this; devices post outside their locks).
    virtual void advance(std::uint64_t /*nowMs*/) {}
    // A host opened a node of `iface` for feature transfers (the bus calls this, outside its lock).
    virtual void opened(std::size_t /*iface*/) {}

    // Called by the bus when the device is plugged in (host != nullptr) or removed.
    void attach(DeviceHost* host) { host_ = host; }

protected:
    DeviceHost* host() const { return host_; }

private:
    DeviceHost* host_ = nullptr;
};

}  // namespace sim
