// Ctrl+R and Ctrl+P in the station window: the maintenance viewers open modally on the connected
// controller in maintenance mode with the run-control timer stopped, and the timer runs again
// after; out of maintenance mode or while accelerators are off the keys open nothing.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "station/viewers/qt/pin_viewer_window.h"
#include "station/viewers/qt/raw_viewer_window.h"
#include "station/window/qt/tests/window_rig.h"

namespace station::test {
namespace {

void press(WindowRig& rig, Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr ? focus : &rig.window, key, Qt::ControlModifier);
}

TEST(StationWindowViewers, CtrlROpensTheRawDataViewerWithTheTimerStopped) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.tick();
    ASSERT_EQ(rig.c().panes[1]->text(), "CONNECT");
    ASSERT_TRUE(rig.window.tickTimerRunning());
    bool tickingInside = true;
    QString title;
    OnModal<viewers::RawViewerWindow> close([&](viewers::RawViewerWindow& viewer) {
        tickingInside = rig.window.tickTimerRunning();
        title = viewer.windowTitle();
        viewer.reject();
    });
    press(rig, Qt::Key_R);
    ASSERT_TRUE(close.seen);
    EXPECT_EQ(title, "Raw Data Viewer");
    EXPECT_FALSE(tickingInside);
    EXPECT_TRUE(rig.window.tickTimerRunning());
    EXPECT_EQ(rig.station.touch.readout().autoCalibration, 0u) << "calibration turned off first";
}

TEST(StationWindowViewers, CtrlPOpensThePinCheckViewerThatChecksTheController) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.tick();
    QString status;
    OnModal<viewers::PinViewerWindow> check([&](viewers::PinViewerWindow& viewer) {
        viewer.controls().check->click();
        status = viewer.controls().status->currentMessage();
        viewer.reject();
    });
    press(rig, Qt::Key_P);
    ASSERT_TRUE(check.seen);
    EXPECT_EQ(status, "Success to Get Pin check status.");
    EXPECT_TRUE(rig.window.tickTimerRunning());
}

TEST(StationWindowViewers, KeysOpenNothingOutOfMaintenanceModeOrWithAcceleratorsOff) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.tick();
    OnModal<QDialog> anyDialog([](QDialog& d) { d.reject(); });
    rig.station.flags.accelEnabled = false;
    press(rig, Qt::Key_R);
    press(rig, Qt::Key_P);
    rig.station.flags.accelEnabled = true;
    ASSERT_TRUE(rig.station.touch.setDeviceMode(0));
    press(rig, Qt::Key_R);
    press(rig, Qt::Key_P);
    EXPECT_FALSE(anyDialog.seen);
    EXPECT_TRUE(rig.window.tickTimerRunning()) << "the timer keeps running";
}

}  // namespace
}  // namespace station::test
