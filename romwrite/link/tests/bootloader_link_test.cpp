#include "romwrite/link/bootloader_link.h"

#include <gtest/gtest.h>

#include "romwrite/testing/bench.h"

namespace romwrite {
namespace {

using testing::Bench;
using testing::BootloaderSpec;
using testing::stamped;

constexpr std::uint16_t kMaker = static_cast<std::uint16_t>(controllerlink::VID_PRIMARY);

// A device exposing a list of collections (one feature report each), for the probe's choice.
class CollectionsDevice final : public sim::VirtualDevice {
public:
    CollectionsDevice(std::uint16_t vid, std::uint16_t pid, std::vector<std::pair<std::uint16_t, std::uint16_t>> pages)
        : vid_(vid), pid_(pid), pages_(std::move(pages)) {}
    sim::UsbIdentity usbIdentity() const override { return {vid_, pid_, 0x0100}; }
    std::size_t interfaceCount() const override { return 1; }
    std::vector<std::uint8_t> reportDescriptor(std::size_t) const override {
        std::vector<sim::CollectionSpec> c;
        std::uint8_t id = 1;
        for (auto [page, usage] : pages_) c.push_back({page, usage, {{sim::ReportSpec::Feature, id++, 16}}});
        return sim::buildVendorDescriptor(c);
    }
    long getFeature(std::size_t, std::span<std::uint8_t>) override { return -1; }
    bool setFeature(std::size_t, std::span<const std::uint8_t>) override { return false; }

private:
    std::uint16_t vid_, pid_;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> pages_;
};

struct ProbeCase {
    const char* name;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> collections;  // usage page, usage
    DeviceKind kind;
    TransportMode mode;
    std::uint16_t usagePage, usage;
};

TEST(BootloaderProbe, ChoosesProtocolAndTransportByCollection) {
    const ProbeCase cases[] = {
        {"F11 direct", {{0xFF11, 0x11}}, DeviceKind::F11, TransportMode::Direct, 0xFF11, 0x11},
        {"F11 usage 1", {{0xFF11, 0x01}}, DeviceKind::F11, TransportMode::Direct, 0xFF11, 0x01},
        {"F11 wrapped", {{0xFF11, 0x0B}}, DeviceKind::F11, TransportMode::WrappedPaused, 0xFF11, 0x0B},
        {"F09 long", {{0xFF09, 0x11}}, DeviceKind::F09, TransportMode::Direct, 0xFF09, 0x11},
        {"F09 short", {{0xFF09, 0x01}}, DeviceKind::F09, TransportMode::DirectShort, 0xFF09, 0x01},
        {"F09 wrapped", {{0xFF09, 0x0B}}, DeviceKind::F09, TransportMode::Wrapped, 0xFF09, 0x0B},
        {"F09 on FF00 wrapped", {{0xFF00, 0x0B}}, DeviceKind::F09, TransportMode::Wrapped, 0xFF00, 0x0B},
        {"FF00 usage 0x11 refused", {{0xFF00, 0x11}}, DeviceKind::None, TransportMode::None, 0, 0},
        {"other usage refused", {{0xFF11, 0x02}}, DeviceKind::None, TransportMode::None, 0, 0},
        {"F11 wins over F09 listed first",
         {{0xFF09, 0x11}, {0xFF11, 0x01}},
         DeviceKind::F11,
         TransportMode::Direct,
         0xFF11,
         0x01},
        {"first present F11 collection wins",
         {{0xFF11, 0x0B}, {0xFF11, 0x11}},
         DeviceKind::F11,
         TransportMode::WrappedPaused,
         0xFF11,
         0x0B},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.bus.addDevice(std::make_shared<CollectionsDevice>(kMaker, 0x4001, c.collections));
        UblDevice d;
        EXPECT_EQ(b.link.probeDevice(d), c.kind != DeviceKind::None);
        EXPECT_EQ(d.kind, c.kind);
        if (c.kind == DeviceKind::None) continue;
        EXPECT_EQ(d.mode, c.mode);
        EXPECT_EQ(d.usagePage, c.usagePage);
        EXPECT_EQ(d.usage, c.usage);
        EXPECT_EQ(b.table.size(), 0u) << "a probe releases its key";
    }
}

TEST(BootloaderProbe, IgnoresOtherVendors) {
    Bench b;
    b.bus.addDevice(std::make_shared<CollectionsDevice>(
        0x1234, 0x4001, std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0xFF11, 0x11}}));
    UblDevice d;
    EXPECT_FALSE(b.link.probeDevice(d));
}

