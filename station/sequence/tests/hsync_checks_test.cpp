// The Hsync MCU checks' edge cases against the simulated MCU behind the pen collection.
#include "station/sequence/hsync_checks.h"

#include <gtest/gtest.h>

#include <memory>

#include "station/sequence/tests/judgement_fixture.h"

namespace {

using judgementfx::SimStation;
using station::RecipeSettings;

struct McuBench {
    explicit McuBench(sim::ControllerConfig config = {}) : st(std::move(config)) { EXPECT_TRUE(st.prepare(*recipe)); }
    station::StepOutcome run() { return station::runHsyncChecks(*recipe, st.pen, ui, info, result); }

    std::unique_ptr<RecipeSettings> recipe = std::make_unique<RecipeSettings>();
    SimStation st;
    judgementfx::FakeUi ui;
    station::HsyncInfo info;
    station::HsyncCheckResult result;
};

TEST(HsyncChecks, AllChecksPassInOrderOnAHealthyMcu) {
    McuBench b;
    b.recipe->HSYNC_PID = 0x0A31;
    b.recipe->HSYNC_VER = 0x0102;
    b.recipe->HSYNC_CHECK = 100;
    b.recipe->HSYNC_MEASURING = 1;
    b.recipe->HSYNC_CHECK_NO_MCU = 1;
    EXPECT_TRUE(b.run().passed());
    EXPECT_EQ(b.ui.lines,
              (std::vector<std::string>{"HSYNC MCU PID ... OK", "HSYNC MCU FW ver ... OK", "HSYNC enable.",
                                        "HSYNC Noise Measuring ... OK", "HSYNC enable. (direct connection)"}));
    EXPECT_EQ(b.info.hsyncPidText, "0x0A31");
    EXPECT_EQ(b.info.hsyncVerText, "0x0102");
    EXPECT_EQ(b.info.hsyncInfoValid, 1);
    EXPECT_EQ(b.result.hsyncFlags, 0);
    EXPECT_EQ(b.result.hsyncSamples, std::vector<std::uint16_t>(3, 0x0100));  // HSYNC_CHECK_COUNT 3
    EXPECT_EQ(b.result.noiseSamples, std::vector<std::int16_t>(10, 0));       // HSYNC_MEAS_COUNT 10
    EXPECT_EQ(b.result.noiseInRange, 10);
}

TEST(HsyncChecks, OldMcuFirmwareKeepsValidityAndReadsAsZero) {
    for (int validBefore : {1, 0}) {
        SCOPED_TRACE(validBefore);
        sim::ControllerConfig c;
        c.hsync = sim::HsyncMcu::OldFirmware;
        McuBench b(c);
        b.recipe->HSYNC_PID = 0x0A31;
        b.info.hsyncInfoValid = validBefore;
        const station::StepOutcome o = b.run();
        EXPECT_EQ(b.info.hsyncPidText, "OLD FW");
        EXPECT_EQ(b.info.hsyncVerText, "OLD FW");
        EXPECT_EQ(b.info.hsyncInfoValid, validBefore);
        EXPECT_EQ(o.firstError(), validBefore ? station::ErrorId::HsyncPid : station::ErrorId::HsyncComm);
        EXPECT_EQ(b.ui.lines.back(), validBefore ? "HSYNC MCU PID ... NG" : "HSYNC MCU communicate error.");
    }
    EXPECT_EQ(station::hsyncTextValue("OLD FW"), 0);
    EXPECT_EQ(station::hsyncTextValue("0x0A31"), 0x0A31);
}

TEST(HsyncChecks, SignalCountsSamplesAboveTheLevel) {
    struct Case {
        const char* what;
        std::vector<std::uint16_t> cycle;
        int count, threshold;
        bool ok;
        int okCount;
    };
    const std::vector<std::uint16_t> eightOfTen = {0x0100, 0x0100, 0x0100, 0x0100, 0x0100,
                                                   0x0100, 0x0100, 0x0100, 0x0032, 0x0032};
    const Case cases[] = {
        {"eight of ten above 100", eightOfTen, 10, 8, true, 8},
        {"eight of ten, nine required", eightOfTen, 10, 9, false, 8},
        {"a sample equal to the level does not count", {100}, 3, 1, false, 0},
        {"no samples asked for", {0x0100}, 0, 1, false, 0},
        {"no samples asked for and none required", {0x0100}, 0, 0, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::ControllerConfig config;
        config.hsyncSample = c.cycle.front();
        if (c.cycle.size() > 1) config.hsyncSampleCycle = c.cycle;
        McuBench b(config);
        b.recipe->HSYNC_CHECK = 100;
        b.recipe->HSYNC_CHECK_COUNT = c.count;
        b.recipe->HSYNC_CHECK_THRESHOLD = c.threshold;
        const station::StepOutcome o = b.run();
        EXPECT_EQ(o.passed(), c.ok);
        EXPECT_EQ(b.result.hsyncOkCount, c.okCount);
        EXPECT_EQ(b.result.hsyncSamples.size(), static_cast<std::size_t>(c.count));
        EXPECT_EQ(b.st.wire->tunnelRequests(), static_cast<std::size_t>(c.count));
        EXPECT_EQ(b.ui.lines.back(), c.ok ? "HSYNC enable." : "HSYNC disable.");
        EXPECT_EQ(b.result.hsyncFlags, c.ok ? 0 : station::kHsyncDisabled);
    }
    // The samples are logged as read, in order (the wire carries them high byte first).
    sim::ControllerConfig config;
    config.hsyncSampleCycle = {0x0100, 0x0032, 0x1234};
    McuBench b(config);
    b.recipe->HSYNC_CHECK = 100;
    b.recipe->HSYNC_CHECK_COUNT = 3;
    b.run();
    EXPECT_EQ(b.result.hsyncSamples, (std::vector<std::uint16_t>{0x0100, 0x0032, 0x1234}));
    EXPECT_EQ(b.result.hsyncSample, 0x1234);
}

TEST(HsyncChecks, NoiseLimitsAreInclusiveAndSamplesSigned) {
    sim::ControllerConfig config;
    config.hsyncNoiseCycle = {-10, 10, -11, 11};
    for (int threshold : {2, 3}) {
        SCOPED_TRACE(threshold);
        McuBench b(config);
        b.recipe->HSYNC_MEASURING = 1;
        b.recipe->HSYNC_MEAS_COUNT = 4;
        b.recipe->HSYNC_MEAS_THRESHOLD = threshold;
        const station::StepOutcome o = b.run();
        EXPECT_EQ(b.result.noiseInRange, 2);
        EXPECT_EQ(b.result.noiseSamples, (std::vector<std::int16_t>{-10, 10, -11, 11}));
        EXPECT_EQ(b.result.noiseSample, 11);
        EXPECT_EQ(o.passed(), threshold == 2);
        EXPECT_EQ(b.ui.lines.back(), threshold == 2 ? "HSYNC Noise Measuring ... OK" : "HSYNC Noise Measuring ... NG");
        // Alone, the noise check refreshes the MCU texts first.
        EXPECT_EQ(b.info.hsyncPidText, "0x0A31");
    }
}

TEST(HsyncChecks, ThreeAttemptsPerValue) {
    struct Case {
        std::uint32_t refusals;
        bool read;
        const char* text;
    };
    for (const Case& c : {Case{2, true, "0x0A31"}, Case{3, false, "STS ERR"}}) {
        SCOPED_TRACE(c.refusals);
        sim::ControllerConfig config;
        config.hsyncNak = c.refusals;
        McuBench b(config);
        b.recipe->HSYNC_PID = 0x0A31;
        const station::StepOutcome o = b.run();
        EXPECT_EQ(o.passed(), c.read);
        EXPECT_EQ(b.info.hsyncPidText, c.text);
        EXPECT_EQ(b.info.hsyncVerText, c.read ? "0x0102" : "STS ERR");  // not asked after a failed PID
        EXPECT_EQ(b.st.wire->tunnelRequests(), c.read ? 4u : 3u);
        EXPECT_EQ(b.result.hsyncFlags, c.read ? 0 : station::kHsyncComError);
    }
}

TEST(HsyncChecks, InformationIsReadOnlyWhenTheKeysAskForIt) {
    struct Case {
        const char* what;
        int info, pid;
        std::uint16_t ver;
        int validBefore;
        std::size_t requests;
    };
    const Case cases[] = {
        {"HSYNC_INFO and a valid read: no new read", 1, 0x0A31, 0x0102, 1, 0},
        {"HSYNC_INFO and no valid read: read once", 1, 0x0A31, 0x0102, 0, 2},
        {"without HSYNC_INFO the PID check reads, the version check uses it", 0, 0x0A31, 0x0102, 1, 2},
        {"the version check alone reads", 0, 0, 0x0102, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        McuBench b;
        b.recipe->HSYNC_INFO = c.info;
        b.recipe->HSYNC_PID = c.pid;
        b.recipe->HSYNC_VER = c.ver;
        b.info = {c.validBefore, "0x0A31", "0x0102"};
        EXPECT_TRUE(b.run().passed());
        EXPECT_EQ(b.st.wire->tunnelRequests(), c.requests);
    }
}

TEST(HsyncChecks, WaitsKeepTheFrontEndAlive) {
    sim::ControllerConfig config;
    config.hsyncAnswerDelayMs = 200;
    McuBench b(config);
    b.recipe->HSYNC_PID = 0x0A31;
    EXPECT_TRUE(b.run().passed());
    EXPECT_GT(b.ui.pumps, 0);
}

}  // namespace
