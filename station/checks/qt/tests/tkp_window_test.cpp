// The TKP window on the offscreen platform, its check on a virtual clock, a fake pen and fake
// readers: how it is shown and painted, its keys, its debug buttons and the scan setting dialog.
#include "station/checks/qt/tkp_window.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "station/checks/logic/tests/tkp_rig.h"
#include "station/checks/logic/tkp_scene.h"

namespace station::checks {
namespace {

struct WindowRig {
    platform::VirtualClock clock{platform::TimeOfDay{2026, 1, 1, 9, 0, 0, 0}};
    FakeReaders readers;
    FakeTkpDevice device;
    TkpScanValues scan{5, 12, 6, 13, 2, 0};
    std::int32_t flags = -1;
    CheckResults results;
    TkpInputs in;
    TkpWindow window;

    TkpWindow& start() {
        in.noiseCount = 10;
        in.scan = &scan;
        in.tkpFlags = &flags;
        in.results = &results;
        window.start(in, device, readers, clock);
        QCoreApplication::processEvents();
        return window;
    }
    const TkpCheck& check() const { return *window.check(); }
    void ticks(int n) {
        for (int i = 0; i < n && !check().closed(); ++i) {
            clock.advance(100);
            window.tick();
        }
        QCoreApplication::processEvents();
    }
    void scans(int n) {
        for (int i = 0; i < n && !check().closed(); ++i) {
            window.report(ReaderCollection::Pen, lineReport(false, kRigLinesX, {40, 40, 40, 40}));
            window.report(ReaderCollection::Pen, lineReport(true, kRigLinesY, {40, 40, 40}));
            clock.advance(10);
        }
        QCoreApplication::processEvents();
    }
};

QRgb pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

TEST(TkpWindow, IsAFramelessFullScreenWindowOnTopShowingTheCheck) {
    WindowRig rig;
    TkpWindow& w = rig.start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.isModal());
    const QImage& frame = w.lastFrame();
    ASSERT_FALSE(frame.isNull());
    EXPECT_EQ(pixel(frame, 2, frame.height() - 3), QRgb(0xDCDCDC)) << "the grey ground";
    // The title's row holds ink; the ground above it none.
    bool ink = false;
    for (int x = 0; x < frame.width(); ++x) ink = ink || pixel(frame, x, frame.height() / 4) != 0xDCDCDC;
    EXPECT_TRUE(ink);

    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_FALSE(rig.check().closed()) << "Enter closes no check window";
    rig.ticks(12);
    ASSERT_EQ(rig.check().phase(), TkpNoise);
    rig.scans(20);
    rig.ticks(1);
    ASSERT_EQ(rig.check().phase(), TkpSignal);
    QTest::keyClick(&w, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(rig.check().closed());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(rig.flags, 0);
}

TEST(TkpWindow, DebugButtonsStartTheMeasurementAndOpenTheScanSettingDialog) {
    WindowRig rig;
    rig.in.debug = true;
    TkpWindow& w = rig.start();
    ASSERT_FALSE(rig.check().started());
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(kTkpStartButton.x + 5, kTkpStartButton.y + 5));
    EXPECT_TRUE(rig.check().started());

    // The dialog the set(g) button opens: the noise gains, edited and confirmed.
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = w.findChild<TkpScanDialog*>();
        ASSERT_NE(dialog, nullptr);
        shown = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("TKP Scan Setting"));
        EXPECT_EQ(dialog->gainX()->text(), QStringLiteral("5"));
        EXPECT_EQ(dialog->gainY()->text(), QStringLiteral("6"));
        EXPECT_EQ(dialog->enable()->text(), QStringLiteral("2"));
        dialog->gainX()->setText(QStringLiteral("9"));
        dialog->blank()->setText(QStringLiteral("x"));
        dialog->findChild<QPushButton*>(QStringLiteral("ok"))->click();
    });
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(kTkpSetButton.x + 5, kTkpSetButton.y + 5));
    rig.ticks(1);
    EXPECT_TRUE(shown);
    EXPECT_EQ(rig.scan, (TkpScanValues{9, 12, 6, 13, 2, 0}));

    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_EQ(rig.flags, 0) << "nothing recorded in debug mode";
}

}  // namespace
}  // namespace station::checks
