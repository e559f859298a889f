#include "station/checks/logic/home_key_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "station/checks/logic/home_key_scene.h"
#include "station/checks/logic/tests/fake_readers.h"
#include "station/checks/logic/tests/home_key_reports.h"

namespace station::checks {
namespace {

constexpr int kPins = 2;
constexpr std::int32_t kBase = 1000;
constexpr std::int32_t kIdle = 100;   // value of an untouched pin: level 1100
constexpr std::int32_t kTouch = 500;  // value of a touched pin: level 1500

HomeKeyLimits limit(std::int32_t value) {
    HomeKeyLimits l;
    l.applies = true;
    l.values.fill(value);
    return l;
}

// A two-pin home key window on a virtual clock; reports come every 10 ms with the window's
// ticks between them.
struct HkRig {
    platform::VirtualClock clock;
    FakeReaders readers;
    RecordingHost host;
    HomeKeyInputs in;
    std::vector<std::uint8_t> reportTypes;
    bool refuseRawType = false;
    std::int32_t flags = 0;
    CheckResults results;
    std::unique_ptr<HomeKeyCheck> w;

    HkRig() {
        in.surface = {0, 0, 1000, 600};
        in.pins = kPins;
        in.removeHigh = limit(1200);
        in.removeLow = limit(1000);
        in.touch = limit(300);
    }

