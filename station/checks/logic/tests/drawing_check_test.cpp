#include "station/checks/logic/drawing_check.h"

#include <gtest/gtest.h>

#include "station/checks/logic/tests/drawing_rig.h"

namespace station::checks {
namespace {

std::vector<Finger> tenFingers(int count = 10) {
    std::vector<Finger> f;
    f.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        f.push_back({static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(300 + 30 * i), 300, 7});
    return f;
}

// Waits out the OK wait after a pass (input stopped), onto the next step.
void nextStep(DrawRig& r, int expected) {
    ASSERT_TRUE(r.waitFor([&] { return r.w->step() == expected; }, 3000)) << "still at step " << r.w->step();
}

TEST(DrawingCheck, AnOperatorWhoDoesEverythingRightPassesEveryStep) {
    DrawRig r;
    r.in.accuracyCheck = true;
    r.in.hoverCheck = true;
    DrawingCheck& w = r.open();
    EXPECT_EQ(r.readers.started, (std::vector<ReaderCollection>{ReaderCollection::Touch, ReaderCollection::Pen}));

    r.at(500, 480);  // the start box
    EXPECT_EQ(w.step(), T_MT);
    r.lift(500, 480);
    for (int t = 0; t < 1100; t += 10) r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseJudged);
    EXPECT_TRUE(w.stepPassed(T_MT));
    nextStep(r, T_SQ);

    r.strokeVia(square());
    EXPECT_TRUE(w.stepPassed(T_SQ));
    r.lift(50, 30);
    nextStep(r, T_DL);

    r.strokeVia(firstDiagonal());
    r.lift(950, 570);
    r.strokeVia(secondDiagonal());
    EXPECT_TRUE(w.stepPassed(T_DL));
    r.lift(50, 570);
    nextStep(r, P_SQ);

    r.penVia(square());
    r.pen(kPenHovering, 50, 30);
    r.pen(0, 50, 30);
    nextStep(r, P_DL);
    r.penVia(firstDiagonal());
    r.pen(0, 950, 570);
    r.penVia(secondDiagonal());
    r.pen(0, 50, 570);
    nextStep(r, P_AC);

    const Point targets[kAccuracyTargets] = {{50, 30}, {950, 30}, {950, 570}, {50, 570}, {500, 300}};
    for (std::size_t i = 0; i < kAccuracyTargets; ++i) {
        for (int t = 0; t < 2500 && w.accuracyState()[i] != 1; t += 10) r.pen(kPenTouching, targets[i].x, targets[i].y);
        EXPECT_EQ(w.accuracyState()[i], 1) << "target " << i;
        r.pen(0, targets[i].x, targets[i].y);
    }
    EXPECT_TRUE(w.stepPassed(P_AC));
    nextStep(r, P_HV);

