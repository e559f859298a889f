// The system's digitizer feeding a drawing window in driver mode: the controller's own
// digitizer collection opened read-only, its reports decoded with its descriptor and handed to
// the window until the controller's first touch report, the collection closed at the end.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "controllerlink/device_link_base.h"
#include "controllerlink/raw_input.h"
#include "hidlink/queued_reports.h"
#include "sim/operator_script.h"
#include "sim/tests/live_input_fixture.h"
#include "station/checks/logic/tests/drawing_rig.h"
#include "station/window/headless/headless_check_window.h"

namespace station {
namespace {

using simtest::LiveBench;

sim::ControllerConfig controllerWithAFinger(std::uint16_t touchUsage) {
    sim::ControllerConfig c = LiveBench::quietConfig();
    c.touchUsage = touchUsage;
    std::string why;
    EXPECT_TRUE(sim::parseOperatorLine("at 0: finger 0.5,0.5 for 200", 1, c.operatorScript, why)) << why;
    return c;
}

hidlink::CollectionIdentity controllerIdentity(const LiveBench& b) {
    const sim::UsbIdentity usb = b.device->usbIdentity();
    return {usb.vendorId, usb.productId, b.device->usagePage(), b.device->config().touchUsage};
}

struct NullSink final : hidlink::ReportSink {
    void onReport(int, std::span<const std::uint8_t>) override {}
};

TEST(RawInputFeed, OnlyTheDriverModeControllersDigitizerIsOpenedAndOnlyForInput) {
    {
        LiveBench plain(controllerWithAFinger(0x11));
        controllerlink::RawInputReader raw(plain.table);
        NullSink sink;
        EXPECT_FALSE(raw.start(controllerIdentity(plain), sink)) << "no digitizer outside driver mode";
        EXPECT_FALSE(plain.table.contains(controllerlink::RAW_INPUT_KEY));
    }
    LiveBench b(controllerWithAFinger(0x0B));
    controllerlink::RawInputReader raw(b.table);
    hidlink::QueuedReports reports;
    ASSERT_TRUE(raw.start(controllerIdentity(b), reports));
    EXPECT_FALSE(raw.start(controllerIdentity(b), reports)) << "one reader";
    const auto entry = b.table.entry(controllerlink::RAW_INPUT_KEY);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->info().identity.usagePage, 0x0Du);
    EXPECT_EQ(entry->info().identity.usage, 4u);
    std::array<std::uint8_t, 64> feature{};
    feature[0] = 1;
    EXPECT_FALSE(entry->getFeature(feature)) << "the digitizer is only listened to";

    // The reader hands the finger's reports to the same sink as the controller's readers.
    b.run(50);
    hidlink::QueuedReport first;
    ASSERT_TRUE(reports.take(first, 10000));
    EXPECT_EQ(first.key, controllerlink::RAW_INPUT_KEY);
    controllerlink::RawContactRecord record;
    controllerlink::RawTouchRanges ranges;
    ASSERT_TRUE(raw.parse(first.bytes, record, ranges));
    EXPECT_EQ(record.contactCount, 1);
    EXPECT_EQ(ranges.maxX, b.device->config().touchMaxX);

    raw.stop();
    EXPECT_FALSE(raw.running());
    EXPECT_FALSE(b.table.contains(controllerlink::RAW_INPUT_KEY));
    EXPECT_FALSE(raw.parse(first.bytes, record, ranges)) << "nothing decoded once closed";
}

// The digitizer's reports as its reader queues them, read from the bus in step with the
// virtual clock so their order is the controller's.
std::vector<std::vector<std::uint8_t>> digitizerReports(LiveBench& b, std::uint64_t ms) {
    const int reader = b.reader(sim::ControllerDevice::kDigitizerInterface);
    EXPECT_NE(reader, 0);
    b.run(ms);
    return b.drain(reader);
}

TEST(RawInputFeed, ADrawingWindowTakesTheDigitizerUntilTheControllersFirstTouchReport) {
    LiveBench b(controllerWithAFinger(0x0B));
    controllerlink::RawInputReader raw(b.table);
    NullSink elsewhere;
    ASSERT_TRUE(raw.start(controllerIdentity(b), elsewhere));
    const auto digitizer = digitizerReports(b, 100);
    ASSERT_GE(digitizer.size(), 4u);

    checks::DrawRig r;
    r.in.driverMode = true;
    checks::DrawingCheck& w = r.open();
    hidlink::QueuedReports queue;
    const std::size_t half = digitizer.size() / 2;
    for (std::size_t i = 0; i < half; ++i) queue.onReport(controllerlink::RAW_INPUT_KEY, digitizer[i]);
    deliverQueuedReports(queue, w, &raw);
    // The finger in the panel's centre, scaled by the digitizer's own ranges.
    EXPECT_NEAR(w.touchPoint().x, 500, 1);
    EXPECT_NEAR(w.touchPoint().y, 300, 1);
    EXPECT_TRUE(w.rawInputTaken());

    for (const auto& report : checks::touchReports({{1, 200, 200, 7}}, r.in.contactFormat, 1))
        queue.onReport(controllerlink::TOUCH_KEY, report);
    for (std::size_t i = half; i < digitizer.size(); ++i) queue.onReport(controllerlink::RAW_INPUT_KEY, digitizer[i]);
    deliverQueuedReports(queue, w, &raw);
    EXPECT_FALSE(w.rawInputTaken());
    EXPECT_EQ(w.touchPoint(), (checks::Point{200, 200})) << "the digitizer's later reports are dropped";
    EXPECT_EQ(queue.size(), 0u);

    // Without a reader (not in driver mode) the digitizer's reports are dropped from the start.
    checks::DrawRig other;
    other.in.driverMode = true;
    checks::DrawingCheck& unfed = other.open();
    const checks::Point untouched = unfed.touchPoint();
    queue.onReport(controllerlink::RAW_INPUT_KEY, digitizer[0]);
    deliverQueuedReports(queue, unfed, nullptr);
    EXPECT_EQ(unfed.touchPoint(), untouched);
    EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace station
