#include "hidlink/device_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "hidlink/tests/counting_backend.h"
#include "platform/clock.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"

namespace {

using hidlink::CollectionIdentity;
using sim::CollectionSpec;
using sim::ReportSpec;

constexpr std::uint16_t kVid = 0x3A1C;

CollectionSpec vendorCollection(std::uint16_t page, std::uint16_t usage) {
    return {page, usage, {{ReportSpec::Feature, 9, 64}, {ReportSpec::Input, 1, 64}}};
}

class DeviceTableTest : public ::testing::Test {
protected:
    std::shared_ptr<sim::TableDevice> plug(std::uint16_t vid, std::uint16_t pid,
                                           const std::vector<std::vector<CollectionSpec>>& ifaces) {
        auto dev = std::make_shared<sim::TableDevice>(sim::UsbIdentity{vid, pid, 0x0102}, ifaces);
        bus.addDevice(dev);
        return dev;
    }
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
};

TEST_F(DeviceTableTest, NoDevicePresentGivesZero) {
    std::vector<CollectionIdentity> ids;
    EXPECT_EQ(table.enumerateCollections(ids, 100), 0u);
}

TEST_F(DeviceTableTest, EnumerationStopsAtTheLimit) {
    // 60 devices with two collections each: 120 present.
    for (int i = 0; i < 60; ++i)
        plug(kVid, static_cast<std::uint16_t>(0x100 + i),
             {{vendorCollection(0xFF11, 0x11), vendorCollection(0xFF11, 0x02)}});
    std::vector<CollectionIdentity> ids;
    EXPECT_EQ(table.enumerateCollections(ids, 100), 100u);
    ASSERT_EQ(ids.size(), 100u);
    EXPECT_EQ(ids[99].productId, 0x100u + 49);
    EXPECT_EQ(ids[99].usage, 0x02u);
    ids.clear();
    EXPECT_EQ(table.enumerateCollections(ids, 51), 51u);
}

TEST_F(DeviceTableTest, DuplicateKeyIsRefusedWithoutChange) {
    plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11), vendorCollection(0xFF11, 0x02)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
    EXPECT_FALSE(table.openCollection(kVid, 0x3000, 0xFF11, 0x02, 1));
    EXPECT_EQ(table.size(), 1u);
    hidlink::DeviceInfo info;
    ASSERT_TRUE(table.getCollectionInfo(1, info));
    EXPECT_EQ(info.identity.usage, 0x11u);
}

TEST_F(DeviceTableTest, ClosingTheMiddleEntryKeepsTheOthersReachable) {
    plug(kVid, 0x3000,
         {{vendorCollection(0xFF11, 0x11), vendorCollection(0xFF11, 0x02), vendorCollection(0xFF11, 0x0B)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 7));
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x02, 8));
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x0B, 9));
    EXPECT_FALSE(table.closeCollection(42));
    EXPECT_EQ(table.size(), 3u);
    ASSERT_TRUE(table.closeCollection(8));
    hidlink::DeviceInfo info;
    ASSERT_TRUE(table.getCollectionInfo(7, info));
    EXPECT_EQ(info.identity.usage, 0x11u);
    ASSERT_TRUE(table.getCollectionInfo(9, info));
    EXPECT_EQ(info.identity.usage, 0x0Bu);
    EXPECT_FALSE(table.getCollectionInfo(8, info));
    // The entries still work after moving down.
    std::array<std::uint8_t, 64> report{9};
    EXPECT_FALSE(table.entry(9)->getFeature(report));  // nothing in the answer table yet
}