    for (const Point target : {Point{250, 300}, Point{500, 300}, Point{750, 300}})
        for (int t = 0; t < 1100; t += 10) r.pen(kPenHovering, target.x, target.y);
    r.pen(0, 750, 300);
    EXPECT_TRUE(w.stepPassed(P_HV));
    ASSERT_TRUE(r.waitFor([&] { return w.closed(); }, 3000));
    EXPECT_EQ(r.drawResult, 0);
    EXPECT_EQ(r.host.snapshots,
              (Snapshots{"_tmp1.png", "_tmp2.png", "_tmp4.png", "_tmp5.png", "_tmp6.png", "_tmp7.png"}));
    EXPECT_EQ(r.readers.stopped, (std::vector<ReaderCollection>{ReaderCollection::Touch, ReaderCollection::Pen}));
}

TEST(DrawingCheck, FingerSquareRules) {
    struct Case {
        const char* name;
        std::function<void(DrawRig&)> draw;
        bool passed;
        Snapshots snapshots;
    };
    const Case cases[] = {
        {"drawn along the band", [](DrawRig& r) { r.strokeVia(square()); }, true, {"_tmp1.png"}},
        {"lifted in the top right box and put down there again",
         [](DrawRig& r) {
             r.strokeVia({{50, 30}, {950, 30}});
             r.lift(950, 30);
             r.wait(500);
             r.strokeVia({{960, 40}, {950, 570}, {50, 570}, {50, 30}});
         },
         true,
         {"_tmp1.png"}},
        {"lifted in the top right box and put down on the right edge",
         [](DrawRig& r) {
             r.strokeVia({{50, 30}, {950, 30}});
             r.lift(950, 30);
             r.at(950, 300);
         },
         false,
         {"_tmp1.png"}},
        {"lifted half way along the top edge",
         [](DrawRig& r) {
             r.strokeVia({{50, 30}, {500, 30}});
             r.lift(500, 30);
         },
         false,
         {"_tmp2.png"}},
        {"the bottom right box touched on the way to the top right one, inside the band",
         [](DrawRig& r) {
             r.strokeVia({{50, 30}, {500, 30}});
             r.at(950, 570);
         },
         false,
         {"_tmp2.png"}},
        {"a short cut through the middle",
         [](DrawRig& r) {
             r.strokeVia({{50, 30}, {950, 30}, {500, 300}});
         },
         false,
         {"_tmp2.png"}},
        {"back to the start box before the last corner",
         [](DrawRig& r) {
             r.strokeVia({{50, 30}, {950, 30}, {950, 570}, {950, 30}});
         },
         false,
         {"_tmp2.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawRig r;
        DrawingCheck& w = r.openAt(T_SQ);
        EXPECT_EQ(w.phase(), PhaseWaiting);
        c.draw(r);
        EXPECT_EQ(w.phase(), PhaseJudged);
        EXPECT_EQ(w.stepPassed(T_SQ), c.passed);
        EXPECT_EQ(r.host.snapshots, c.snapshots);
    }
}

TEST(DrawingCheck, DiagonalRules) {
    struct Case {
        const char* name;
        std::function<void(DrawRig&)> draw;
        bool passed;
    };
    const Case cases[] = {
        {"both diagonals, lifted between them",
         [](DrawRig& r) {
             r.strokeVia(firstDiagonal());
             r.lift(950, 570);
             r.wait(300);
             r.strokeVia(secondDiagonal());
         },
         true},
        {"lifted half way along the first",
         [](DrawRig& r) {
             r.strokeVia({{60, 36}, {500, 300}});
             r.lift(500, 300);
         },
         false},
        // The line runs from (100,60) to (900,540); half the tolerance is 50 pixels.
        {"43 pixels off the line",
         [](DrawRig& r) {
             r.strokeVia({{60, 36}, {500, 350}, {950, 570}});
             r.lift(950, 570);
             r.strokeVia(secondDiagonal());
         },
         true},
        {"52 pixels off the line",
         [](DrawRig& r) {
             r.strokeVia({{60, 36}, {500, 360}});
         },
         false},
        {"the second diagonal started from the wrong corner",
         [](DrawRig& r) {
             r.strokeVia(firstDiagonal());
             r.lift(950, 570);
             r.strokeVia({{50, 30}, {950, 570}});
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawRig r;
        DrawingCheck& w = r.openAt(T_DL);
        c.draw(r);
        if (c.passed) {
            EXPECT_EQ(w.phase(), PhaseJudged);
            EXPECT_TRUE(w.stepPassed(T_DL));
            EXPECT_EQ(r.host.snapshots, Snapshots{"_tmp2.png"});
        } else {
            EXPECT_FALSE(w.stepPassed(T_DL));
            if (w.phase() == PhaseJudged) {
                EXPECT_EQ(r.host.snapshots, Snapshots{"_tmp3.png"});
            } else {
                EXPECT_TRUE(r.host.snapshots.empty()) << "never started, never judged";
            }
        }
    }
}

TEST(DrawingCheck, TenFingersMustStayTheWholeWaitWhichRestartsWhenOneLifts) {
    DrawRig r;
    DrawingCheck& w = r.openAt(T_MT);
    for (int t = 0; t < 990; t += 10) r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseInProgress);
    r.fingers(tenFingers(9));
    for (int t = 0; t < 900; t += 10) r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseInProgress) << "the countdown started again from the full time";
    for (int t = 0; t < 200; t += 10) r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseJudged);
    EXPECT_TRUE(w.stepPassed(T_MT));
    EXPECT_TRUE(r.host.snapshots.empty()) << "the multi-touch step saves nothing";
}

TEST(DrawingCheck, TheStepTimerRunsOnAcrossTheTurnOfTheMinute) {
    DrawRig r(platform::TimeOfDay{2026, 1, 1, 9, 0, 59, 500});
    DrawingCheck& w = r.openAt(T_MT);
    // The countdown starts at 59.5 s and ends in the next minute.
    for (int t = 0; t < 900; t += 10) r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseInProgress);
    for (int t = 0; t < 200; t += 10) r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseJudged);
}

