#pragma once
// Test equipment for the automatic checks: a front end that keeps the message lines, the
// virtual controller on an in-process bus behind a wire that can refuse one chosen exchange,
// and the station's touch and pen links opened and set up for testing on a virtual clock.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "controllerlink/collection_choice.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/raw_reads.h"
#include "station/sequence/ui_port.h"

namespace judgementfx {

class FakeUi final : public station::UiPort {
public:
    void appendMessage(std::string_view text) override { lines.emplace_back(text); }
    void setPrompt(std::string_view) override {}
    void resetDisplay() override {}
    void setSuperKeyGuard(bool) override {}
    void pumpMessages() override { ++pumps; }

    std::vector<std::string> lines;
    int pumps = 0;
};

// Which feature request to refuse: the nth (1-based) one the predicate matches.
struct Refusal {
    std::function<bool(std::size_t iface, bool isSet, std::span<const std::uint8_t> report)> matches;
    int nth = 1;
};

// One feature exchange of the touch collection as it crossed the wire, at the time it did.
struct WireExchange {
    std::uint64_t atMs;
    bool isSet;
    std::vector<std::uint8_t> report;  // a get: the answer
};

// The controller behind a wire that refuses one chosen exchange, as a flaky cable would, and
// keeps the touch collection's exchanges in order.
class RefusingWire final : public sim::VirtualDevice {
public:
    RefusingWire(std::shared_ptr<sim::ControllerDevice> inner, platform::Clock& clock)
        : inner_(std::move(inner)), clock_(clock) {}
    void refuse(Refusal r) {
        refusal_ = std::move(r);
        seen_ = 0;
    }
    bool refused() const { return refused_; }
    // Hsync tunnel requests (report 0x12, byte 1 0x40) sent so far.
    std::size_t tunnelRequests() const {
        std::size_t n = 0;
        for (const auto& r : penSets) n += r.size() > 1 && r[0] == 0x12 && r[1] == 0x40;
        return n;
    }

    std::vector<std::vector<std::uint8_t>> penSets;
    std::vector<WireExchange> touchExchanges;

    sim::UsbIdentity usbIdentity() const override { return inner_->usbIdentity(); }
    std::size_t interfaceCount() const override { return inner_->interfaceCount(); }
    std::vector<std::uint8_t> reportDescriptor(std::size_t iface) const override {
        return inner_->reportDescriptor(iface);
    }
    long getFeature(std::size_t iface, std::span<std::uint8_t> report) override {
        if (refuseNow(iface, false, report)) return -1;
        const long n = inner_->getFeature(iface, report);
        if (iface == sim::ControllerDevice::kTouchInterface && n > 0)
            touchExchanges.push_back({clock_.monotonicMs(), false, {report.begin(), report.begin() + n}});
        return n;
    }
    bool setFeature(std::size_t iface, std::span<const std::uint8_t> report) override {
        if (iface == sim::ControllerDevice::kPenInterface) penSets.emplace_back(report.begin(), report.end());
        if (refuseNow(iface, true, report)) return false;
        if (iface == sim::ControllerDevice::kTouchInterface)
            touchExchanges.push_back({clock_.monotonicMs(), true, {report.begin(), report.end()}});
        return inner_->setFeature(iface, report);
    }

private:
    bool refuseNow(std::size_t iface, bool isSet, std::span<const std::uint8_t> report) {
        if (!refusal_.matches || refused_ || !refusal_.matches(iface, isSet, report)) return false;
        refused_ = ++seen_ == refusal_.nth;
        return refused_;
    }

    std::shared_ptr<sim::ControllerDevice> inner_;
    platform::Clock& clock_;
    Refusal refusal_;
    int seen_ = 0;
    bool refused_ = false;
};

// Predicates for the maintenance commands on report 9 of the touch collection.
inline Refusal touchSet(std::initializer_list<std::uint8_t> head, int nth = 1) {
    std::vector<std::uint8_t> h(head);
    return {[h](std::size_t iface, bool isSet, std::span<const std::uint8_t> r) {
                return iface == sim::ControllerDevice::kTouchInterface && isSet && r.size() >= h.size() &&
                       std::equal(h.begin(), h.end(), r.begin());
            },
            nth};
}
inline Refusal penSet(std::initializer_list<std::uint8_t> head, int nth = 1) {
    std::vector<std::uint8_t> h(head);
    return {[h](std::size_t iface, bool isSet, std::span<const std::uint8_t> r) {
                return iface == sim::ControllerDevice::kPenInterface && isSet && r.size() >= h.size() &&
                       std::equal(h.begin(), h.end(), r.begin());
            },
            nth};
}

// A controller on the bus, found, opened and prepared the way the maintenance set-up leaves it.
struct SimStation {
    explicit SimStation(sim::ControllerConfig config = {})
        : generation(config.generation == sim::Generation::R5 ? controllerlink::ControllerGeneration::R5
                                                              : controllerlink::ControllerGeneration::R6),
          device(std::make_shared<sim::ControllerDevice>(std::move(config))),
          wire(std::make_shared<RefusingWire>(device, clock)) {
        bus.addDevice(wire);
        device->attach(&bus);  // the controller reads the bus clock
    }

    // Opens both collections, enters maintenance mode, captures the normal scan registers
    // and writes the test image (scan word 12 = 0, word 17 = the floor cancel).
    bool prepare(const station::RecipeSettings& s) {
        touch.refreshFoundList();
        const auto found = std::span(touch.foundList()).first(touch.found());
        const auto t = controllerlink::findTouchCollection(found, generation);
        if (!t || !touch.open(*t)) return false;
        const auto p = controllerlink::findPenCollection(found, *t, generation);
        if (!p || !pen.open(*p)) return false;
        if (!touch.setDeviceMode(1) || !touch.readRegisters() || !touch.calibrationControl(1)) return false;
        normalScan = touch.registers();
        touch.setRegisterWord(12, 0);
        touch.setRegisterWord(17, s.FLR_X_CANCELED == 1 ? 2 : 0);
        test = touch.registers();
        return touch.writeRegisters();
    }
    station::ScanRegisterImages images() const { return {normalScan, test, normalScanCaptured}; }

    controllerlink::ControllerGeneration generation;
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::shared_ptr<sim::ControllerDevice> device;
    std::shared_ptr<RefusingWire> wire;
    station::DeviceLink touch{table, controllerlink::TOUCH_KEY, clock};
    station::DeviceLink pen{table, controllerlink::PEN_KEY, clock};
    std::array<std::uint8_t, station::kRegisterBytes> normalScan{};
    std::array<std::uint8_t, station::kRegisterBytes> test{};
    bool normalScanCaptured = true;  // prepare() met the controller in normal mode
    // What a check read, as its record keeps it.
    station::SensorFrames frames;
    station::PinCheck pins;
};

// A recipe of the example station folder (examples/station), loaded as the station loads it.
std::unique_ptr<station::RecipeSettings> exampleRecipe(const std::string& name);

}  // namespace judgementfx
