#pragma once
// A check window's readers as queues of the in-process bus, read on the test's thread after
// each step of virtual time, so every report the controller sent by then is handed on, in order.
#include <array>
#include <optional>
#include <span>

#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/checks/logic/check_window.h"
#include "station/checks/logic/tests/fake_readers.h"

namespace station::checks {

class SimBusReaders final : public InputReaders {
public:
    SimBusReaders(sim::VirtualBus& bus, int deviceId) : bus_(bus), deviceId_(deviceId) {}
    ~SimBusReaders() override {
        for (auto& r : open_)
            if (r) bus_.closeReader(*r);
    }
    SimBusReaders(const SimBusReaders&) = delete;
    SimBusReaders& operator=(const SimBusReaders&) = delete;

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
    // Hands every queued report to the window, each followed by its paint.
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

    // Runs an opened window on virtual time, 10 ms a step, each tick painted and rearmed, for at
    // most `limitMs` or until it closes itself; true when it did.
    bool runUntilClosed(CheckWindowLogic& w, platform::VirtualClock& clock, int limitMs) {
        for (int t = 0; t < limitMs && !w.closed(); t += 10) {
            clock.advance(10);
            bus_.advance();
            deliver(w);
            runDueTick(w);
        }
        return w.closed();
    }

private:
    std::optional<int>& slot(ReaderCollection which) { return open_[which == ReaderCollection::Pen ? 1 : 0]; }

    sim::VirtualBus& bus_;
    int deviceId_;
    std::array<std::optional<int>, 2> open_;
};

}  // namespace station::checks
