#pragma once
// A controller whose answers the test scripts: queued answers per report id, or a generator
// for endless streams. Records every set it receives.
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "controllerlink/device_link_base.h"
#include "controllerlink/vendor_ids.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"
#include "sim/virtual_bus.h"

namespace testfx {

using Bytes = std::vector<std::uint8_t>;

class ScriptedController final : public sim::VirtualDevice {
public:
    explicit ScriptedController(std::vector<sim::CollectionSpec> collections)
        : descriptor_(sim::buildVendorDescriptor(collections)) {}

    // Answers of report `id`, in order; after they run out, the generator (if any) answers.
    void queue(std::uint8_t id, Bytes answer) {
        std::lock_guard lock(mutex_);
        queued_[id].push_back(std::move(answer));
    }
    void generate(std::uint8_t id, std::function<Bytes()> gen) {
        std::lock_guard lock(mutex_);
        generators_[id] = std::move(gen);
    }
    std::vector<Bytes> sets() const {
        std::lock_guard lock(mutex_);
        return sets_;
    }
    std::size_t getsOf(std::uint8_t id) const {
        std::lock_guard lock(mutex_);
        auto it = gets_.find(id);
        return it == gets_.end() ? 0 : it->second;
    }

    sim::UsbIdentity usbIdentity() const override {
        return {static_cast<std::uint16_t>(controllerlink::VID_PRIMARY), 0x4001, 0x0100};
    }
    std::size_t interfaceCount() const override { return 1; }
    std::vector<std::uint8_t> reportDescriptor(std::size_t) const override { return descriptor_; }
    long getFeature(std::size_t, std::span<std::uint8_t> report) override {
        Bytes answer;
        {
            std::lock_guard lock(mutex_);
            const std::uint8_t id = report[0];
            ++gets_[id];
            auto& q = queued_[id];
            if (!q.empty()) {
                answer = std::move(q.front());
                q.pop_front();
            } else if (auto g = generators_.find(id); g != generators_.end()) {
                answer = g->second();
            } else {
                return -1;
            }
        }
        const std::size_t n = std::min(answer.size(), report.size());
        std::memcpy(report.data(), answer.data(), n);
        return static_cast<long>(report.size());
    }
    bool setFeature(std::size_t, std::span<const std::uint8_t> report) override {
        std::lock_guard lock(mutex_);
        sets_.emplace_back(report.begin(), report.end());
        return true;
    }

private:
    mutable std::mutex mutex_;
    Bytes descriptor_;
    std::map<std::uint8_t, std::deque<Bytes>> queued_;
    std::map<std::uint8_t, std::function<Bytes()>> generators_;
    std::map<std::uint8_t, std::size_t> gets_;
    std::vector<Bytes> sets_;
};

// The plain R6 maintenance collections (touch 0xFF11/0x11, pen 0xFF11/0x02).
inline std::vector<sim::CollectionSpec> plainCollections() {
    using R = sim::ReportSpec;
    return {
        {0xFF11, 0x11, {{R::Feature, 2, 2}, {R::Feature, 3, 64}, {R::Feature, 4, 16}, {R::Feature, 9, 64}}},
        {0xFF11, 0x02, {{R::Feature, 5, 9}, {R::Feature, 11, 64}, {R::Feature, 0x10, 66}, {R::Feature, 0x12, 262}}}};
}

// The driver-mode pair: every report travels in a 1024-byte wrapper, except report 3 of two
// bytes and the 263-byte report 15 (declared here so the link may send them).
inline std::vector<sim::CollectionSpec> wrappedCollections() {
    using R = sim::ReportSpec;
    return {{0xFF11, 0x0B, {{R::Feature, 0xBB, 1024}, {R::Feature, 3, 64}, {R::Feature, 15, 263}}},
            {0xFF11, 0x0A, {{R::Feature, 0xBA, 1024}}}};
}

// A maintenance answer: report 9, the type nibble in byte 1, then `body` from byte 2.
inline Bytes answer9(std::uint8_t type, std::initializer_list<std::uint8_t> body = {}) {
    Bytes a(64, 0);
    a[0] = 9;
    a[1] = type;
    std::copy(body.begin(), body.end(), a.begin() + 2);
    return a;
}

// A bus with one scripted controller, its touch collection open under TOUCH_KEY (and the pen
// collection under PEN_KEY when it has one). `Link` is constructed from (table, key, clock).
template <class Link>
struct BasicBench {
    explicit BasicBench(std::vector<sim::CollectionSpec> collections = plainCollections())
        : device(std::make_shared<ScriptedController>(collections)) {
        deviceId = bus.addDevice(device);
        const auto vid = controllerlink::VID_PRIMARY;
        touch.open({vid, 0x4001, collections[0].usagePage, collections[0].usage});
        if (collections.size() > 1) pen.open({vid, 0x4001, collections[1].usagePage, collections[1].usage});
    }
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::shared_ptr<ScriptedController> device;
    int deviceId = 0;
    Link touch{table, controllerlink::TOUCH_KEY, clock};
    Link pen{table, controllerlink::PEN_KEY, clock};
};

}  // namespace testfx