TEST(BootloaderProbe, ExaminesOnlyTheFirst51Collections) {
    for (std::size_t at : {50u, 51u}) {
        Bench b;
        std::vector<std::pair<std::uint16_t, std::uint16_t>> list(60, {0xFF20, 0x01});
        list[at] = {0xFF11, 0x11};
        b.bus.addDevice(std::make_shared<CollectionsDevice>(kMaker, 0x4001, list));
        UblDevice d;
        EXPECT_EQ(b.link.probeF11(d), at == 50) << "collection index " << at;
    }
}

TEST(BootloaderProbe, F11VersionFromReport4UnlessReport2AnswersTwo) {
    Bench b;
    BootloaderSpec spec;
    spec.mainVersion = 0x1234;
    auto dev = b.add(spec);
    UblDevice d;
    ASSERT_TRUE(b.link.probeF11(d));
    EXPECT_EQ(d.version, 0x1234u);
    EXPECT_EQ(d.subVersion, 7u);
    EXPECT_EQ(dev->getsOf(4), 1);

    // The bootloader answers 2: the version shown before stays.
    Bench boot;
    spec.startInBootloader = true;
    auto bl = boot.add(spec);
    UblDevice shown;
    shown.version = 0x0777;
    shown.subVersion = 3;
    ASSERT_TRUE(boot.link.probeF11(shown));
    EXPECT_EQ(bl->getsOf(4), 0);
    EXPECT_EQ(shown.version, 0x0777u);
    EXPECT_EQ(shown.subVersion, 3u);
    EXPECT_EQ(shown.productId, kF11BootloaderPid);
}

TEST(BootloaderProbe, F09IdentityFromAttributes) {
    Bench b;
    BootloaderSpec spec;
    spec.f11 = false;
    spec.usagePage = 0xFF09;
    spec.usage = 0x01;
    spec.mainPid = 0x4002;
    spec.mainVersion = 0x0310;
    b.add(spec);
    UblDevice d;
    ASSERT_TRUE(b.link.probeDevice(d));
    EXPECT_EQ(d.kind, DeviceKind::F09);
    EXPECT_EQ(d.productId, 0x4002u);
    EXPECT_EQ(d.version, 0x0310u);
    EXPECT_EQ(d.subVersion, 0xFFFFFFFFu);
}

TEST(BootloaderProbe, LogLinesOfBothProbes) {
    Bench b;
    b.bus.addDevice(std::make_shared<CollectionsDevice>(
        kMaker, 0x4001, std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0xFF20, 0x01}, {0xFF09, 0x11}}));
    UblDevice d;
    ASSERT_TRUE(b.link.probeDevice(d));
    EXPECT_EQ(b.logBody(), stamped({"HID devices found: 2", " device00 VID:0x3A1C PID:0x4001 UP:0xFF20 U:0x0001",
                                    " device01 VID:0x3A1C PID:0x4001 UP:0xFF09 U:0x0011",
                                    "Device found. VID:0x3A1C PID:0x4001 UP:0xFF09 U:0x0011"}));
}

TEST(BootloaderProbe, NoDeviceAndNoMatchLogs) {
    Bench b;
    UblDevice d;
    EXPECT_FALSE(b.link.probeDevice(d));
    b.bus.addDevice(std::make_shared<CollectionsDevice>(
        kMaker, 0x4001, std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0xFF20, 0x01}}));
    EXPECT_FALSE(b.link.probeDevice(d));
    EXPECT_EQ(b.logBody(), stamped({"No device", "No device", "HID devices found: 1",
                                    " device00 VID:0x3A1C PID:0x4001 UP:0xFF20 U:0x0001",
                                    "device00 VID:0x3A1C PID:0x4001 UP:0xFF20 U:0x0001"}));
}

