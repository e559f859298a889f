// The drawing window on the offscreen platform, its check on a virtual clock and fake readers:
// how it is shown, its keys, its tick, its reports and its snapshots.
#include "station/checks/qt/drawing_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include "station/checks/logic/tests/drawing_rig.h"

namespace station::checks {
namespace {

struct WindowRig {
    platform::VirtualClock clock{platform::TimeOfDay{2026, 1, 1, 9, 0, 0, 0}};
    FakeReaders readers;
    DrawingCarryOver carry;
    DrawingInputs in = rigInputs();
    std::int32_t drawResult = 0;
    DrawingWindow window;
    std::vector<std::string> status;
    std::uint16_t scan = 0;

    DrawingWindow& start() {
        in.drawResult = &drawResult;
        window.setStatusSink([this](std::string_view t) { status.emplace_back(t); });
        window.start(in, carry, readers, clock);
        QCoreApplication::processEvents();
        return window;
    }
    const DrawingCheck& check() const { return *window.check(); }
    // Virtual time passes in 100 ms ticks.
    void ticks(int n) {
        for (int i = 0; i < n && !check().closed(); ++i) {
            clock.advance(100);
            window.tick();
        }
        QCoreApplication::processEvents();
    }
    void finger(int x, int y, std::uint8_t contactStatus = 7) {
        ++scan;
        for (const auto& r :
             touchReports({{1, static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), contactStatus}},
                          in.contactFormat, scan))
            window.report(ReaderCollection::Touch, r);
        clock.advance(10);
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&window, static_cast<Qt::Key>(k), m);
        QCoreApplication::processEvents();
    }
};

TEST(DrawingWindow, IsAFramelessFullScreenWindowOnTopShowingThePaintersFrame) {
    WindowRig rig;
    DrawingWindow& w = rig.start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isModal());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowState().testFlag(Qt::WindowFullScreen));
    EXPECT_TRUE(w.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(rig.readers.started, std::vector<ReaderCollection>({ReaderCollection::Touch, ReaderCollection::Pen}));
    // The window shows exactly what the painter composes.
    w.repaint();
    DrawingPainter painter;
    QImage expected;
    painter.compose(rig.check(), expected);
    EXPECT_EQ(w.lastFrame(), expected);
    const Surface s = w.surface();
    EXPECT_GT(s.width, 0);
    EXPECT_GT(s.height, 0);
}

TEST(DrawingWindow, KeysReachTheCheckEnterKeepsItOpenEscClosesIt) {
    WindowRig rig;
    DrawingWindow& w = rig.start();
    rig.key(Qt::Key_Return);
    EXPECT_EQ(rig.check().step(), T_MT) << "Enter at the start screen starts the first step";
    EXPECT_FALSE(rig.check().closed());
    EXPECT_TRUE(w.isVisible());
    rig.key(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(rig.check().widthOffset(), 0.0) << "the main keyboard's plus is not the pad's";
    rig.key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(rig.check().widthOffset(), 0.5);
    rig.key(Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(rig.check().widthOffset(), 0.0);
    rig.key(Qt::Key_D);
    EXPECT_EQ(rig.check().contactMode(), 1);
    rig.key(Qt::Key_Escape);
    EXPECT_TRUE(rig.check().closed());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(rig.readers.stopped.size(), 2u) << "both readers stopped on the way out";
    EXPECT_EQ(rig.drawResult, 1) << "INIT skipped with Enter is recorded";
}

TEST(DrawingWindow, TheTickAndTheReportsDriveTheCheckUntilItClosesItself) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    WindowRig rig;
    rig.in.skipInit = true;
    rig.in.disableMask = skipTo(T_SQ);
    rig.in.ngWaitMs = 1000;
    DrawingWindow& w = rig.start();
    rig.ticks(30);
    ASSERT_EQ(rig.check().step(), T_SQ);
    // A short cut through the middle of the square: NG, and its snapshot in the working folder.
    for (int x = 50; x <= 950; x += 50) rig.finger(x, 30);
    for (int i = 1; i <= 10; ++i) rig.finger(950 - 45 * i, 30 + 27 * i);
    EXPECT_EQ(rig.check().phase(), PhaseJudged);
    QImage snapshot;
    EXPECT_TRUE(snapshot.load(QStringLiteral("_tmp2.png"), "PNG"));
    EXPECT_EQ(snapshot.size(), QSize(1000, 600));
    // Nobody taps: the NG wait runs out and the window closes by itself.
    rig.ticks(30);
    QCoreApplication::processEvents();
    EXPECT_TRUE(rig.check().closed());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(rig.drawResult, 3);
    // A report posted before the readers stopped changes nothing any more.
    rig.finger(500, 300);
    EXPECT_EQ(rig.drawResult, 3);
    QDir::setCurrent(before);
}

TEST(DrawingWindow, InDriverModeTheDigitizerLeadsUntilTheControllersFirstTouchReport) {
    WindowRig rig;
    rig.in.driverMode = true;
    DrawingWindow& w = rig.start();
    controllerlink::RawContactRecord record{};
    record.contactCount = 1;
    record.contacts[0] = {7, 1, 1000, 600};  // the panel's centre at the digitizer's ranges
    w.rawInput(record, controllerlink::RawTouchRanges{2001, 1201});
    EXPECT_EQ(rig.check().touchPoint(), (Point{500, 300}));
    rig.finger(200, 200);
    record.contacts[0] = {7, 1, 1800, 1000};
    w.rawInput(record, controllerlink::RawTouchRanges{2001, 1201});
    EXPECT_EQ(rig.check().touchPoint(), (Point{200, 200})) << "the digitizer is no longer read";
}

TEST(DrawingWindow, ATouchReaderThatCannotStartIsSaidAndEndsTheWindow) {
    WindowRig rig;
    rig.readers.refuse[0] = true;
    rig.start();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.status, std::vector<std::string>{"Failed to start thread."});
    EXPECT_TRUE(rig.check().closed());
    EXPECT_FALSE(rig.window.isVisible());
}

}  // namespace
}  // namespace station::checks
