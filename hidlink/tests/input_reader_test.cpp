// The input reader of a table entry against the in-process bus: reports reach the sink in
// order and as copies, the driver-mode wrapper is taken off, and a stop, a close or an unplug
// always ends the thread, including while it waits for a report.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "hidlink/device_table.h"
#include "hidlink/queued_reports.h"
#include "platform/clock.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"

namespace {

using sim::CollectionSpec;
using sim::ReportSpec;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kVid = 0x3A1C;
constexpr int kKey = 1;

struct ReaderBench {
    explicit ReaderBench(std::uint16_t usage) {
        device = std::make_shared<sim::TableDevice>(
            sim::UsbIdentity{kVid, 0x0A52, 0x0100},
            std::vector<std::vector<CollectionSpec>>{
                {{0xFF11,
                  usage,
                  {{ReportSpec::Feature, 9, 64}, {ReportSpec::Input, 15, 64}, {ReportSpec::Input, 3, 64}}}}});
        deviceId = bus.addDevice(device);
    }
    bool open() { return table.openCollection(kVid, 0x0A52, 0xFF11, 0, kKey); }
    // Waits (real time) until the bus has a read blocked on the reader's handle.
    bool readerWaits() {
        for (int i = 0; i < 2000; ++i) {
            if (bus.waitingReads() > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::shared_ptr<sim::TableDevice> device;
    int deviceId = 0;
    hidlink::QueuedReports sink;
};

Bytes next(hidlink::QueuedReports& sink) {
    hidlink::QueuedReport r;
    if (!sink.take(r, 10000)) return {};
    EXPECT_EQ(r.key, kKey);
    return r.bytes;
}

TEST(InputReader, ReportsArriveInOrderAndTheWrapperComesOffOnlyInDriverMode) {
    struct Case {
        const char* name;
        std::uint16_t usage;
        Bytes pushed;
        Bytes delivered;
    };
    const Case cases[] = {
        {"plain collection: as sent", 0x11, {15, 3, 1, 2}, {15, 3, 1, 2}},
        {"driver-mode touch: the wrapper's content", 0x0B, {15, 3, 1, 2}, {3, 1, 2}},
        {"driver-mode pen: a line report inside the wrapper", 0x0A, {15, 15, 72, 0}, {15, 72, 0}},
        {"driver-mode: a report without wrapper as sent", 0x0B, {3, 7}, {3, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderBench b(c.usage);
        ASSERT_TRUE(b.open());
        ASSERT_TRUE(b.table.startInputReader(kKey, b.sink));
        EXPECT_FALSE(b.table.startInputReader(kKey, b.sink)) << "one reader per collection";
        b.device->pushInput(0, c.pushed);
        b.device->pushInput(0, {3, 0xEE});
        Bytes first = next(b.sink);
        first.resize(std::min(first.size(), c.delivered.size()));
        EXPECT_EQ(first, c.delivered);
        EXPECT_EQ(next(b.sink).at(1), 0xEE) << "in order";
        EXPECT_TRUE(b.table.stopInputReader(kKey));
        EXPECT_FALSE(b.table.stopInputReader(kKey)) << "none runs any more";
        EXPECT_TRUE(b.sink.ended().empty()) << "a stop is not an end";
    }
    ReaderBench b(0x11);
    EXPECT_FALSE(b.table.startInputReader(kKey, b.sink)) << "no such key";
}

TEST(InputReader, ACloseOrAnUnplugEndsAReaderThatWaits) {
    {
        ReaderBench b(0x11);
        ASSERT_TRUE(b.open());
        ASSERT_TRUE(b.table.startInputReader(kKey, b.sink));
        ASSERT_TRUE(b.readerWaits());
        const auto entry = b.table.entry(kKey);
        ASSERT_TRUE(b.table.closeCollection(kKey));
        EXPECT_FALSE(entry->inputReaderRunning());
        EXPECT_TRUE(b.sink.ended().empty()) << "closed by its owner";
        EXPECT_FALSE(entry->startInputReader(b.sink)) << "a closed entry reads nothing";
    }
    {
        ReaderBench b(0x11);
        ASSERT_TRUE(b.open());
        ASSERT_TRUE(b.table.startInputReader(kKey, b.sink));
        ASSERT_TRUE(b.readerWaits());
        b.bus.unplug(b.deviceId);
        for (int i = 0; i < 2000 && b.sink.ended().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(b.sink.ended(), std::vector<int>{kKey}) << "the device went away";
        EXPECT_FALSE(b.table.entry(kKey)->inputReaderRunning());
        EXPECT_TRUE(b.table.closeCollection(kKey));
    }
}

// A receiver that breaks the rule and closes its own collection from inside the call: the
// table lets go of the entry at once, yet the reader still runs on it until the call returns.
TEST(InputReader, AReceiverThatClosesItsCollectionLeavesNothingFreedUnderTheReader) {
    struct ClosingSink final : hidlink::ReportSink {
        explicit ClosingSink(hidlink::DeviceTable& t) : table(t) {}
        void onReport(int key, std::span<const std::uint8_t> /*report*/) override {
            closed = table.closeCollection(key);
            calls.fetch_add(1);
        }
        hidlink::DeviceTable& table;
        std::atomic<bool> closed{false};
        std::atomic<int> calls{0};
    };
    ReaderBench b(0x11);
    ClosingSink sink(b.table);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.table.startInputReader(kKey, sink));
    const std::weak_ptr<hidlink::DeviceTableEntry> entry = b.table.entry(kKey);
    b.device->pushInput(0, {3, 1});
    b.device->pushInput(0, {3, 2});
    // The entry goes only when the reader, left to end by itself, lets go of it.
    for (int i = 0; i < 5000 && !entry.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(entry.expired());
    EXPECT_TRUE(sink.closed);
    EXPECT_EQ(sink.calls, 1) << "nothing read after the close";
    EXPECT_EQ(b.table.size(), 0u);
}

TEST(InputReader, AFullQueueCountsWhatItDrops) {
    hidlink::QueuedReports sink(2);
    for (std::uint8_t i = 0; i < 5; ++i) sink.onReport(kKey, Bytes{3, i});
    EXPECT_EQ(sink.size(), 2u);
    EXPECT_EQ(sink.dropped(), 3u);
    EXPECT_EQ(next(sink), (Bytes{3, 0})) << "the oldest stay";
}

}  // namespace
