// The home key window on the offscreen platform, its check on a virtual clock and fake readers:
// how it is shown, what its frames show, its keys and its end.
#include "station/checks/qt/home_key_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include "station/checks/logic/tests/fake_readers.h"
#include "station/checks/logic/tests/home_key_reports.h"

namespace station::checks {
namespace {

struct HomeKeyWindowRig {
    platform::VirtualClock clock{platform::TimeOfDay{2026, 1, 1, 9, 0, 0, 0}};
    FakeReaders readers;
    HomeKeyInputs in;
    std::vector<std::uint8_t> reportTypes;
    std::int32_t flags = 0;
    HomeKeyWindow window;

    HomeKeyWindowRig() {
        in.surface = {0, 0, 800, 600};
        in.pins = 2;
        in.touch.applies = true;
        in.touch.values.fill(300);
        in.setReportType = [this](std::uint8_t t) {
            reportTypes.push_back(t);
            return true;
        };
        in.homeKeyFlags = &flags;
    }
    HomeKeyWindow& start() {
        window.start(in, readers, clock);
        QCoreApplication::processEvents();
        return window;
    }
    const HomeKeyCheck& check() const { return *window.check(); }
    // One report of every pin's value (bases 1000), then 10 ms with the window's tick.
    void report(std::int32_t value) {
        window.report(ReaderCollection::Touch, hkReport({1000, 1000}, {value, value}));
        clock.advance(10);
        window.tick();
        QCoreApplication::processEvents();
    }
    void key(Qt::Key k) {
        QTest::keyClick(&window, k);
        QCoreApplication::processEvents();
    }
    // Whether the frame holds a pixel of `argb` around a point.
    bool shows(std::uint32_t argb, int x, int y, int half = 60) const {
        const QImage& f = window.lastFrame();
        for (int j = std::max(0, y - half); j < std::min(f.height(), y + half); ++j)
            for (int i = std::max(0, x - half * 2); i < std::min(f.width(), x + half * 2); ++i)
                if (f.pixel(i, j) == argb) return true;
        return false;
    }
};

TEST(HomeKeyWindow, AFullScreenWindowThatShowsEachPinUntilTheCheckEndsItself) {
    HomeKeyWindowRig rig;
    HomeKeyWindow& w = rig.start();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isModal());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowState().testFlag(Qt::WindowFullScreen));
    EXPECT_EQ(rig.reportTypes, std::vector<std::uint8_t>{2});
    w.repaint();
    QImage expected;
    HomeKeyPainter().compose(rig.check(), expected);
    EXPECT_EQ(w.lastFrame(), expected) << "the window shows exactly what the painter composes";
    EXPECT_EQ(w.lastFrame().pixel(2, 2), kBackgroundGrey);
    EXPECT_TRUE(rig.shows(kHkSettleBlue, 400, 200)) << "the first phase's text";

    // No removal list: the touch phase follows the settling reports.
    for (int i = 0; i < 101; ++i) rig.report(100);
    ASSERT_EQ(rig.check().phase(), HkTouch);
    w.repaint();
    EXPECT_TRUE(rig.shows(kHkTouchOrange, 400, 200)) << "the touch phase's text";
    const int pinY = 400 + 90;
    EXPECT_TRUE(rig.shows(kHkUntouchGrey, 800 / 3, pinY)) << "pin 0 untouched";
    EXPECT_FALSE(rig.shows(kHkDoneGreen, 800 / 3, pinY));
    for (int i = 0; i < 40 && rig.check().phase() == HkTouch; ++i) rig.report(500);
    EXPECT_EQ(rig.reportTypes, (std::vector<std::uint8_t>{2, 1}));
    for (int i = 0; i < 20 && w.isVisible(); ++i) rig.report(500);
    EXPECT_FALSE(w.isVisible()) << "closed itself after the check was done";
    EXPECT_EQ(rig.flags, 0);
}

TEST(HomeKeyWindow, EnterLeavesItOpenEscEndsTheCheckInItsPhase) {
    HomeKeyWindowRig rig;
    HomeKeyWindow& w = rig.start();
    for (int i = 0; i < 101; ++i) rig.report(100);
    rig.key(Qt::Key_Return);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(rig.check().closed());
    rig.key(Qt::Key_Escape);
    EXPECT_TRUE(rig.check().closed());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(rig.flags, kHkNotDone | kHkTouchNg);
}

}  // namespace
}  // namespace station::checks
