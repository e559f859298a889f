// The runners of the operator's check windows against the in-process controller: what the
// controller is set to while the window is open, what it is left with afterwards, and the
// checks that cannot run.
#include "station/sequence/window_runners.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/sequence/connect.h"
#include "station/sequence/tests/sequence_rig.h"

namespace station {
namespace {

using test::Rig;

struct Seen {
    std::uint8_t touchReportType = 0xFF;
    std::uint8_t penReportType = 0xFF;
    std::uint8_t driverHomeKeyMode = 0xFF;
    std::array<std::uint8_t, sim::ControllerDevice::kRegisterBytes> registers{};
};

RunnerOutcome runnerFor(CheckWindow w, CheckContext& c) {
    switch (w) {
        case CheckWindow::Drawing:
            return runDrawingCheck(c);
        case CheckWindow::Tkp:
            return runTkpCheck(c);
        case CheckWindow::HomeKey:
            return runHomeKeyCheck(c);
    }
    return {};
}

TEST(WindowRunners, TheControllerWhileTheWindowIsOpenAndAfter) {
    struct Case {
        const char* name;
        CheckWindow window;
        std::uint16_t touchUsage;
        std::uint8_t penDuring;         // pen report type while open
        std::uint8_t driverModeDuring;  // [3, 4] sent through the driver
    };
    const Case cases[] = {
        {"drawing: maintenance touch and custom pen reports", CheckWindow::Drawing, 0x11, 1, 0},
        {"TKP: the same, the pen settled", CheckWindow::Tkp, 0x11, 1, 0},
        {"home key on a plain collection: no driver report", CheckWindow::HomeKey, 0x11, 0, 0},
        {"home key in driver mode: entered through the driver", CheckWindow::HomeKey, 0x0B, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ControllerConfig config = test::quietController();
        config.touchUsage = c.touchUsage;
        Rig rig(config);
        rig.loadExample("PID0A52.ini");
        ASSERT_TRUE(connectTouchAndShow(rig.s()));
        ASSERT_TRUE(connectPenAndKeep(rig.s()));
        rig.s().check.results.tkpMaxHistory.push_back({1, 2});
        Seen during;
        rig.ui.checkWindow = [&](const CheckWindowRequest&, CheckContext&) {
            during.touchReportType = rig.device->reportType();
            during.penReportType = rig.device->penReportType();
            during.driverHomeKeyMode = rig.device->driverHomeKeyMode();
            during.registers = rig.device->registers();
        };
        CheckContext context = rig.s().checkContext();
        const RunnerOutcome outcome = runnerFor(c.window, context);
        EXPECT_TRUE(outcome.ran);
        ASSERT_EQ(rig.ui.windows.size(), 1u);
        EXPECT_EQ(rig.ui.windows[0].which, c.window);
        EXPECT_EQ(during.touchReportType, 1);
        EXPECT_EQ(during.penReportType, c.penDuring);
        EXPECT_EQ(during.driverHomeKeyMode, c.driverModeDuring);
        EXPECT_EQ(during.registers, rig.s().connect.normalScanRegisters) << "the normal scan while open";
        EXPECT_EQ(rig.device->registers(), rig.s().connect.testRegisters) << "the test registers after";
        EXPECT_EQ(rig.device->reportType(), 0);
        EXPECT_EQ(rig.device->penReportType(), 0);
        EXPECT_EQ(rig.device->driverHomeKeyMode(), 0);
        EXPECT_EQ(rig.ui.messages, std::vector<std::string>{});
        EXPECT_EQ(rig.ui.windows[0].customPenReport, c.window == CheckWindow::Drawing);
        if (c.window == CheckWindow::Tkp) {
            EXPECT_TRUE(rig.s().check.results.tkpMaxHistory.empty());
        }
    }
}

TEST(WindowRunners, PenRangesFromTheQueryOrTheRecipe) {
    for (const bool fromRecipe : {false, true}) {
        SCOPED_TRACE(fromRecipe ? "PEN_QUERY_USE_INI" : "the pen query");
        Rig rig;
        rig.loadExample("PID0A52.ini");
        rig.s().recipe.PEN_QUERY_USE_INI = fromRecipe ? 1 : 0;
        rig.s().recipe.PEN_QUERY_WIDTH = 21600;
        rig.s().recipe.PEN_QUERY_HEIGHT = 13500;
        ASSERT_TRUE(connectTouchAndShow(rig.s()));
        ASSERT_TRUE(connectPenAndKeep(rig.s()));
        CheckContext context = rig.s().checkContext();
        ASSERT_TRUE(runDrawingCheck(context).ran);
        ASSERT_EQ(rig.ui.windows.size(), 1u);
        EXPECT_EQ(rig.ui.windows[0].penMaxX, fromRecipe ? 21600u : rig.device->config().penMaxX);
        EXPECT_EQ(rig.ui.windows[0].penMaxY, fromRecipe ? 13500u : rig.device->config().penMaxY);
    }
}

TEST(WindowRunners, WhatStopsARunnerAndWhatIsOnlySaid) {
    struct Case {
        const char* name;
        CheckWindow window;
        bool connected;                    // both collections opened before the runner
        std::vector<std::uint8_t> refuse;  // a set the controller refuses (prefix)
        bool ran;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"drawing without an open controller",
         CheckWindow::Drawing,
         false,
         {},
         false,
         {"Device is not open.(drawing check)"}},
        {"home key without an open controller",
         CheckWindow::HomeKey,
         false,
         {},
         false,
         {"Device is not open.(home key check)"}},
        {"TKP without a pen", CheckWindow::Tkp, false, {}, false, {"Pen Device is not open."}},
        {"calibration refused", CheckWindow::Drawing, true, {9, 0, 0}, false, {"Failed to execute calibration."}},
        {"custom pen report refused: said, the window still opens",
         CheckWindow::Drawing,
         true,
         {11, 1},
         true,
         {"Failed to set report-type custom pen."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        if (c.connected) {
            ASSERT_TRUE(connectTouchAndShow(rig.s()));
            ASSERT_TRUE(connectPenAndKeep(rig.s()));
        }
        if (!c.refuse.empty()) rig.device->refuseExchange({true, c.refuse, 0});
        rig.ui.messages.clear();
        CheckContext context = rig.s().checkContext();
        EXPECT_EQ(runnerFor(c.window, context).ran, c.ran);
        EXPECT_EQ(rig.ui.windows.size(), c.ran ? 1u : 0u);
        EXPECT_EQ(rig.ui.messages, c.messages);
        if (c.ran && c.window == CheckWindow::Drawing) {
            EXPECT_EQ(rig.ui.windows[0].customPenReport, c.refuse.empty()) << "the pen is read only when it reports";
        }
    }
}

// Restoring after the window fails: said, and the check's result stands.
TEST(WindowRunners, AFailedRestoreIsOnlySaid) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ASSERT_TRUE(connectTouchAndShow(rig.s()));
    ASSERT_TRUE(connectPenAndKeep(rig.s()));
    rig.ui.messages.clear();
    rig.ui.checkWindow = [&](const CheckWindowRequest&, CheckContext& check) {
        check.record.detail.drawResult = 3;
        rig.device->refuseExchange({true, {9}, 0});  // every maintenance set from now on
        rig.device->refuseExchange({true, {11}, 0});
    };
    CheckContext context = rig.s().checkContext();
    EXPECT_TRUE(runDrawingCheck(context).ran);
    EXPECT_EQ(rig.s().check.detail.drawResult, 3);
    EXPECT_EQ(rig.ui.messages,
              (std::vector<std::string>{"Failed to set register for test.", "Failed to set report-type normal pen."}));
}

}  // namespace
}  // namespace station
