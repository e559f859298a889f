#include "station/checks/logic/check_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/checks/logic/tests/fake_readers.h"

namespace station::checks {
namespace {

// A window that records what the common part hands it.
class ProbeWindow final : public CheckWindowLogic {
public:
    ProbeWindow(InputReaders& r, CheckWindowHost& h, platform::Clock& c, bool driverMode, bool pen)
        : CheckWindowLogic(r, h, c, driverMode), pen_(pen) {}
    ~ProbeWindow() override { close(); }

    int* resultsOut = nullptr;
    int passes = 0, reports = 0, raws = 0, results = 0, rawEnded = 0;
    bool finish = false;
    bool closeWhenNoTouchReader = false;
    std::vector<CheckKey> keys;
    CheckKey sendOnPass = CheckKey::Enter;
    bool sendKey = false;

private:
    bool wantsPenReader() const override { return pen_; }
    void onOpened(bool touchReader, bool) override {
        if (!touchReader && closeWhenNoTouchReader) close();
    }
    void evaluate() override {
        ++passes;
        if (sendKey) postKey(sendOnPass);
        sendKey = false;
    }
    void handleReport(ReaderCollection, std::span<const std::uint8_t>) override { ++reports; }
    void handleRawInput(const controllerlink::RawContactRecord&, const controllerlink::RawTouchRanges&) override {
        ++raws;
    }
    void onRawInputEnded() override { ++rawEnded; }
    void handleKey(CheckKey k) override { keys.push_back(k); }
    bool closeRequested() const override { return finish; }
    void writeResults() override {
        ++results;
        if (resultsOut != nullptr) ++*resultsOut;
    }