TEST(DrawingCheck, ADisabledMultiTouchStepGivesWayAsSoonAsInputStops) {
    DrawRig r;
    r.in.skipInit = true;
    r.in.okWaitMs = 5000;
    r.in.disableMask = 1u << T_MT;
    DrawingCheck& w = r.open();
    EXPECT_TRUE(r.waitFor([&] { return w.step() == T_SQ; }, 400)) << "no OK wait of 5 s";
    EXPECT_TRUE(w.stepPassed(INIT));
    EXPECT_TRUE(w.stepPassed(T_MT));
}

TEST(DrawingCheck, AfterAFailureATapRetriesAndNoTouchEndsTheWindow) {
    {
        SCOPED_TRACE("no touch: closed after the NG wait");
        DrawRig r;
        DrawingCheck& w = r.openAt(T_DL);
        r.strokeVia({{60, 36}, {500, 300}});
        r.lift(500, 300);
        ASSERT_EQ(w.phase(), PhaseJudged);
        r.wait(2500);
        EXPECT_FALSE(w.closed());
        EXPECT_TRUE(r.waitFor([&] { return w.closed(); }, 1500));
        EXPECT_EQ(r.drawResult, 4) << "T_DL, E654";
    }
    {
        SCOPED_TRACE("a tap once the finger was lifted");
        DrawRig r;
        DrawingCheck& w = r.openAt(T_DL);
        r.strokeVia({{60, 36}, {500, 300}});
        r.lift(500, 300);
        r.wait(500);
        r.at(300, 300);
        r.lift(300, 300);
        EXPECT_EQ(w.phase(), PhaseJudged) << "the retry waits for the finger to leave";
        r.wait(500);
        EXPECT_EQ(w.phase(), PhaseWaiting);
        EXPECT_EQ(w.step(), T_DL);
        EXPECT_EQ(w.retryArm(), -1);
        r.strokeVia(firstDiagonal());
        r.lift(950, 570);
        r.strokeVia(secondDiagonal());
        EXPECT_TRUE(w.stepPassed(T_DL));
    }
    {
        SCOPED_TRACE("the finger that failed the step is no tap");
        DrawRig r;
        DrawingCheck& w = r.openAt(T_DL);
        r.strokeVia({{60, 36}, {500, 360}});
        ASSERT_EQ(w.phase(), PhaseJudged);
        r.stroke({500, 360}, {600, 400});
        r.lift(600, 400);
        r.wait(1000);
        EXPECT_EQ(w.phase(), PhaseJudged);
    }
}

TEST(DrawingCheck, TheInitScreen) {
    {
        SCOPED_TRACE("Enter skips INIT, which stays failed whatever follows");
        DrawRig r;
        r.in.disableMask = skipTo(DRAW_DONE);
        DrawingCheck& w = r.open();
        r.key(CheckKey::Enter);
        EXPECT_EQ(w.step(), T_MT);
        EXPECT_TRUE(r.waitFor([&] { return w.closed(); }, 5000));
        EXPECT_TRUE(w.stepPassed(P_DL));
        EXPECT_EQ(r.drawResult, 1);
    }
    {
        SCOPED_TRACE("no touch within the limit time: closed with INIT failed");
        DrawRig r;
        r.in.initLimitMs = 2000;
        DrawingCheck& w = r.open();
        r.wait(2000);
        EXPECT_FALSE(w.closed());
        EXPECT_TRUE(r.waitFor([&] { return w.closed(); }, 1000));
        EXPECT_EQ(r.drawResult, 1);
    }
    {
        SCOPED_TRACE("a touch during the countdown switches the limit off");
        DrawRig r;
        r.in.initLimitMs = 2000;
        DrawingCheck& w = r.open();
        r.wait(1000);
        r.at(100, 100);
        r.lift(100, 100);
        r.wait(5000);
        EXPECT_FALSE(w.closed());
        EXPECT_EQ(w.remainingMs(), -1);
        r.at(500, 480);
        EXPECT_EQ(w.step(), T_MT);
        EXPECT_TRUE(w.stepPassed(INIT));
    }
    {
        SCOPED_TRACE("Esc at once");
        DrawRig r;
        DrawingCheck& w = r.open();
        r.key(CheckKey::Esc);
        EXPECT_TRUE(w.closed());
        EXPECT_EQ(r.drawResult, 1);
    }
}

