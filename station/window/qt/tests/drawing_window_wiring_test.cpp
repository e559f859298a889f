// The drawing check's window as the station window opens it: from a check's runner, its result
// written into the check's record, and from Ctrl+D on its own, its result written nowhere.
#include <gtest/gtest.h>

#include <QTest>

#include "controllerlink/raw_input.h"
#include "sim/operator_script.h"
#include "station/checks/qt/drawing_window.h"
#include "station/sequence/window_runners.h"
#include "station/window/qt/tests/window_rig.h"

namespace station::test {
namespace {

TEST(StationWindowDrawing, TheDrawingWindowRunsModallyFromTheRunnerAndFromCtrlD) {
    struct Case {
        const char* name;
        bool fromMenu;
        std::int32_t recorded;
    };
    // Enter skips INIT and Esc closes: a runner's check records step 1 (E651), Ctrl+D nothing.
    const Case cases[] = {{"runner", false, 1}, {"Ctrl+D", true, -7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startWith("PID0A52.ini");
        rig.tick();
        ASSERT_EQ(rig.c().panes[1]->text(), "CONNECT");
        EXPECT_TRUE(rig.window.hasCheckWindow(CheckWindow::Drawing));
        rig.station.check.detail.drawResult = -7;

        bool fullScreen = false, onTop = false, known = false;
        int step = -1;
        OnModal<checks::DrawingWindow> act([&](checks::DrawingWindow& w) {
            fullScreen = w.windowState().testFlag(Qt::WindowFullScreen);
            onTop = w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            known = rig.window.drawingWindow() == &w;
            QTest::keyClick(&w, Qt::Key_Return);
            step = w.check()->step();
            QTest::keyClick(&w, Qt::Key_Escape);
        });
        if (c.fromMenu) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus != nullptr ? focus : &rig.window, Qt::Key_D, Qt::ControlModifier);
        } else {
            CheckContext context = rig.station.checkContext();
            EXPECT_TRUE(runDrawingCheck(context).ran);
        }
        ASSERT_TRUE(act.seen);
        EXPECT_TRUE(fullScreen);
        EXPECT_TRUE(onTop);
        EXPECT_TRUE(known);
        EXPECT_EQ(step, 1);
        EXPECT_EQ(rig.station.check.detail.drawResult, c.recorded);
        EXPECT_EQ(rig.window.drawingWindow(), nullptr);
        EXPECT_FALSE(rig.station.touch.inputReaderRunning()) << "the window's readers stopped";
        if (c.fromMenu) {
            EXPECT_TRUE(rig.window.tickTimerRunning()) << "the station's tick goes on";
        }
    }
}

// A driver-mode controller that keeps its maintenance touch reports back all the while, and an
// operator's finger on the start box: only the system's digitizer collection can start the check.
sim::ControllerConfig driverModeWithAFingerOnTheStartBox() {
    sim::ControllerConfig c = quietController();
    c.touchUsage = 0x0B;
    c.reportTypeDelayMs = 600000;
    std::string why;
    EXPECT_TRUE(sim::parseOperatorLine("when maintenance-report: finger 0.5,0.8 for 600s", 1, c.operatorScript, why))
        << why;
    return c;
}

TEST(StationWindowDrawing, InDriverModeTheWindowTakesItsFirstTouchesFromTheDigitizer) {
    WindowRig rig(driverModeWithAFingerOnTheStartBox());
    rig.startWith("PID0A52.ini");
    rig.tick();
    ASSERT_EQ(rig.c().panes[1]->text(), "CONNECT");
    ASSERT_NE(rig.station.connect.driverMode, 0);
    bool digitizerOpen = false;
    int step = -1;
    OnModal<checks::DrawingWindow> act([&](checks::DrawingWindow& w) {
        // The bus scans as the virtual clock moves; the readers' posts arrive in this loop.
        for (int ms = 0; ms < 3000 && w.check()->step() == checks::INIT; ms += 10) {
            rig.clock.advance(10);
            QTest::qWait(2);
        }
        step = w.check()->step();
        digitizerOpen = rig.table.contains(controllerlink::RAW_INPUT_KEY);
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    CheckContext context = rig.station.checkContext();
    EXPECT_TRUE(runDrawingCheck(context).ran);
    ASSERT_TRUE(act.seen);
    EXPECT_TRUE(digitizerOpen);
    EXPECT_EQ(step, checks::T_MT) << "the start box was touched";
    EXPECT_EQ(rig.station.check.detail.drawResult, 2) << "INIT passed, the ten fingers not";
    EXPECT_FALSE(rig.table.contains(controllerlink::RAW_INPUT_KEY)) << "the digitizer is closed with the window";
}

TEST(StationWindowDrawing, ClosingTheStationEndsTheDrawingWindowAsEscAndNeverAsAPass) {
    for (const bool openFirst : {true, false}) {
        SCOPED_TRACE(openFirst ? "closed while the window is open" : "closing before the window opens");
        WindowRig rig;
        rig.startWith("PID0A52.ini");
        rig.tick();
        rig.station.check.detail.drawResult = 0;
        OnModal<checks::DrawingWindow> act([&](checks::DrawingWindow&) { rig.window.close(); });
        CheckContext context = rig.station.checkContext();
        bool ran = false;
        // As a running check does it: inside a station step (where a close waits for the step).
        rig.window.setWriterOpener([&](Station&) {
            if (!openFirst) rig.window.requestClose();
            ran = runDrawingCheck(context).ran;
        });
        rig.c().openWriter->trigger();
        EXPECT_TRUE(ran);
        EXPECT_EQ(rig.station.check.detail.drawResult, 1) << "INIT not passed";
        EXPECT_EQ(rig.window.drawingWindow(), nullptr);
        QCoreApplication::processEvents();
        EXPECT_TRUE(rig.control.shutDown());
    }
}

}  // namespace
}  // namespace station::test