TEST(BootloaderOpen, OpensAndLogsOrFailsWithItsText) {
    Bench b;
    BootloaderSpec spec;
    spec.mainVersion = 0x0203;
    b.add(spec);
    UblDevice d;
    ASSERT_TRUE(b.link.probeDevice(d));
    hidlink::DeviceInfo info;
    ASSERT_TRUE(b.link.openUblDevice(d, info));
    EXPECT_TRUE(b.link.isOpen(kF11Key));
    EXPECT_TRUE(b.link.closeUblDevice(d));
    EXPECT_FALSE(b.link.closeUblDevice(d));
    EXPECT_NE(b.logBody().find("Device opened. PID:0x4001 VER:0x0203 USAGEPAGE:0xFF11 USAGE:0x0011 REP_SIZE:257\r\n"),
              std::string::npos);
    EXPECT_NE(b.logBody().find("CloseKVHID error.\r\n"), std::string::npos);

    b.bus.unplug(b.lastId);
    EXPECT_FALSE(b.link.openUblDevice(d, info));
    EXPECT_EQ(d.result, kResultFailed);
    EXPECT_EQ(d.errorText.rfind("Device open error. No device (", 0), 0u);
    d.kind = DeviceKind::F09;
    EXPECT_FALSE(b.link.openUblDevice(d, info));
    EXPECT_EQ(d.errorText, "Device open error. No device.");
    EXPECT_EQ(b.table.size(), 0u);
}

TEST(BootloaderOpen, F11CollectionGoneBetweenProbeAndOpen) {
    Bench b;
    auto dev = b.add(BootloaderSpec{});
    UblDevice d;
    ASSERT_TRUE(b.link.probeDevice(d));
    // Pulled out during the open's own probe, after the collection was found: the probe still
    // succeeds (its reads may fail), the open does not.
    const int id = b.lastId;
    dev->admitGet = [&b, id](int) { return b.bus.unplug(id), false; };
    hidlink::DeviceInfo info;
    EXPECT_FALSE(b.link.openUblDevice(d, info));
    EXPECT_EQ(d.result, kResultOpen);
    EXPECT_EQ(d.errorText, "KVHID open error (0).");
    EXPECT_NE(b.logBody().find("OpenKVHID error. PID:0x4001 VER:0x0203 USAGEPAGE:0xFF11 USAGE:0x0011 REP_SIZE:0\r\n"),
              std::string::npos);
    EXPECT_EQ(b.table.size(), 0u);
}

TEST(BootloaderTransport, WrappedF09GetRetriesThreeTimes) {
    for (int refused : {2, 3}) {
        Bench b;
        BootloaderSpec spec;
        spec.f11 = false;
        spec.usagePage = 0xFF09;
        spec.usage = 0x0B;
        auto dev = b.add(spec);
        dev->admitGet = [refused](int n) { return n > refused; };
        ASSERT_TRUE(b.table.openCollection(kMaker, spec.mainPid, 0xFF09, 0x0B, kF09Key));
        std::uint8_t r[2] = {2, 0};
        const std::uint64_t before = b.clock.monotonicMs();
        EXPECT_EQ(b.link.getFeatureF09(r, TransportMode::Wrapped), refused < 3);
        EXPECT_EQ(b.clock.monotonicMs() - before, 2u) << "1 ms between tries";
        std::string expected;
        for (int i = 0; i < std::min(refused, 3); ++i)
            expected += stamped({"UBL_GetFeature error.", "@Error:sim:dev0/if0: get feature 187 refused"});
        if (refused >= 3)
            expected += stamped({"UBL_GetFeature timeout.", "@Error:sim:dev0/if0: get feature 187 refused"});
        EXPECT_EQ(b.logBody(), expected);
        if (refused < 3) {
            EXPECT_EQ(r[1], 1);  // the device type, unwrapped
        }
    }
}

TEST(BootloaderTransport, WrappedF11PausesAndSendsTheWrapper) {
    Bench b;
    BootloaderSpec spec;
    spec.usage = 0x0B;
    spec.startInBootloader = true;
    auto dev = b.add(spec);
    ASSERT_TRUE(b.table.openCollection(kMaker, 0x0094, 0xFF11, 0x0B, kF11Key));
    std::vector<std::uint8_t> frame(257, 0);
    frame[0] = 7;
    frame[1] = 0x05;
    const std::uint64_t before = b.clock.monotonicMs();
    ASSERT_TRUE(b.link.setFeatureF11(frame, TransportMode::WrappedPaused));
    std::vector<std::uint8_t> answer(136, 0);
    answer[0] = 8;
    ASSERT_TRUE(b.link.getFeatureF11(answer, TransportMode::WrappedPaused));
    EXPECT_EQ(b.clock.monotonicMs() - before, 20u);
    EXPECT_EQ(answer[1], 0x05);
    EXPECT_EQ(answer[3], spec.mpuType);
    EXPECT_FALSE(b.link.getFeatureF09(answer, TransportMode::Direct))
        << "the F09 pair addresses key 1, which is not open";
}

}  // namespace
}  // namespace romwrite