TEST(DrawingCheck, TheStartBoxsEdgesAreOutsideIt) {
    // The start box of the rig spans x 425..575 and y 435..525.
    struct Case {
        Point at;
        bool starts;
    };
    const Case cases[] = {
        {{425, 480}, false}, {{426, 480}, true}, {{575, 480}, false}, {{574, 480}, true},
        {{500, 435}, false}, {{500, 436}, true}, {{500, 525}, false}, {{500, 524}, true},
    };
    for (const int limitMs : {0, 5000}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "limit " << limitMs << " at " << c.at.x << "," << c.at.y);
            DrawRig r;
            r.in.initLimitMs = limitMs;
            DrawingCheck& w = r.open();
            r.at(c.at.x, c.at.y);
            r.wait(150);  // a tick while the touch is fresh
            EXPECT_EQ(w.step() == T_MT, c.starts);
            EXPECT_EQ(w.stepPassed(INIT), c.starts);
        }
    }
}

TEST(DrawingCheck, EnterSkipsAFailedStepWithoutTheSkipRules) {
    DrawRig r;
    r.in.skipPenDrawing = true;
    DrawingCheck& w = r.openAt(T_DL);
    r.strokeVia({{60, 36}, {500, 300}});
    r.lift(500, 300);
    ASSERT_FALSE(w.stepPassed(T_DL));
    r.key(CheckKey::Enter);
    EXPECT_EQ(w.step(), P_SQ) << "the pen square is still shown";
    EXPECT_EQ(w.phase(), PhaseWaiting);
    r.key(CheckKey::Space);
    EXPECT_EQ(w.phase(), PhaseWaiting) << "Space retries only a failed, judged step";

    DrawRig s;
    s.in.skipPenDrawing = true;
    DrawingCheck& v = s.openAt(T_DL);
    s.strokeVia(firstDiagonal());
    s.lift(950, 570);
    s.strokeVia(secondDiagonal());
    ASSERT_TRUE(v.stepPassed(T_DL));
    s.key(CheckKey::Enter);
    EXPECT_EQ(v.step(), T_DL) << "Enter on a passed step does nothing";
    EXPECT_TRUE(s.waitFor([&] { return v.closed(); }, 3000)) << "the OK wait skips the pen steps";
    EXPECT_EQ(s.drawResult, 0);
}

