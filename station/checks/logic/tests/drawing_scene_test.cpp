#include "station/checks/logic/drawing_scene.h"

#include <gtest/gtest.h>

#include "station/checks/logic/tests/drawing_rig.h"

namespace station::checks {
namespace {

TEST(DrawingScene, InstructionTextsByStepAndPhase) {
    struct Case {
        int step, phase;
        bool passed;
        std::int32_t mtouch;
        const char* text;
    };
    const Case cases[] = {
        {INIT, 0, false, 1000, "[Enter] : go to next test\n[Esc] : escape from test"},
        {T_MT, 1, false, 1000, "touch down 10 fingers while a second"},
        {T_MT, 2, false, 2500, "touch down 10 fingers while 2.5 seconds"},
        {T_MT, 3, true, 1000, "wait for next test"},
        {T_SQ, 1, false, 1000, "touch down on Start-Position"},
        {T_DL, 2, false, 1000, "drawing diagonal"},
        {P_SQ, 3, false, 1000, "[Enter] : Go to next\n[Space] or Tap : Retry"},
        {P_SQ, 1, false, 1000, "pen down on start position"},
        {P_DL, 3, true, 1000, "wait for finish"},
        {P_AC, 1, false, 1000, "\n\n\n\npen down on CENTER of targets\nand hold it"},
        {P_AC, 2, false, 1000, "\n\n\n\ndon't move pen"},
        {P_HV, 2, false, 1000, "Hover Pen and Move in target"},
        {P_HV, 3, false, 1000, "[Enter] : Go to finish\n[Space] or Tap : Retry"},
        {P_HV, 0, false, 1000, "error : unexpect state"},
        {DRAW_DONE, 0, false, 1000, "wait for finish"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(instructionText(c.step, c.phase, c.passed, c.mtouch), c.text) << c.step << "/" << c.phase;
}

TEST(DrawingScene, TheNgWaitShowsItsCountdownAndTheVerdict) {
    DrawRig r;
    r.in.ngWaitMs = 4000;
    DrawingCheck& w = r.openAt(T_DL);
    DrawingScene s = drawingScene(w);
    EXPECT_EQ(s.title->text, "for Finger");
    ASSERT_EQ(s.boxes.size(), 2u);
    EXPECT_EQ(s.boxes[0].label, "Start");
    EXPECT_EQ(s.boxes[0].box, w.geometry().cornerBox[TL]);
    ASSERT_TRUE(s.guide);
    EXPECT_EQ(s.guideWidth, 100);
    r.strokeVia({{60, 36}, {500, 300}});
    r.lift(500, 300);
    r.wait(1500);
    s = drawingScene(w);
    EXPECT_EQ(s.title->text, "NG");
    EXPECT_EQ(s.title->argb, kPromptRed);
    ASSERT_TRUE(s.countdown);
    const double left = w.remainingMs() / 1000.0;
    char expected[32];
    std::snprintf(expected, sizeof expected, "%0.1f[sec] left", left);
    EXPECT_EQ(s.countdown->text, expected);
    EXPECT_NEAR(s.countdown->fraction, w.remainingMs() / 4000.0, 1e-9);
    EXPECT_TRUE(s.boxes.empty()) << "a judged step shows no boxes";
}

TEST(DrawingScene, TheSquareFillsTheBandAsFarAsItIsDue) {
    DrawRig r;
    DrawingCheck& w = r.openAt(T_SQ);
    r.strokeVia({{50, 30}, {950, 30}, {950, 300}});
    ASSERT_EQ(w.corner(), 2);
    const DrawingScene s = drawingScene(w);
    ASSERT_EQ(s.boxes.size(), 3u);
    EXPECT_EQ(s.boxes[0].box, (Box{0, 0, 1000, 60})) << "top edge";
    EXPECT_EQ(s.boxes[1].box, (Box{900, 0, 100, 600})) << "right edge";
    EXPECT_EQ(s.boxes[2].label, "Goal");
    EXPECT_EQ(s.boxes[2].box, w.geometry().cornerBox[BR]);
    ASSERT_EQ(s.tags.size(), 1u);
    EXPECT_EQ(s.tags[0].id, "1");
    EXPECT_EQ(s.tags[0].argb, contactColour(1));
}

TEST(DrawingScene, TagsForDrawnContactsAndTheHoveringPen) {
    DrawRig r;
    DrawingCheck& w = r.openAt(T_SQ);
    r.fingers({{1, 100, 100, 7}, {2, 200, 200, 4}, {3, 300, 300, 5}});
    r.pen(kPenHovering, 400, 300);
    const DrawingScene s = drawingScene(w);
    ASSERT_EQ(s.tags.size(), 2u) << "a lifted contact carries no tag";
    EXPECT_EQ(s.tags[1].id, "3");
    ASSERT_TRUE(s.hoveringPen);
    EXPECT_DOUBLE_EQ(s.hoveringPen->x, 400);
}

TEST(DrawingScene, GridLinesEveryFifthAndTenthHeavier) {
    const auto lines = gridLines({0, 0, 1000, 600}, 21, 11);
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_TRUE(lines[0].vertical);
    EXPECT_DOUBLE_EQ(lines[0].at, 1000.0 / 21);
    EXPECT_DOUBLE_EQ(lines[4].width, 0.2);
    EXPECT_DOUBLE_EQ(lines[9].width, 0.3);
    EXPECT_DOUBLE_EQ(lines[10].width, 0.1);
    EXPECT_FALSE(lines[20].vertical);
    EXPECT_DOUBLE_EQ(lines[29].at, 600.0 * 10 / 11);
    EXPECT_TRUE(gridLines({0, 0, 10, 10}, 0, 1).empty());
}

}  // namespace
}  // namespace station::checks