    bool pen_;
};

struct Rig {
    platform::VirtualClock clock;
    FakeReaders readers;
    RecordingHost host;
};

TEST(CheckWindow, ReadersStartedOnOpenAndStoppedOnceByTheOneClosePath) {
    struct Case {
        const char* name;
        bool pen, touchFails, penFails;
        std::vector<std::string> status;
        std::vector<ReaderCollection> stopped;
    };
    using RC = ReaderCollection;
    const Case cases[] = {
        {"touch only", false, false, false, {}, {RC::Touch}},
        {"touch and pen", true, false, false, {}, {RC::Touch, RC::Pen}},
        {"pen reader refused", true, false, true, {"Failed to start thread of pen."}, {RC::Touch}},
        {"touch reader refused", true, true, false, {"Failed to start thread."}, {RC::Pen}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.readers.refuse[0] = c.touchFails;
        r.readers.refuse[1] = c.penFails;
        {
            ProbeWindow w(r.readers, r.host, r.clock, false, c.pen);
            w.open();
            EXPECT_EQ(r.host.status, c.status);
            w.onKey(CheckKey::Enter);
            EXPECT_FALSE(w.closed()) << "Enter leaves a check window open";
            w.onKey(CheckKey::Esc);
            EXPECT_TRUE(w.closed());
            EXPECT_EQ(w.results, 1);
            EXPECT_EQ(r.readers.stopped, c.stopped);
            const std::uint8_t report[] = {3, 0, 1};
            w.onReport(ReaderCollection::Touch, report);
            w.onKey(CheckKey::Space);
            EXPECT_EQ(w.reports, 0) << "nothing reaches a closed window";
            EXPECT_EQ(w.keys, (std::vector<CheckKey>{CheckKey::Enter, CheckKey::Esc}));
        }
        EXPECT_EQ(r.readers.stopped, c.stopped) << "destruction after Esc closes nothing twice";
    }
}

TEST(CheckWindow, DestructionWithoutEscStillRecordsTheResult) {
    Rig r;
    int results = 0;
    {
        ProbeWindow w(r.readers, r.host, r.clock, false, false);
        w.resultsOut = &results;
        w.open();
        w.painted();
        EXPECT_FALSE(w.closed());
        EXPECT_EQ(results, 0);
    }
    EXPECT_EQ(results, 1);
    EXPECT_EQ(r.readers.stopped, std::vector<ReaderCollection>{ReaderCollection::Touch});
}

TEST(CheckWindow, AWindowMayCloseAtOnceWhenItsTouchReaderCannotStart) {
    Rig r;
    r.readers.refuse[0] = true;
    ProbeWindow w(r.readers, r.host, r.clock, false, false);
    w.closeWhenNoTouchReader = true;
    w.open();
    EXPECT_TRUE(w.closed());
    EXPECT_EQ(w.results, 1);
    EXPECT_FALSE(w.timerDueAt().has_value());
    EXPECT_TRUE(r.readers.stopped.empty()) << "no reader ran";
}

TEST(CheckWindow, TheTickComesAHundredMillisecondsAfterTheEndOfThePreviousPass) {
    Rig r;
    ProbeWindow w(r.readers, r.host, r.clock, false, false);
    EXPECT_FALSE(w.timerDueAt().has_value()) << "no tick before the window opens";
    w.open();
    r.clock.advance(99);
    EXPECT_FALSE(w.timerFired());
    r.clock.advance(1);
    EXPECT_TRUE(w.timerFired());
    EXPECT_EQ(w.passes, 1);
    // The timer stays stopped through the pass and the paint that follows it.
    r.clock.advance(500);
    EXPECT_FALSE(w.timerFired());
    w.painted();
    w.rearmTimer();
    r.clock.advance(99);
    EXPECT_FALSE(w.timerFired());
    r.clock.advance(1);
    EXPECT_TRUE(w.timerFired());
    EXPECT_EQ(w.passes, 2);
}

TEST(CheckWindow, TheFinishFlagClosesTheWindowAtThePaintAfterIt) {
    Rig r;
    ProbeWindow w(r.readers, r.host, r.clock, false, false);
    w.open();
    w.finish = true;
    EXPECT_FALSE(w.closed());
    w.painted();
    EXPECT_TRUE(w.closed());
    EXPECT_EQ(w.results, 1);
    w.rearmTimer();
    EXPECT_FALSE(w.timerDueAt().has_value()) << "a closed window has no tick";
}

TEST(CheckWindow, AKeyTheWindowSendsItselfIsHandledAfterThePass) {
    Rig r;
    ProbeWindow w(r.readers, r.host, r.clock, false, false);
    w.open();
    w.sendKey = true;
    w.sendOnPass = CheckKey::Esc;
    r.clock.advance(100);
    EXPECT_TRUE(w.timerFired());
    EXPECT_TRUE(w.closed()) << "a posted Esc closes like the operator's";
    EXPECT_EQ(w.keys, std::vector<CheckKey>{CheckKey::Esc});
    EXPECT_EQ(w.results, 1);
}

TEST(CheckWindow, DriverModeTakesTheDigitizerOnlyUntilTheFirstVendorTouchReport) {
    struct Case {
        const char* name;
        bool driverMode;
        ReaderCollection from;
        std::uint8_t reportId;
        int rawAfter;  // raw reports taken of the two sent, one before and one after the report
    };
    using RC = ReaderCollection;
    const Case cases[] = {
        {"driver mode, touch report 3 ends it", true, RC::Touch, 3, 1},
        {"driver mode, a pen report does not", true, RC::Pen, 11, 2},
        {"driver mode, report 3 of the pen collection does not", true, RC::Pen, 3, 2},
        {"driver mode, another touch report does not", true, RC::Touch, 4, 2},
        {"not in driver mode: never taken", false, RC::Touch, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        ProbeWindow w(r.readers, r.host, r.clock, c.driverMode, true);
        w.open();
        const controllerlink::RawContactRecord raw{};
        const controllerlink::RawTouchRanges ranges{};
        w.onRawInput(raw, ranges);
        const std::uint8_t report[] = {c.reportId, 0, 0, 0};
        w.onReport(c.from, report);
        w.onRawInput(raw, ranges);
        const std::uint8_t again[] = {3, 0, 0, 0};
        w.onReport(RC::Touch, again);
        EXPECT_EQ(w.raws, c.rawAfter);
        EXPECT_EQ(w.rawEnded, c.driverMode ? 1 : 0) << "raw input ends once per window";
        EXPECT_EQ(w.reports, 2);
    }
}

}  // namespace
}  // namespace station::checks