TEST_F(DeviceTableTest, UsageZeroTakesTheFirstMatchInEnumerationOrder) {
    plug(kVid, 0x3000,
         {{vendorCollection(0xFF00, 0x01)}, {vendorCollection(0xFF11, 0x02), vendorCollection(0xFF11, 0x11)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0, 1));
    hidlink::DeviceInfo info;
    ASSERT_TRUE(table.getCollectionInfo(1, info));
    EXPECT_EQ(info.identity.usage, 0x02u);
    EXPECT_FALSE(table.openCollection(kVid, 0x3001, 0xFF11, 0, 2));
    EXPECT_FALSE(table.openCollection(kVid, 0x3000, 0xFF12, 0, 2));
}

TEST_F(DeviceTableTest, TransfersReachTheDeviceAndFailAfterUnplug) {
    auto dev = plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
    const auto e = table.entry(1);
    std::array<std::uint8_t, 64> cmd{9, 1, 0, 0x0A};
    ASSERT_TRUE(e->setFeature(cmd));
    std::array<std::uint8_t, 64> answer{9};
    ASSERT_TRUE(e->getFeature(answer));
    EXPECT_EQ(answer[3], 0x0A);
    dev->pushInput(0, {1, 0xAA, 0xBB});
    std::array<std::uint8_t, 64> in{};
    auto r = e->readInput(in, 100);
    ASSERT_EQ(r.status, hidlink::ReadStatus::Ok);
    EXPECT_EQ(r.length, 3u);
    EXPECT_EQ(in[1], 0xAA);
    bus.unplug(0);
    EXPECT_FALSE(e->setFeature(cmd));
    EXPECT_EQ(e->readInput(in, 100).status, hidlink::ReadStatus::Disconnected);
    std::vector<CollectionIdentity> ids;
    EXPECT_EQ(table.enumerateCollections(ids, 100), 0u);
}

TEST_F(DeviceTableTest, AnInputOnlyEntryReadsButNeverTransfersFeatures) {
    auto dev = plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    ASSERT_TRUE(table.openInputCollection(kVid, 0x3000, 0xFF11, 0x11, 3));
    EXPECT_FALSE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 3)) << "the key is taken";
    const auto e = table.entry(3);
    std::array<std::uint8_t, 64> cmd{9, 1, 0, 0x0A};
    EXPECT_FALSE(e->setFeature(cmd));
    EXPECT_FALSE(e->getFeature(cmd));
    EXPECT_NE(e->featureError(), "");
    EXPECT_TRUE(dev->setsReceived(0).empty());
    dev->pushInput(0, {1, 0xAA});
    std::array<std::uint8_t, 64> in{};
    EXPECT_EQ(e->readInput(in, 100).status, hidlink::ReadStatus::Ok);
    EXPECT_TRUE(table.closeCollection(3));
    EXPECT_FALSE(table.openInputCollection(kVid, 0x3000, 0xFF11, 0x12, 3)) << "no such collection";
}

TEST_F(DeviceTableTest, RequestsAreValidatedBeforeTheDeviceSeesThem) {
    auto dev = plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
    const auto conn = table.entry(1);
    std::array<std::uint8_t, 65> tooLong{9};
    std::array<std::uint8_t, 64> unknownId{0x55};
    std::array<std::uint8_t, 64> idZero{0};
    EXPECT_FALSE(conn->setFeature(tooLong));
    EXPECT_FALSE(conn->setFeature(unknownId));
    EXPECT_FALSE(conn->setFeature(idZero));
    EXPECT_FALSE(conn->setFeature(std::span<const std::uint8_t>{}));
    EXPECT_TRUE(dev->setsReceived(0).empty());
}

// A reader thread holds the handle it took while the UI thread closes the key.
TEST_F(DeviceTableTest, AHandleTakenBeforeCloseFailsAsDisconnected) {
    plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
    const auto e = table.entry(1);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->stopReader);  // no reader runs until one is started
    e->stopReader = false;
    ASSERT_TRUE(table.closeCollection(1));
    EXPECT_EQ(table.entry(1), nullptr);
    EXPECT_TRUE(e->closed());
    EXPECT_TRUE(e->stopReader);
    std::array<std::uint8_t, 64> in{};
    EXPECT_EQ(e->readInput(in, 100).status, hidlink::ReadStatus::Disconnected);
    std::array<std::uint8_t, 64> report{9};
    EXPECT_FALSE(e->getFeature(report));
    EXPECT_FALSE(e->setFeature(report));
    // The key opens afresh; the old handle stays closed.
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
    EXPECT_FALSE(table.entry(1)->closed());
    EXPECT_TRUE(e->closed());
}

TEST_F(DeviceTableTest, CloseWakesAReadThatWaits) {
    plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
    auto pending = std::async(std::launch::async, [e = table.entry(1)] {
        std::array<std::uint8_t, 64> in{};
        // Only the close can end this read before its minute is up.
        return e->readInput(in, 60000).status;
    });
    while (bus.waitingReads() == 0) std::this_thread::yield();
    ASSERT_TRUE(table.closeCollection(1));
    EXPECT_EQ(pending.get(), hidlink::ReadStatus::Disconnected);
}

// Lookups and reads from a reader thread while the UI thread opens and closes the key.
TEST_F(DeviceTableTest, ReaderLookupsSurviveOpensAndClosesOnAnotherThread) {
    auto dev = plug(kVid, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    std::atomic<bool> done{false};
    std::atomic<int> reports{0};
    std::thread reader([&] {
        std::array<std::uint8_t, 64> in{};
        while (!done) {
            if (const auto e = table.entry(1); e != nullptr && e->readInput(in, 0).status == hidlink::ReadStatus::Ok)
                ++reports;
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1));
        dev->pushInput(0, {1, static_cast<std::uint8_t>(i)});
        ASSERT_TRUE(table.closeCollection(1));
    }
    done = true;
    reader.join();
    EXPECT_EQ(table.size(), 0u);
    EXPECT_LE(reports.load(), 200);
}

}  // namespace

