#pragma once
// A check window's readers as queues of the in-process bus.
#include <array>
#include <optional>

#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/checks/logic/check_window.h"

namespace station::checks {

// The window's readers as queues of the bus, read on the test's thread after each step of
// virtual time, so every report the controller sent by then is handed on, in order.
class BusReaders final : public InputReaders {
public:
    BusReaders(sim::VirtualBus& bus, int deviceId) : bus_(bus), deviceId_(deviceId) {}
    ~BusReaders() override {
        for (auto& r : open_)
            if (r) bus_.closeReader(*r);
    }
    bool start(ReaderCollection which) override {
        const std::size_t iface = which == ReaderCollection::Pen ? sim::ControllerDevice::kPenInterface
                                                                 : sim::ControllerDevice::kTouchInterface;
        for (const sim::BusInterface& i : bus_.interfaces())
            if (i.deviceId == deviceId_ && i.iface == iface)
                slot(which) = bus_.openReader(deviceId_, i.generation, iface);
        return slot(which).has_value();
    }
    void stop(ReaderCollection which) override {
        if (slot(which)) bus_.closeReader(*slot(which));
        slot(which).reset();
    }
    // Hands every queued report to the window.
    void deliver(CheckWindowLogic& w) {
        for (const ReaderCollection which : {ReaderCollection::Touch, ReaderCollection::Pen}) {
            std::array<std::uint8_t, 1024> buffer{};
            while (slot(which) && !w.closed()) {
                const hidlink::ReadResult r = bus_.readInput(*slot(which), buffer, 0);
                if (r.status != hidlink::ReadStatus::Ok) break;
                w.onReport(which, std::span<const std::uint8_t>(buffer.data(), r.length));
                w.painted();
            }
        }
    }

private:
    std::optional<int>& slot(ReaderCollection which) { return open_[which == ReaderCollection::Pen ? 1 : 0]; }

    sim::VirtualBus& bus_;
    int deviceId_;
    std::array<std::optional<int>, 2> open_;
};

}  // namespace station::checks
