// The command set over the hidraw backend, with the virtual controller answering in the
// kernel's place: an R5 in driver mode (0x0B touch, 0x0A pen, every report in the 1024-byte
// wrapper) found in a sysfs tree, opened as /dev/hidrawN and driven through feature ioctls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "controllerlink/collection_choice.h"
#include "controllerlink/vendor_ids.h"
#include "hidlink/device_table.h"
#include "hidlink/hidraw_backend.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/device/device_link.h"

namespace {

using controllerlink::ControllerGeneration;

// What a USB GET_REPORT / SET_REPORT carries: the report id and, for a set, the report. The
// node an ioctl names is the controller's interface.
class ControllerIo final : public hidlink::HidrawIo {
public:
    ControllerIo(sim::ControllerDevice& device, std::string touchNode) : device_(device), touchNode_(touchNode) {}

    int getFeature(int fd, std::span<std::uint8_t> buffer) override {
        const std::size_t iface = interfaceOf(fd);
        gets.push_back({iface, buffer.size(), buffer[0]});
        const long n = device_.getFeature(iface, buffer);
        if (n <= 0) return errno = EPIPE, -1;  // a stalled control transfer
        return static_cast<int>(n);
    }
    int setFeature(int fd, std::span<const std::uint8_t> report) override {
        const std::size_t iface = interfaceOf(fd);
        sets.push_back({iface, report.size(), report[0]});
        if (!device_.setFeature(iface, report)) return errno = EPIPE, -1;
        return static_cast<int>(report.size());
    }

    struct Seen {
        std::size_t iface;
        std::size_t length;
        std::uint8_t id;
    };
    std::vector<Seen> gets, sets;

private:
    std::size_t interfaceOf(int fd) const {
        char link[PATH_MAX];
        const std::string proc = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(proc.c_str(), link, sizeof link - 1);
        const std::string path = n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string();
        return path == touchNode_ ? sim::ControllerDevice::kTouchInterface : sim::ControllerDevice::kPenInterface;
    }

    sim::ControllerDevice& device_;
    std::string touchNode_;
};

TEST(DeviceLinkOverHidraw, DriverModePairRunsEndToEnd) {
    sim::ControllerConfig config;
    config.generation = sim::Generation::R5;
    config.touchUsage = 0x0B;
    config.panel.noiseSigma = 0.0;
    auto device = std::make_shared<sim::ControllerDevice>(config);
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};  // the device's clock and its host for resets; transfers come below
    bus.addDevice(device);

    hidlink::fixture::SysfsFixture tree;
    const sim::UsbIdentity usb = device->usbIdentity();
    for (unsigned iface = 0; iface < 2; ++iface)
        tree.add({4 + iface, 0x0003, usb.vendorId, usb.productId, usb.version, device->reportDescriptor(iface), false,
                  3, iface});
    ControllerIo io(*device, tree.devPath(4));
    hidlink::HidrawBackend backend(tree.sysfsRoot(), tree.devRoot(), clock);
    backend.setLockDir(tree.lockDir());
    backend.setIo(io);
    hidlink::DeviceTable table(backend);
    station::DeviceLink touch(table, controllerlink::TOUCH_KEY, clock);
    station::DeviceLink pen(table, controllerlink::PEN_KEY, clock);

    // Found and opened by the station's rules for an R5.
    touch.refreshFoundList();
    const auto found = std::span(touch.foundList()).first(touch.found());
    const auto t = controllerlink::findTouchCollection(found, ControllerGeneration::R5);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->usagePage, 0xFF09u);
    EXPECT_EQ(t->usage, 0x0Bu);
    ASSERT_TRUE(touch.open(*t)) << backend.lastError();
    const auto p = controllerlink::findPenCollection(found, *t, ControllerGeneration::R5);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->usage, 0x0Au);
    ASSERT_TRUE(pen.open(*p)) << backend.lastError();
    EXPECT_EQ(touch.info().path, tree.devPath(4));
    EXPECT_EQ(pen.info().path, tree.devPath(5));

    // A fresh open reads the queries first, then enters maintenance mode.
    const auto touchQuery = touch.readTouchQuery();
    ASSERT_TRUE(touchQuery);
    EXPECT_EQ(touchQuery->firmwareMajor, 0x0120);
    const auto penQuery = pen.readPenQuery(ControllerGeneration::R5);
    ASSERT_TRUE(penQuery);
    EXPECT_EQ(penQuery->maxX, 0x3FFFu);
    EXPECT_EQ(penQuery->firmware, 0x12u);
    ASSERT_TRUE(touch.setDeviceMode(1));
    EXPECT_EQ(device->mode(), 1);
    ASSERT_TRUE(touch.readRegisters());
    EXPECT_EQ(touch.rxCount(), 72u);
    EXPECT_EQ(touch.txCount(), 46u);
    const station::AveragedFrame raw = touch.readRawAverage(2, 3, 0);
    ASSERT_TRUE(raw.complete);
    EXPECT_DOUBLE_EQ(raw.average[45][71], 2000.0 + 4 * 45 + 2 * 71);
    const station::AveragedFrame cal = touch.readCalAverage(1, 3, 0);
    ASSERT_TRUE(cal.complete);
    EXPECT_DOUBLE_EQ(cal.average[10][5], 510.0);
    EXPECT_FALSE(raw.outOfRetries || cal.outOfRetries);
    ASSERT_TRUE(touch.setDeviceMode(0));
    EXPECT_EQ(device->mode(), 0);

    // Every transfer went through the wrapper: report 0xBB on the touch node, 0xBA on the pen
    // node, 1024 bytes each, the id byte alone carrying the request of a get.
    ASSERT_FALSE(io.gets.empty());
    ASSERT_FALSE(io.sets.empty());
    bool penSeen = false;
    for (const auto* list : {&io.gets, &io.sets})
        for (const auto& s : *list) {
            EXPECT_EQ(s.id, s.iface == 0 ? 0xBB : 0xBA);
            EXPECT_EQ(s.length, 1024u);
            penSeen = penSeen || s.iface == 1;
        }
    EXPECT_TRUE(penSeen);
}

}  // namespace
