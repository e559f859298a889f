// The scan check against the in-process controller on a virtual clock. The pen's line reports
// travel the real way, from the controller's stream through the pen collection's input reader;
// the clock lets virtual time pass only once that reader has handed on everything sent.
#include "station/sequence/scan_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "station/sequence/connect.h"
#include "station/sequence/tests/sequence_rig.h"

namespace station {
namespace {

class SettlingClock final : public platform::Clock {
public:
    std::uint64_t monotonicMs() override { return clock.monotonicMs(); }
    platform::TimeOfDay timeOfDay() override { return clock.timeOfDay(); }
    void sleepMs(std::uint32_t ms) override {
        if (beforeSleep) beforeSleep();
        if (settled) {
            for (int i = 0; i < 2000 && !settled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        clock.sleepMs(ms);
    }
    platform::VirtualClock clock;
    std::function<void()> beforeSleep;
    std::function<bool()> settled;
};

struct ScanRig {
    explicit ScanRig(sim::ControllerConfig config = test::quietController())
        : device(std::make_shared<sim::ControllerDevice>(std::move(config))) {
        bus.addDevice(device);
        const std::string folder = std::string(VORLICK_SOURCE_DIR) + "/examples/station";
        const RecipeReport report =
            LoadRecipe(station.recipe, folder + "/PID0A52.ini", RecipeEnvironment{folder, firmwareImageChecksum, {}});
        EXPECT_TRUE(report.loaded);
        clock.settled = [this] { return !station.pen.inputReaderRunning() || bus.waitingReads() > 0; };
    }
    RunnerOutcome run() {
        CheckContext context = station.checkContext();
        return runScanCheck(context);
    }

    SettlingClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station station{table, clock, ui};
    std::shared_ptr<sim::ControllerDevice> device;
};

TEST(ScanCheck, TouchThenPenWithinTheirLimits) {
    struct Case {
        const char* name;
        std::int64_t touchScanAfterMs;
        bool penSends;  // the TKP pen's line reports come in pen maintenance
        std::int32_t flags;
        bool penWaited;  // the pen part ran
    };
    const Case cases[] = {
        {"both scan at once", 0, true, 0, true},
        {"the touch scan comes after 3 s", 3000, true, 0, true},
        {"the touch never scans: the pen part is skipped", -1, true, 2, false},
        {"the pen sends nothing for 10 s", 0, false, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ControllerConfig config = test::quietController();
        config.touchScanAfterMs = c.touchScanAfterMs;
        config.tkpLineReports = c.penSends;
        ScanRig rig(config);
        ASSERT_TRUE(connectTouchAndShow(rig.station));
        ASSERT_TRUE(connectPenAndKeep(rig.station));
        rig.ui.messages.clear();
        bool readerSeen = false;
        rig.clock.beforeSleep = [&] { readerSeen = readerSeen || rig.station.pen.inputReaderRunning(); };
        const std::uint64_t start = rig.clock.monotonicMs();
        const RunnerOutcome outcome = rig.run();
        EXPECT_TRUE(outcome.ran);
        EXPECT_EQ(rig.station.check.detail.scanFlags, c.flags);
        EXPECT_EQ(readerSeen, c.penWaited);
        EXPECT_EQ(rig.ui.messages, std::vector<std::string>{});
        EXPECT_EQ(rig.device->registers(), rig.station.connect.testRegisters) << "left with the test registers";
        EXPECT_FALSE(rig.station.pen.inputReaderRunning());
        if (c.flags != 0) {
            EXPECT_GT(rig.clock.monotonicMs() - start, 10000u) << "a time-out waits its 10 s";
        }
    }
}

TEST(ScanCheck, WhatMeansNoCheckAtAll) {
    struct Case {
        const char* name;
        bool penOpen;
        bool refuseRegisterReads;
        std::string message;
    };
    const Case cases[] = {
        {"the pen is not open, although the touch passed", false, false, "Pen Device is not open."},
        {"the registers cannot be read", true, true, "Failed to get register. (touch scan check)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanRig rig;
        ASSERT_TRUE(connectTouchAndShow(rig.station));
        if (c.penOpen) {
            ASSERT_TRUE(connectPenAndKeep(rig.station));
        } else {
            rig.station.pen.close();
            rig.station.connect.penConnected = false;
        }
        if (c.refuseRegisterReads) rig.device->refuseExchange({false, {9}, 0});
        rig.ui.messages.clear();
        EXPECT_FALSE(rig.run().ran);
        ASSERT_FALSE(rig.ui.messages.empty());
        EXPECT_EQ(rig.ui.messages.back(), c.message);
    }
    ScanRig rig;
    EXPECT_FALSE(rig.run().ran) << "no controller open";
    EXPECT_EQ(rig.ui.messages, std::vector<std::string>{"Touch Device is not open."});
}

}  // namespace
}  // namespace station
