// The TKP pen check's window as the station window opens it from the check's runner: modal,
// full-screen, on top, its result written into the check's record.
#include <gtest/gtest.h>

#include <QTest>

#include "station/checks/qt/tkp_window.h"
#include "station/sequence/connect.h"
#include "station/sequence/window_runners.h"
#include "station/window/qt/tests/window_rig.h"

namespace station::test {
namespace {

TEST(StationWindowTkp, TheTkpWindowRunsModallyFromTheRunnerAndEscRecordsAnIncompleteNoisePhase) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.tick();
    ASSERT_EQ(rig.c().panes[1]->text(), "CONNECT");
    ASSERT_TRUE(connectPenAndKeep(rig.station));
    EXPECT_TRUE(rig.window.hasCheckWindow(CheckWindow::Tkp));
    bool fullScreen = false, onTop = false;
    int phase = -1;
    OnModal<checks::TkpWindow> act([&](checks::TkpWindow& w) {
        fullScreen = w.windowState().testFlag(Qt::WindowFullScreen);
        onTop = w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        phase = w.check()->phase();
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    CheckContext context = rig.station.checkContext();
    EXPECT_TRUE(runTkpCheck(context).ran);
    ASSERT_TRUE(act.seen);
    EXPECT_TRUE(fullScreen);
    EXPECT_TRUE(onTop);
    EXPECT_EQ(phase, checks::TkpPenRemoval);
    EXPECT_EQ(rig.station.check.detail.tkpFlags, checks::kTkpIncomplete);
    EXPECT_FALSE(rig.station.pen.inputReaderRunning()) << "the window's readers stopped";
}

}  // namespace
}  // namespace station::test
