// The home key check's window as the station window opens it from the check's runner: modal and
// full screen, its result written into the check's record.
#include <gtest/gtest.h>

#include <QTest>

#include "station/checks/qt/home_key_window.h"
#include "station/sequence/window_runners.h"
#include "station/window/qt/tests/window_rig.h"

namespace station::test {
namespace {

TEST(StationWindowHomeKey, TheHomeKeyWindowRunsModallyFromTheRunnerAndEscRecordsItsPhase) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.tick();
    ASSERT_EQ(rig.c().panes[1]->text(), "CONNECT");
    EXPECT_TRUE(rig.window.hasCheckWindow(CheckWindow::HomeKey));
    rig.station.check.detail.homeKeyFlags = 0;

    bool fullScreen = false, onTop = false, started = false;
    OnModal<checks::HomeKeyWindow> act([&](checks::HomeKeyWindow& w) {
        fullScreen = w.windowState().testFlag(Qt::WindowFullScreen);
        onTop = w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        started = w.check()->rawTypeSet() && rig.station.touch.inputReaderRunning();
        QTest::keyClick(&w, Qt::Key_Return);
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    CheckContext context = rig.station.checkContext();
    EXPECT_TRUE(runHomeKeyCheck(context).ran);
    ASSERT_TRUE(act.seen);
    EXPECT_TRUE(fullScreen);
    EXPECT_TRUE(onTop);
    EXPECT_TRUE(started) << "the home key reports switched on and the readers running";
    EXPECT_EQ(rig.station.check.detail.homeKeyFlags, checks::kHkNotDone) << "closed while settling";
    EXPECT_FALSE(rig.station.touch.inputReaderRunning()) << "the window's readers stopped";
}

}  // namespace
}  // namespace station::test
