#pragma once
// A virtual controller on an in-process bus, opened the way the station opens it (touch under
// key 1, pen under key 2), with raw feature exchanges and nothing of the station's own code.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

class ControllerBench {
public:
    static constexpr int kTouch = 1;
    static constexpr int kPen = 2;

    explicit ControllerBench(sim::ControllerConfig config = quietConfig()) {
        device = std::make_shared<sim::ControllerDevice>(config);
        deviceId = bus.addDevice(device);
    }

    // Noise off, so cells can be compared with hand-computed levels.
    static sim::ControllerConfig quietConfig() {
        sim::ControllerConfig c;
        c.panel.noiseSigma = 0.0;
        return c;
    }

    bool open() {
        const sim::UsbIdentity id = device->usbIdentity();
        return table.openCollection(id.vendorId, id.productId, device->usagePage(), device->config().touchUsage,
                                    kTouch) &&
               table.openCollection(id.vendorId, id.productId, device->usagePage(), device->penUsage(), kPen);
    }

    // A report of `length` bytes starting with `bytes`, zero-padded.
    static Bytes report(std::initializer_list<std::uint8_t> bytes, std::size_t length) {
        Bytes r(bytes);
        r.resize(length, 0);
        return r;
    }

    bool set(int key, const Bytes& r) {
        const auto e = table.entry(key);
        return e != nullptr && e->setFeature(r);
    }

    // Empty when the device refused.
    Bytes get(int key, std::uint8_t id, std::size_t length) {
        const auto e = table.entry(key);
        Bytes r(length, 0);
        r[0] = id;
        if (e == nullptr || !e->getFeature(r)) return {};
        return r;
    }

    bool command(std::initializer_list<std::uint8_t> bytes) { return set(kTouch, report(bytes, 64)); }
    Bytes answer9() { return get(kTouch, 9, 64); }

    bool maintenance() { return set(kTouch, {2, 1}); }
    bool select(std::uint8_t type) {
        return command({9, 1, static_cast<std::uint8_t>(type >> 4), static_cast<std::uint8_t>(type & 0x0F)});
    }

    // The register image in its two parts, as the station writes it.
    template <typename Image>
    bool writeImage(const Image& image) {
        Bytes p0{9, 2, 0, 0}, p1{9, 2, 1, 0};
        p0.insert(p0.end(), image.begin(), image.begin() + 60);
        p1.insert(p1.end(), image.begin() + 60, image.begin() + 92);
        p0.resize(64);
        p1.resize(64);
        return set(kTouch, p0) && set(kTouch, p1);
    }

    static int s16(const Bytes& a, std::size_t i) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(a[i] | a[i + 1] << 8));
    }
    static unsigned u16(const Bytes& a, std::size_t i) { return static_cast<unsigned>(a[i] | a[i + 1] << 8); }

    // One whole frame of the selected frame type, row by row (rx cells per row), checking the
    // indices every answer carries.
    std::vector<int> readFrame(int rx, int tx, std::uint8_t nibble = 0x0B) {
        std::vector<int> cells;
        const std::size_t total = static_cast<std::size_t>(rx * tx);
        while (cells.size() < total) {
            const Bytes a = answer9();
            EXPECT_FALSE(a.empty());
            if (a.empty()) return {};
            EXPECT_EQ(a[1] & 0x0F, nibble & 0x0F);
            EXPECT_EQ(a[2], cells.size() % static_cast<std::size_t>(rx));
            EXPECT_EQ(a[3], cells.size() / static_cast<std::size_t>(rx));
            for (std::size_t i = 0; i < 30 && cells.size() < total; ++i) cells.push_back(s16(a, 4 + 2 * i));
        }
        return cells;
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::shared_ptr<sim::ControllerDevice> device;
    int deviceId = 0;
};

}  // namespace simtest