namespace {

using hidlink::testing::CountingBackend;

// What the station does on a tick: list the collections, reopen the touch collection.
std::size_t tickLike(hidlink::DeviceTable& table, std::vector<hidlink::SkippedNode>& skipped) {
    std::vector<CollectionIdentity> ids;
    skipped.clear();
    const std::size_t n = table.enumerateCollections(ids, 100, &skipped);
    if (table.openCollection(kVid, 0x3000, 0xFF11, 0x11, 1)) table.closeCollection(1);
    return n;
}

// Between hotplug events the table answers from its last enumeration, skipped nodes included;
// each kind of change is seen at the next call, with one enumeration.
TEST(DeviceTableHotplug, EnumeratesOnlyAfterAnEvent) {
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    CountingBackend backend{bus, CountingBackend::Monitor::Bus};
    hidlink::DeviceTable table{backend};
    const auto controller = [] {
        return std::make_shared<sim::TableDevice>(
            sim::UsbIdentity{kVid, 0x3000, 0x0102},
            std::vector<std::vector<CollectionSpec>>{{vendorCollection(0xFF11, 0x11), vendorCollection(0xFF11, 0x02)}});
    };
    const auto dev = controller();
    const int id = bus.addDevice(dev);
    ASSERT_TRUE(table.followHotplug(clock));
    std::vector<hidlink::SkippedNode> skipped;
    ASSERT_EQ(tickLike(table, skipped), 2u);
    ASSERT_EQ(backend.enumerations, 1);

    struct Step {
        const char* name;
        std::function<void()> change;
        std::size_t listed;
        std::size_t skipped;
    };
    int other = -1;
    const Step steps[] = {
        {"nothing happens", [] {}, 2, 0},
        {"unplug", [&] { bus.unplug(id); }, 0, 0},
        {"replug", [&] { bus.replug(id); }, 2, 0},
        {"another device", [&] { other = bus.addDevice(controller()); }, 4, 0},
        {"access refused", [&] { bus.setOpenRefused(other, "Permission denied"); }, 2, 1},
        {"access given", [&] { bus.setOpenRefused(other, ""); }, 4, 0},
        {"re-enumeration leaves", [&] { bus.reenumerate(*dev, 300); }, 2, 0},
        {"and comes back", [&] { clock.advance(300); }, 4, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        const int before = backend.enumerations;
        s.change();
        for (int tick = 0; tick < 5; ++tick) {
            EXPECT_EQ(tickLike(table, skipped), s.listed);
            EXPECT_EQ(skipped.size(), s.skipped);
        }
        EXPECT_EQ(backend.enumerations, before + (std::string(s.name) == "nothing happens" ? 0 : 1));
    }

    // A change that brings no event is seen by the slow safety enumeration.
    const int before = backend.enumerations;
    clock.advance(hidlink::kSafetyEnumerationMs - 400);
    tickLike(table, skipped);
    EXPECT_EQ(backend.enumerations, before);
    clock.advance(400);
    tickLike(table, skipped);
    tickLike(table, skipped);
    EXPECT_EQ(backend.enumerations, before + 1);
}

// Without a monitor, or with one that can no longer tell, every call enumerates as it always did.
TEST(DeviceTableHotplug, WithoutEventsEveryCallEnumerates) {
    const std::pair<CountingBackend::Monitor, bool> cases[] = {{CountingBackend::Monitor::None, false},
                                                               {CountingBackend::Monitor::Lost, true}};
    for (const auto& [monitor, follows] : cases) {
        platform::VirtualClock clock;
        sim::VirtualBus bus{clock};
        CountingBackend backend{bus, monitor};
        hidlink::DeviceTable table{backend};
        EXPECT_EQ(table.followHotplug(clock), follows);
        std::vector<hidlink::SkippedNode> skipped;
        EXPECT_EQ(tickLike(table, skipped), 0u);
        const int id = bus.addDevice(std::make_shared<sim::TableDevice>(
            sim::UsbIdentity{kVid, 0x3000, 0x0102},
            std::vector<std::vector<CollectionSpec>>{{vendorCollection(0xFF11, 0x11)}}));
        EXPECT_EQ(tickLike(table, skipped), 1u);
        bus.unplug(id);
        EXPECT_EQ(tickLike(table, skipped), 0u);
        // Each of the three ticks lists and opens, and each walks the bus again.
        EXPECT_EQ(backend.enumerations, 3 * 2) << follows;
    }
}

}  // namespace