    HomeKeyCheck& open() {
        in.setReportType = [this](std::uint8_t type) {
            reportTypes.push_back(type);
            return !(refuseRawType && type == 2);
        };
        in.homeKeyFlags = &flags;
        in.results = &results;
        w = std::make_unique<HomeKeyCheck>(in, readers, host, clock);
        w->open();
        return *w;
    }
    void pump() { runDueTick(*w); }
    void wait(int ms) {
        for (int t = 0; t < ms; t += 10) {
            clock.advance(10);
            pump();
        }
    }
    void raw(const std::vector<std::uint8_t>& r) {
        if (w->closed()) return;
        w->onReport(ReaderCollection::Touch, r);
        w->painted();
        wait(10);
    }
    // One report, every pin's value given.
    void values(const std::vector<std::int32_t>& v) { raw(hkReport(std::vector<std::int32_t>(v.size(), kBase), v)); }
    void all(std::int32_t value) { values(std::vector<std::int32_t>(kPins, value)); }
    // Reports of `value` on every pin while `more` holds (at most `limit`).
    void allWhile(std::int32_t value, const std::function<bool()>& more, int limit = 2000) {
        for (int i = 0; i < limit && more() && !w->closed(); ++i) all(value);
    }
    void settle() {
        allWhile(kIdle, [&] { return w->phase() == HkSettling; });
    }
    void untouched() {
        allWhile(kIdle, [&] { return w->phase() == HkUntouched; });
    }
    void key(CheckKey k) {
        w->onKey(k);
        if (!w->closed()) w->painted();
    }
};

TEST(HomeKeyCheck, AKeyLeftAloneThenHeldPassesWithItsMeasurements) {
    HkRig rig;
    rig.open();
    EXPECT_EQ(rig.reportTypes, std::vector<std::uint8_t>{2});
    EXPECT_EQ(rig.readers.started, (std::vector<ReaderCollection>{ReaderCollection::Touch, ReaderCollection::Pen}));
    for (int i = 0; i < 99; ++i) rig.all(kIdle);
    EXPECT_EQ(rig.w->phase(), HkSettling);
    rig.all(kIdle);
    EXPECT_EQ(rig.w->phase(), HkUntouched) << "after the 100th report";
    // The untouched phase: two odd levels first, then steady.
    rig.values({kIdle - 10, kIdle + 10});
    rig.values({kIdle + 10, kIdle - 10});
    EXPECT_EQ(rig.w->remainingMs(), 990);
    rig.untouched();
    EXPECT_EQ(rig.w->phase(), HkTouch);
    rig.allWhile(kTouch, [&] { return rig.w->phase() == HkTouch; });
    EXPECT_EQ(rig.w->phase(), HkDone);
    EXPECT_EQ(rig.reportTypes, (std::vector<std::uint8_t>{2, 1})) << "maintenance restored once";
    // Done; the next pass without a new report (a tick) finishes.
    rig.wait(200);
    ASSERT_TRUE(rig.w->closed());
    EXPECT_EQ(rig.flags, 0);
    EXPECT_EQ(rig.readers.stopped, rig.readers.started);

    const CheckResults& r = rig.results;
    for (int pin = 0; pin < kPins; ++pin) {
        SCOPED_TRACE(pin);
        EXPECT_EQ(r.hkUntouchedMax[pin], 1110);
        EXPECT_EQ(r.hkUntouchedMin[pin], 1090);
        EXPECT_EQ(r.hkUntouchedAverage[pin], 1100) << "the mean of every untouched level";
        EXPECT_EQ(r.hkBaseMax[pin], kBase);
        EXPECT_EQ(r.hkBaseMin[pin], kBase);
        // The moving average climbs 25 a report from 1100; the pin counts from a rise of 300 (the
        // 12th touched report) and is good at the 27th.
        EXPECT_EQ(r.hkTouchedMin[pin], 1125);
        EXPECT_EQ(r.hkTouchedMax[pin], 1500);
        EXPECT_EQ(r.hkTouchedLevel[pin], 1500) << "the mean of the touched levels";
        EXPECT_EQ(r.hkTouchedBaseMax[pin], kBase);
        EXPECT_EQ(r.hkGoodCount[pin], 0) << "cleared at the end";
    }
    EXPECT_EQ(r.hkUntouchedMax[kPins], HomeKeyCheck::kMaxStart) << "pins beyond the key keep their start";
    EXPECT_EQ(r.hkTouchedMin[kPins], HomeKeyCheck::kMinStart);
}

TEST(HomeKeyCheck, JudgementsOfTheLimitsAndTheirLists) {
    struct Case {
        const char* name;
        std::function<void(HomeKeyInputs&)> recipe;
        std::int32_t idle, touch;
        bool untouchedPhase;
        std::int32_t flags;
    };
    const std::vector<Case> cases = {
        {"untouched level above its upper limit: marked, the check goes on",
         [](auto& in) { in.removeHigh = limit(1050); }, kIdle, kTouch, true, kHkUntouchedNg},
        {"untouched level below its lower limit", [](auto& in) { in.removeLow = limit(1150); }, kIdle, kTouch, true,
         kHkUntouchedNg},
        {"only the upper list: the untouched phase runs", [](auto& in) { in.removeLow = {}; }, kIdle, kTouch, true, 0},
        {"no removal list: no untouched phase, the rise counts from each report's base",
         [](auto& in) { in.removeHigh = in.removeLow = {}, in.touch = limit(450); }, kIdle, kTouch, false, 0},
        {"no removal list, a rise over the base too small",
         [](auto& in) { in.removeHigh = in.removeLow = {}, in.touch = limit(550); }, kIdle, kTouch, false,
         kHkTouchNg | kHkNotDone},
        {"no touch list: done as soon as the touch phase begins", [](auto& in) { in.touch = {}; }, kIdle, kIdle, true,
         0},
        {"a touch too weak runs out of time", [](auto& in) { (void)in; }, kIdle, kIdle + 250, true,
         kHkTouchNg | kHkNotDone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HkRig rig;
        c.recipe(rig.in);
        rig.open();
        rig.allWhile(c.idle, [&] { return rig.w->phase() == HkSettling; });
        EXPECT_EQ(rig.w->phase(), c.untouchedPhase ? HkUntouched : HkTouch);
        rig.allWhile(c.idle, [&] { return rig.w->phase() == HkUntouched; });
        rig.allWhile(
            c.touch, [&] { return true; }, 700);
        EXPECT_TRUE(rig.w->closed());
        EXPECT_EQ(rig.flags, c.flags);
        EXPECT_EQ(rig.reportTypes, (std::vector<std::uint8_t>{2, 1}));
    }
}

TEST(HomeKeyCheck, TimeRunsOutOnlyAsReportsComeAndLeavesTheTouchedMeans) {
    HkRig rig;
    rig.open();
    rig.settle();
    rig.all(kIdle);
    // No report for longer than the untouched phase: the ticks alone change nothing.
    rig.wait(3000);
    EXPECT_EQ(rig.w->phase(), HkUntouched);
    EXPECT_EQ(rig.w->remainingMs(), 1000);
    rig.all(kIdle);
    EXPECT_EQ(rig.w->phase(), HkTouch) << "the next report finds the time over";

    // Pin 0 held, pin 1 barely: pin 0 becomes good and stops counting, pin 1 never.
    for (int i = 0; i < 30; ++i) rig.values({kTouch, kIdle + 100});
    EXPECT_EQ(rig.w->results().hkGoodCount[0], 16);
    EXPECT_EQ(rig.w->results().hkGoodCount[1], 0);
    EXPECT_EQ(homeKeyScene(*rig.w).pins.at(0).text.text, "GOOD");
    EXPECT_EQ(homeKeyScene(*rig.w).pins.at(1).text.text, "untouch");
    rig.wait(6000);
    EXPECT_FALSE(rig.w->closed()) << "no report, no judgement";
    rig.values({kTouch, kIdle + 100});
    ASSERT_TRUE(rig.w->closed());
    EXPECT_EQ(rig.flags, kHkTouchNg | kHkNotDone);
    EXPECT_EQ(rig.reportTypes, (std::vector<std::uint8_t>{2, 1}));
    EXPECT_EQ(rig.results.hkGoodCount[0], 16) << "the counters stay when time runs out";
    EXPECT_EQ(rig.results.hkTouchedLevel[0], 1500);
    EXPECT_EQ(rig.results.hkTouchedLevel[1], 1200) << "every touched level of the pin that never made it";
    rig.all(kTouch);
    EXPECT_EQ(rig.w->phase(), HkTouch) << "closed: later reports are not taken";
}

TEST(HomeKeyCheck, ARiseThatDropsForOneReportStartsItsCountAgain) {
    HkRig rig;
    rig.in.averageWindow = 1;
    rig.in.okCountThreshold = 5;
    rig.open();
    rig.settle();
    rig.untouched();
    for (int i = 0; i < 4; ++i) rig.all(kTouch);
    EXPECT_EQ(rig.w->results().hkGoodCount[0], 4);
    EXPECT_EQ(homeKeyScene(*rig.w).pins.at(0).text.text, "HOLD");
    rig.values({kIdle + 299, kTouch});
    EXPECT_EQ(rig.w->results().hkGoodCount[0], 0);
    EXPECT_EQ(rig.w->results().hkGoodCount[1], 5);
    for (int i = 0; i < 5; ++i) rig.all(kTouch);
    EXPECT_EQ(rig.w->phase(), HkDone);
    EXPECT_EQ(rig.w->results().hkTouchedMin[0], 1399) << "the dip is seen";
}

TEST(HomeKeyCheck, EscInEveryPhaseMarksThatPhase) {
    struct Case {
        const char* name;
        std::function<void(HkRig&)> reach;
        std::int32_t flags;
    };
    const std::vector<Case> cases = {
        {"settling", [](HkRig& r) { r.all(kIdle); }, kHkNotDone},
        {"untouched", [](HkRig& r) { r.settle(); }, kHkNotDone | kHkUntouchedNg},
        {"touch", [](HkRig& r) { r.settle(), r.untouched(); }, kHkNotDone | kHkTouchNg},
        {"done, before the finish",
         [](HkRig& r) {
             r.settle(), r.untouched();
             // Reports only, no tick: the pass after the one that ended sets the done flag.
             const auto touched = hkReport({kBase, kBase}, {kTouch, kTouch});
             for (int i = 0; i < 100 && r.w->phase() == HkTouch; ++i) {
                 r.w->onReport(ReaderCollection::Touch, touched);
                 r.clock.advance(10);
             }
             r.w->onReport(ReaderCollection::Touch, touched);
             EXPECT_TRUE(r.w->doneFlag());
             EXPECT_FALSE(r.w->finishFlag());
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HkRig rig;
        rig.open();
        c.reach(rig);
        ASSERT_FALSE(rig.w->closed());
        rig.key(CheckKey::Enter);
        EXPECT_FALSE(rig.w->closed()) << "Enter does nothing";
        rig.key(CheckKey::Esc);
        EXPECT_TRUE(rig.w->closed());
        EXPECT_EQ(rig.flags, c.flags);
    }
}

TEST(HomeKeyCheck, ARefusedRawReportTypeStartsNothingAndWaitsForEsc) {
    HkRig rig;
    rig.refuseRawType = true;
    rig.open();
    EXPECT_EQ(rig.host.status, std::vector<std::string>{"Failed to set Homekey raw report."});
    EXPECT_TRUE(rig.readers.started.empty());
    EXPECT_FALSE(rig.w->timerDueAt().has_value());
    rig.wait(10000);
    EXPECT_FALSE(rig.w->closed());
    rig.key(CheckKey::Esc);
    EXPECT_EQ(rig.flags, kHkRawTypeRefused | kHkNotDone);
    EXPECT_EQ(rig.reportTypes, std::vector<std::uint8_t>{2}) << "nothing else is sent";
    EXPECT_EQ(rig.results.hkUntouchedMax[0], HomeKeyCheck::kMaxStart);
}

TEST(HomeKeyCheck, OnlyWholeHomeKeyReportsOfTheTouchCollectionCount) {
    HkRig rig;
    rig.in.driverMode = true;
    rig.open();
    const auto whole = hkReport({kBase, kBase}, {kIdle, kIdle});
    rig.raw(std::vector<std::uint8_t>(whole.begin(), whole.end() - 1));
    rig.raw({3});
    rig.w->onReport(ReaderCollection::Pen, whole);
    rig.raw(std::vector<std::uint8_t>{11, 0x21, 0, 0, 0, 0, 0, 0});
    rig.w->onRawInput(controllerlink::RawContactRecord{}, controllerlink::RawTouchRanges{});
    EXPECT_EQ(rig.w->results().hkGoodCount[0], 0) << "nothing counted";
    // A longer report (a padded transfer) is read as far as the pins go.
    auto padded = whole;
    padded.resize(64, 0xEE);
    rig.raw(padded);
    EXPECT_EQ(rig.w->results().hkGoodCount[0], 1);
    EXPECT_EQ(rig.w->level(1), kBase + kIdle);
}

TEST(HomeKeyCheck, TheMovingAverageHoldsItsWindowAndAtMostSixteen) {
    struct Case {
        std::int32_t window;
        std::int32_t afterRamp;  // the average after levels 1001..1040 (values 1..40)
    };
    // The last 4 of 1001..1040: 1038.5 as a whole number; the last 16: 1032.5; a window of 40
    // is held to 16.
    for (const Case c : {Case{4, 1038}, Case{16, 1032}, Case{40, 1032}, Case{0, 1040}}) {
        SCOPED_TRACE(c.window);
        HkRig rig;
        rig.in.averageWindow = c.window;
        rig.open();
        for (int v = 1; v <= 40; ++v) rig.all(v);
        EXPECT_EQ(rig.w->movingAverage(0), c.afterRamp);
    }
}

TEST(HomeKeyCheck, TheScreenSaysThePhaseAndTheTimeLeft) {
    HkRig rig;
    rig.open();
    HomeKeyScene s = homeKeyScene(*rig.w);
    EXPECT_EQ(s.title.text.text, "Home Key Check");
    EXPECT_DOUBLE_EQ(s.title.at.y, 150);
    EXPECT_EQ(s.phase.text.text, "1. Remove fingers from homekey");
    EXPECT_DOUBLE_EQ(s.phase.at.y, 200);
    EXPECT_EQ(s.hint.text.text, "[Esc] : forced exit from test");
    EXPECT_FALSE(s.countdown) << "nothing counts down while settling";
    rig.settle();
    for (int i = 0; i < 25; ++i) rig.all(kIdle);
    s = homeKeyScene(*rig.w);
    ASSERT_TRUE(s.countdown);
    EXPECT_EQ(s.countdown->text.text.text, "0.76[sec] left");
    EXPECT_NEAR(s.countdown->fraction, 0.76, 1e-9);
    EXPECT_TRUE(s.pins.empty());
    rig.untouched();
    rig.all(kIdle);
    s = homeKeyScene(*rig.w);
    EXPECT_EQ(s.phase.text.text, "2. Touch Homekey and Hold");
    EXPECT_EQ(s.countdown->text.text.text, "5.00[sec] left");
    ASSERT_EQ(s.pins.size(), 2u);
    EXPECT_DOUBLE_EQ(s.pins[0].at.x, 1000.0 / 3);
    EXPECT_DOUBLE_EQ(s.pins[1].at.y, 490);
    EXPECT_EQ(s.pins[1].text.text, "untouch");
    rig.allWhile(kTouch, [&] { return rig.w->phase() == HkTouch; });
    s = homeKeyScene(*rig.w);
    EXPECT_EQ(s.phase.text.text, "Check done.");
    EXPECT_FALSE(s.countdown);
}

}  // namespace
}  // namespace station::checks