TEST(DrawingCheck, PenSquareLiftsAndTheUnliftedPenSteps) {
    struct Case {
        const char* name;
        int step;
        std::function<void(DrawRig&)> draw;
        bool passed;
        Snapshots snapshots;
    };
    const Case cases[] = {
        {"pen square lifted in the bottom right box and put down there",
         P_SQ,
         [](DrawRig& r) {
             r.penVia({{50, 30}, {950, 30}, {950, 570}});
             r.pen(kPenHovering, 950, 570);
             r.pen(kPenHovering, 955, 575);
             r.penVia({{955, 575}, {50, 570}, {50, 30}});
         },
         true,
         {"_tmp4.png"}},
        {"pen square put down again away from where it was lifted",
         P_SQ,
         [](DrawRig& r) {
             r.penVia({{50, 30}, {950, 30}, {950, 570}});
             r.pen(kPenHovering, 950, 570);
             r.pen(kPenTouching, 500, 570);
         },
         false,
         {"_tmp4.png"}},
        {"pen square lifted on an edge",
         P_SQ,
         [](DrawRig& r) {
             r.penVia({{50, 30}, {500, 30}});
             r.pen(kPenHovering, 500, 30);
         },
         false,
         {"_tmp4.png"}},
        {"pen diagonal lifted half way",
         P_DL,
         [](DrawRig& r) {
             r.penVia({{60, 36}, {500, 300}});
             r.pen(kPenHovering, 500, 300);
         },
         false,
         {"_tmp5.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawRig r;
        DrawingCheck& w = r.openAt(c.step);
        c.draw(r);
        EXPECT_EQ(w.phase(), PhaseJudged);
        EXPECT_EQ(w.stepPassed(c.step), c.passed);
        EXPECT_EQ(r.host.snapshots, c.snapshots);
    }
}

TEST(DrawingCheck, AccuracyTargetsHeldStillWithinTheRadius) {
    struct Case {
        const char* name;
        std::function<void(DrawRig&)> hold;
        int target0;  // the state of the top left target afterwards
        bool failed;
    };
    const auto holdAt = [](DrawRig& r, int x, int y, int ms) {
        for (int t = 0; t < ms; t += 10) r.pen(kPenTouching, x, y);
    };
    const Case cases[] = {
        {"held two seconds on the target", [&](DrawRig& r) { holdAt(r, 50, 30, 2100); }, 1, false},
        // 160 pen units from the target: inside the 200-unit radius.
        {"held a little off the target", [&](DrawRig& r) { holdAt(r, 130, 30, 2100); }, 1, false},
        {"drifting out of the radius in the second second",
         [&](DrawRig& r) {
             holdAt(r, 50, 30, 1100);
             for (int x = 50; x <= 160; x += 10) r.pen(kPenTouching, x, 30);
         },
         0, true},
        {"lifted in the second second",
         [&](DrawRig& r) {
             holdAt(r, 50, 30, 1100);
             r.pen(kPenHovering, 50, 30);
         },
         -1, true},
        {"moving more than 80 units a pass never starts the hold",
         [&](DrawRig& r) {
             for (int t = 0; t < 2000; t += 20) {
                 r.pen(kPenTouching, 40, 30);
                 r.pen(kPenTouching, 90, 30);
             }
         },
         0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawRig r;
        r.in.accuracyCheck = true;
        DrawingCheck& w = r.openAt(P_AC);
        c.hold(r);
        EXPECT_EQ(w.accuracyState()[0], c.target0);
        EXPECT_EQ(!w.stepPassed(P_AC) && w.phase() == PhaseJudged, c.failed);
        EXPECT_EQ(r.host.snapshots, c.failed ? Snapshots{"_tmp6.png"} : Snapshots{});
        if (c.failed) {
            r.key(CheckKey::Space);
            EXPECT_EQ(w.accuracyState()[0], 0) << "a retry starts the targets over";
        }
    }
}

TEST(DrawingCheck, HoverCounterAndExitBox) {
    struct Case {
        const char* name;
        std::int32_t ngCount;
        int leaves;      // times the pen leaves while counting over a target
        bool touchExit;  // a finger inside the exit box
        bool failed;
    };
    const Case cases[] = {
        {"counter of 2, left twice", 2, 2, false, true},
        {"counter of 2, left once", 2, 1, false, false},
        {"no counter, left five times", 0, 5, false, false},
        {"no counter, the exit box touched", 0, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DrawRig r;
        r.in.hoverCheck = true;
        r.in.hoverNgCount = c.ngCount;
        r.carry.hoverNgCounter = 1;  // what an earlier window with a counter left
        DrawingCheck& w = r.openAt(P_HV);
        r.wait(200);
        for (int i = 0; i < c.leaves; ++i) {
            for (int t = 0; t < 300; t += 10) r.pen(kPenHovering, 250, 300);
            r.pen(0, 250, 300);
            r.wait(200);
        }
        if (c.touchExit) r.at(500, 480);
        EXPECT_EQ(!w.stepPassed(P_HV) && w.phase() == PhaseJudged, c.failed);
        EXPECT_EQ(r.host.snapshots, c.failed ? Snapshots{"_tmp7.png"} : Snapshots{});
    }
}

TEST(DrawingCheck, ATouchReaderThatCannotStartEndsTheWindowAtOnce) {
    DrawRig r;
    r.readers.refuse[0] = true;
    DrawingCheck& w = r.open();
    EXPECT_TRUE(w.closed());
    EXPECT_EQ(r.host.status, std::vector<std::string>{"Failed to start thread."});
    EXPECT_EQ(r.drawResult, 1);

    DrawRig p;
    p.readers.refuse[1] = true;
    DrawingCheck& v = p.open();
    EXPECT_FALSE(v.closed()) << "without the pen the check goes on";
    EXPECT_EQ(p.host.status, std::vector<std::string>{"Failed to start thread of pen."});
}

TEST(DrawingCheck, NoPenReaderWithoutTheCustomPenReport) {
    DrawRig r;
    r.in.customPenReport = false;
    r.open();
    EXPECT_EQ(r.readers.started, std::vector<ReaderCollection>{ReaderCollection::Touch});
}

TEST(DrawingCheck, ACountdownLeftRunningByTheLastWindowDoesNotCount) {
    DrawRig r;
    r.carry.stepTimerStart = 58000;  // two seconds ago, in a window closed during a countdown
    DrawingCheck& w = r.openAt(T_MT);
    r.fingers(tenFingers());
    r.fingers(tenFingers());
    EXPECT_EQ(w.phase(), PhaseInProgress);
}

TEST(DrawingCheck, KeysOfTheInk) {
    DrawRig r;
    DrawingCheck& w = r.openAt(T_SQ);
    r.strokeVia({{50, 30}, {500, 30}});
    EXPECT_FALSE(w.ink().empty());
    const std::uint32_t clears = w.inkClears();
    r.key(CheckKey::B);
    EXPECT_TRUE(w.blackInk());
    EXPECT_TRUE(w.ink().empty());
    r.at(520, 30);
    ASSERT_FALSE(w.ink().empty());
    EXPECT_EQ(w.ink().back().argb, 0xFF000000u);
    r.key(CheckKey::C);
    r.key(CheckKey::D);
    EXPECT_EQ(w.contactMode(), 1);
    EXPECT_EQ(w.inkClears(), clears + 3);
    for (int i = 0; i < 30; ++i) r.key(CheckKey::Plus);
    EXPECT_DOUBLE_EQ(w.widthOffset(), 10.0);
    for (int i = 0; i < 30; ++i) r.key(CheckKey::Minus);
    EXPECT_DOUBLE_EQ(w.widthOffset(), 0.0);
    EXPECT_EQ(w.phase(), PhaseInProgress) << "the ink keys leave the step alone";
}

TEST(DrawingCheck, LineModesJoinEachContactToWhereItWasLast) {
    DrawRig r;
    DrawingCheck& w = r.openAt(T_SQ);
    r.wait(200);  // the step's own clearing done
    r.key(CheckKey::D);
    r.key(CheckKey::D);
    r.key(CheckKey::D);  // mode 3: lines only
    r.at(50, 30);
    EXPECT_TRUE(w.ink().empty()) << "a new contact has nowhere to draw from";
    r.at(80, 30);
    ASSERT_EQ(w.ink().size(), 1u);
    EXPECT_EQ(w.ink().back().kind, InkMark::Kind::Line);
    EXPECT_DOUBLE_EQ(w.ink().back().from.x, 50.0);
    EXPECT_DOUBLE_EQ(w.ink().back().at.x, 80.0);
    r.key(CheckKey::D);  // mode 4: the line and the cross, from the first frame on
    r.at(90, 30);
    r.at(120, 30);
    ASSERT_EQ(w.ink().size(), 2u);
    EXPECT_EQ(w.ink().back().kind, InkMark::Kind::LineAndCross);
    EXPECT_DOUBLE_EQ(w.ink().back().from.x, 90.0);
}

TEST(DrawingCheck, DriverModeFramesFromTheDigitizerUntilTheControllersOwnReports) {
    DrawRig r;
    r.in.driverMode = true;
    DrawingCheck& w = r.open();
    // The digitizer's ranges halve the coordinates; the controller's own ones are the pixels.
    const controllerlink::RawTouchRanges ranges{2001, 1201};
    controllerlink::RawContactRecord first{};
    first.contactCount = 7;
    first.scanTime = 1;
    for (std::uint16_t i = 0; i < 5; ++i) first.contacts[i] = {7, static_cast<std::uint16_t>(i + 2), 100, 100};
    controllerlink::RawContactRecord second{};
    second.scanTime = 1;
    second.contacts[0] = {7, 1, 1000, 960};  // the start box at half scale
    second.contacts[1] = {7, 7, 100, 100};
    w.onRawInput(first, ranges);
    EXPECT_EQ(w.step(), INIT) << "half a frame is no frame";
    w.onRawInput(second, ranges);
    EXPECT_EQ(w.step(), T_MT);
    EXPECT_EQ(w.touchPoint(), (Point{500, 480}));

    r.at(200, 200);
    EXPECT_EQ(w.touchPoint(), (Point{200, 200})) << "the controller's own ranges again";
    EXPECT_FALSE(w.rawInputTaken());
    controllerlink::RawContactRecord late{};
    late.contactCount = 1;
    late.contacts[0] = {7, 1, 1800, 1000};
    w.onRawInput(late, ranges);
    EXPECT_EQ(w.touchPoint(), (Point{200, 200})) << "the digitizer is no longer read";
}

TEST(DrawingCheck, ContactColoursRunRoundTheHue) {
    EXPECT_EQ(contactColour(1), 0xFFFF0000u);
    EXPECT_EQ(contactColour(6), 0xFF00FFFFu);  // 180 degrees
    EXPECT_NE(contactColour(11), contactColour(1)) << "the second ten are shifted a little";
    EXPECT_EQ(contactColour(0), contactColour(256));
}

}  // namespace
}  // namespace station::checks
