// The TKP window's phases, judgements and flags, fed with synthetic line reports on the virtual
// clock.
#include <gtest/gtest.h>

#include "station/checks/logic/tests/tkp_rig.h"
#include "station/checks/logic/tkp_scene.h"

namespace station::checks {
namespace {

using Commands = std::vector<std::string>;

// Opens the window and waits until it measures noise (the pen away for a second).
TkpCheck& openToNoise(TkpRig& rig) {
    rig.open();
    EXPECT_TRUE(rig.waitFor([&] { return rig.w->phase() == TkpNoise; }, 3000));
    return *rig.w;
}

TkpCheck& openToSignal(TkpRig& rig) {
    openToNoise(rig);
    EXPECT_TRUE(rig.waitFor([&] { return rig.w->phase() == TkpSignal; }, 5000));
    return *rig.w;
}

TEST(TkpCheck, APenAwayAQuietSensorAndATouchPassInLogOnlyMode) {
    TkpRig rig;
    TkpCheck& w = openToSignal(rig);
    EXPECT_EQ(rig.device.commands, (Commands{"start", "scan 5,6,2,0", "report 12,13,2,0"}));
    EXPECT_EQ(w.noiseCheckNo(), 1);
    EXPECT_EQ(rig.device.stats.window(), kTkpSignalWindow);
    // The pen draws: one line strong, then saturated; log-only does not judge it.
    rig.samples = [](std::size_t line, int) { return std::uint16_t(line == 1 ? 4095 : 40); };
    rig.wait(300);
    EXPECT_FALSE(w.closed()) << "log-only never finishes by itself";
    rig.touch();
    EXPECT_TRUE(w.closed());
    EXPECT_EQ(rig.flags, kTkpSaturationSignal);
    EXPECT_EQ(rig.device.commands.back(), "stop");

    EXPECT_EQ(rig.results.tkpNoiseCheckNo, 1);
    EXPECT_EQ(rig.results.tkpLineCountX, kRigLinesX);
    EXPECT_EQ(rig.results.tkpLineCountY, kRigLinesY);
    ASSERT_EQ(rig.results.tkpAverageHistory.size(), 1u);
    EXPECT_EQ(rig.results.tkpAverageHistory[0], std::vector<double>(7, 40.0));
    EXPECT_EQ(rig.results.tkpSigmaHistory[0], std::vector<double>(7, 0.0));
    EXPECT_EQ(rig.results.tkpMaxHistory[0], std::vector<std::uint16_t>(7, 40));
    EXPECT_EQ(rig.results.tkpFinalMax[1], 4095);
    EXPECT_EQ(rig.results.tkpFinalMax[72], 40);
    EXPECT_EQ(rig.results.TkpGainBlock, rig.scan);
}

TEST(TkpCheck, NoiseIsJudgedPerLineAgainstItsOwnLimitOrTheAxisLimit) {
    struct Case {
        const char* name;
        std::size_t line;
        std::uint16_t low, high;  // alternating samples: average between, sigma half the gap
        bool averageOnly, judgeFirstY;
        std::int32_t ownLimit;  // the line's own limit (0: the axis's)
        bool fails;
    };
    // Axis limits: X 300, Y 200.
    const Case cases[] = {
        {"X average + 3 sigma equal to the limit", 2, 100, 200, false, false, 0, false},
        {"X average + 3 sigma above the limit", 2, 101, 201, false, false, 0, true},
        {"X average alone under the limit", 2, 101, 201, true, false, 0, false},
        {"own limit above the figure", 2, 101, 201, false, false, 301, false},
        {"own limit below the figure", 0, 40, 40, false, false, 39, true},
        {"Y line under the axis limit", 73, 190, 210, true, false, 0, false},
        {"Y line above the axis limit", 74, 200, 202, true, false, 0, true},
        {"first Y line not judged", 72, 1000, 1000, false, false, 0, false},
        {"first Y line judged on request", 72, 1000, 1000, false, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TkpRig rig;
        rig.in.logOnly = false;
        rig.in.noiseLimitX = 300;
        rig.in.noiseLimitY = 200;
        rig.in.averageOnly = c.averageOnly;
        rig.in.judgeFirstY = c.judgeFirstY;
        if (c.line < 72)
            rig.in.noiseLimitsX[c.line] = c.ownLimit;
        else
            rig.in.noiseLimitsY[c.line - 72] = c.ownLimit;
        rig.samples = [&](std::size_t line, int scan) {
            return line == c.line ? (scan % 2 == 0 ? c.low : c.high) : std::uint16_t{40};
        };
        openToSignal(rig);
        EXPECT_EQ((rig.w->flags() & kTkpNoiseOver) != 0, c.fails);
    }
}

TEST(TkpCheck, APenNearThePanelExtendsTheWaitAndFailsAfterFifteenSeconds) {
    TkpRig rig;
    rig.penNear = true;
    TkpCheck& w = rig.open();
    rig.wait(10000);
    EXPECT_EQ(w.phase(), TkpPenRemoval);
    EXPECT_EQ(tkpRemovalColour(w.phaseElapsedMs()), kTkpWarnText);
    rig.penNear = false;
    EXPECT_TRUE(rig.waitFor([&] { return w.phase() == TkpNoise; }, 2000)) << "the pen left: the noise starts";

    TkpRig held;
    held.penNear = true;
    held.open();
    held.wait(20000);
    EXPECT_TRUE(held.w->closed());
    EXPECT_EQ(held.flags, kTkpPenExists | kTkpIncomplete);
    EXPECT_EQ(held.device.commands, Commands{}) << "never started, and the maintenance is left alone";
}

TEST(TkpCheck, EscRecordsAnIncompleteNoisePhaseInEveryPhaseBeforeTheSignal) {
    struct Case {
        const char* name;
        std::function<void(TkpRig&)> reach;
        std::int32_t flags;
    };
    const Case cases[] = {
        {"pen removal", [](TkpRig& r) { r.open(); }, kTkpIncomplete},
        {"start wait",
         [](TkpRig& r) {
             r.in.startWaitMs = 3000;
             r.open();
             r.waitFor([&] { return r.w->phase() == TkpStartWait; }, 3000);
         },
         kTkpIncomplete},
        {"noise", [](TkpRig& r) { openToNoise(r); }, kTkpIncomplete},
        {"signal", [](TkpRig& r) { openToSignal(r); }, 0},
        {"judged signal, not every line seen",
         [](TkpRig& r) {
             r.in.logOnly = false;
             openToSignal(r);
         },
         kTkpTouchExit},
        {"done (signal skipped)",
         [](TkpRig& r) {
             r.in.skipSignal = true;
             openToNoise(r);
             r.waitFor([&] { return r.w->phase() == TkpDone; }, 3000);
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TkpRig rig;
        c.reach(rig);
        EXPECT_EQ(rig.escape(), c.flags);
        EXPECT_EQ(rig.readers.stopped.size(), 2u);
    }
}

TEST(TkpCheck, ATouchEndsTheCheckAsTheRecipeSays) {
    struct Case {
        const char* name;
        bool logOnly, exitDisabled, inNoise;
        bool closes;
        std::int32_t flags;
    };
    const Case cases[] = {
        {"log-only: a normal end", true, false, false, true, 0},
        {"judged: the operator gave up the signal", false, false, false, true, kTkpTouchExit},
        {"judged, during the noise: incomplete, not signal", false, false, true, true, kTkpIncomplete},
        {"touch exit disabled: Esc leaves the signal unfinished", false, true, false, false, kTkpTouchExit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TkpRig rig;
        rig.in.logOnly = c.logOnly;
        rig.in.touchExitDisabled = c.exitDisabled;
        if (c.inNoise)
            openToNoise(rig);
        else
            openToSignal(rig);
        rig.touch(0);
        EXPECT_FALSE(rig.w->closed()) << "a touch report without contacts";
        rig.touch(2);
        EXPECT_EQ(rig.w->closed(), c.closes);
        EXPECT_EQ(rig.escape(), c.flags);
    }
}

TEST(TkpCheck, TheSignalPhaseEndsWhenEveryLineHasSeenThePen) {
    TkpRig rig;
    rig.in.logOnly = false;
    rig.in.signalLimitX = 1000;
    rig.in.signalLimitY = 2000;
    TkpCheck& w = openToSignal(rig);
    // The pen crosses the lines one after the other; a Y line needs twice the signal.
    int under = 0;
    rig.samples = [&](std::size_t line, int) {
        const std::size_t at =
            under < kRigLinesX ? static_cast<std::size_t>(under) : 72 + static_cast<std::size_t>(under - kRigLinesX);
        return line == at ? std::uint16_t(line < 72 ? 1600 : 3000) : std::uint16_t{40};
    };
    for (under = 0; under < kRigLinesX + kRigLinesY - 1; ++under) rig.wait(200);
    EXPECT_FALSE(w.closed()) << "one Y line still waits";
    EXPECT_TRUE(w.signalSeen(0));
    EXPECT_FALSE(w.signalSeen(74));
    rig.wait(200);
    EXPECT_TRUE(w.closed());
    EXPECT_EQ(rig.flags, 0);
    EXPECT_EQ(rig.results.tkpFinalMax[74], 3000);
}

TEST(TkpCheck, NoLineReportsTimeOutTheNoisePhaseAcrossTheHour) {
    TkpRig rig(platform::TimeOfDay{2026, 1, 1, 9, 59, 30, 0});
    openToNoise(rig);
    rig.device.maintenance = false;  // a dead sensor
    rig.wait(59000);
    EXPECT_FALSE(rig.w->closed());
    rig.wait(3000);
    EXPECT_TRUE(rig.w->closed());
    EXPECT_EQ(rig.flags, kTkpNoPacket | kTkpIncomplete);
}

TEST(TkpCheck, RepeatedNoiseMeasurementsEachRestartTheScanAndAreAllKept) {
    TkpRig rig;
    rig.in.noiseCheckCount = 3;
    rig.in.skipSignal = true;
    rig.samples = [](std::size_t, int scan) {
        return static_cast<std::uint16_t>(scan < 10 ? 40 : scan < 20 ? 50 : 60);
    };
    TkpCheck& w = openToNoise(rig);
    const TkpScene first = tkpScene(w, {0, 0, 1000, 600}, 0);
    EXPECT_EQ(first.lines.back().text.text, "1 / 3");
    EXPECT_TRUE(rig.waitFor([&] { return w.closed(); }, 5000));
    EXPECT_EQ(rig.flags, 0);
    EXPECT_EQ(rig.device.commands, (Commands{"start", "scan 5,6,2,0", "report 5,6,2,0", "report 5,6,2,0", "stop"}));
    ASSERT_EQ(rig.results.tkpAverageHistory.size(), 3u);
    EXPECT_EQ(rig.results.tkpNoiseCheckNo, 3);
    // Each measurement saw only its own samples.
    EXPECT_EQ(rig.results.tkpMaxHistory[2][0], 60);
    EXPECT_LT(rig.results.tkpAverageHistory[0][0], rig.results.tkpAverageHistory[2][0]);
}

TEST(TkpCheck, TheStartWaitCountsDownBeforeTheNoise) {
    TkpRig rig;
    rig.in.startWaitMs = 2000;
    TkpCheck& w = rig.open();
    ASSERT_TRUE(rig.waitFor([&] { return w.phase() == TkpStartWait; }, 3000));
    rig.wait(1000);
    EXPECT_GT(w.startWaitRemainingMs(), 0);
    EXPECT_LT(w.startWaitRemainingMs(), 2000);
    EXPECT_EQ(rig.device.commands, Commands{}) << "nothing started while waiting";
    const TkpScene scene = tkpScene(w, {0, 0, 1000, 600}, 0);
    EXPECT_EQ(scene.lines[1].text.text.rfind("WAIT for START ", 0), 0u);
    ASSERT_TRUE(scene.bar.has_value());
    EXPECT_TRUE(rig.waitFor([&] { return w.phase() == TkpNoise; }, 2000));
}

TEST(TkpCheck, AMaintenanceModeThatDoesNotStartEndsTheCheckUnmeasured) {
    TkpRig rig;
    rig.device.refuseStart = true;
    rig.open();
    rig.wait(2000);
    EXPECT_TRUE(rig.w->closed());
    EXPECT_EQ(rig.w->phase(), TkpDone);
    EXPECT_EQ(rig.flags, kTkpMaintenanceFailed) << "ended in phase 4: not incomplete";
    EXPECT_EQ(rig.host.status, std::vector<std::string>{"Failed to start Pen Maintenance Mode."});
}

TEST(TkpCheck, DebugModeMeasuresOnStartEditsTheScanValuesAndRecordsNothing) {
    TkpRig vendorTouch;
    vendorTouch.in.debug = true;
    vendorTouch.open();
    vendorTouch.touch();
    EXPECT_FALSE(vendorTouch.w->closed()) << "the controller's touches are ignored in debug mode";

    TkpRig rig;
    rig.in.debug = true;
    rig.in.driverMode = true;
    TkpCheck& w = rig.open();
    EXPECT_EQ(w.phase(), TkpNoise);
    EXPECT_EQ(rig.device.commands, (Commands{"start", "scan 5,6,2,0"}));
    rig.wait(1000);
    EXPECT_EQ(rig.device.stats.held(0), 0u) << "nothing measured before start(s)";
    EXPECT_EQ(tkpButtonAt(w, {20, 50}), CheckKey::G);
    EXPECT_EQ(tkpButtonAt(w, {140, 50}), CheckKey::S);

    // The noise gains, cancelled.
    w.onKey(CheckKey::G);
    rig.wait(100);
    ASSERT_EQ(rig.dialog.shown.size(), 1u);
    EXPECT_EQ(rig.dialog.shown[0].gainX, 5);
    EXPECT_EQ(rig.scan, (TkpScanValues{5, 12, 6, 13, 2, 0}));

    w.onKey(CheckKey::S);
    ASSERT_TRUE(rig.waitFor([&] { return w.phase() == TkpSignal; }, 3000));
    EXPECT_FALSE(tkpButtonAt(w, {140, 50}).has_value()) << "start(s) is gone once started";
    // The signal gains, edited: stored as station values and sent again at once.
    rig.dialog.answer = TkpScanSetting{20, 21, 3, 1};
    w.onKey(CheckKey::G);
    rig.wait(100);
    EXPECT_EQ(rig.dialog.shown.back().gainX, 12);
    EXPECT_EQ(rig.scan, (TkpScanValues{5, 20, 6, 21, 3, 1}));
    EXPECT_EQ(rig.device.commands.back(), "report 20,21,3,1");
    EXPECT_NE(tkpScene(w, {0, 0, 1000, 600}, 0).debugText->text.find("Gain X : 20\n"), std::string::npos);

    controllerlink::RawContactRecord raw;
    raw.contactCount = 1;
    w.onRawInput(raw, {});
    w.painted();
    EXPECT_TRUE(w.closed()) << "a touch through the system's digitizer still ends it";
    EXPECT_EQ(rig.flags, 0);
    EXPECT_EQ(rig.results.TkpGainBlock, rig.scan);
}

TEST(TkpCheck, DebugModeWithoutMaintenanceWaitsForEsc) {
    TkpRig rig;
    rig.in.debug = true;
    rig.device.refuseStart = true;
    rig.in.driverMode = true;
    TkpCheck& w = rig.open();
    EXPECT_TRUE(rig.readers.started.empty()) << "no reader starts";
    EXPECT_FALSE(w.timerDueAt().has_value()) << "and no tick";
    EXPECT_EQ(rig.host.status, std::vector<std::string>{"Failed to start Pen Maintenance Mode."});
    w.onKey(CheckKey::S);
    // Not even a touch on the system's digitizer ends it.
    controllerlink::RawContactRecord touch;
    touch.contactCount = 1;
    w.onRawInput(touch, {});
    rig.wait(70000);
    EXPECT_FALSE(w.closed());
    EXPECT_EQ(rig.escape(), 0);
}

TEST(TkpCheck, TheReportRateCountsLineReportsPerSecond) {
    TkpRig rig;
    TkpCheck& w = openToNoise(rig);
    rig.wait(1000);
    // Two reports every 10 ms.
    EXPECT_NEAR(w.reportRate(), 200.0, 10.0);
}

}  // namespace
}  // namespace station::checks
