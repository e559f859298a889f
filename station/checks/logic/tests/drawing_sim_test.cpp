// The drawing check as its runner opens it, against the in-process controller and its scripted
// operator: the recipe's keys, the runner's preparation and the controller's own touch and pen
// report streams.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "sim/operator_script.h"
#include "station/checks/logic/drawing_check.h"
#include "station/checks/logic/drawing_inputs.h"
#include "station/checks/logic/link_readers.h"
#include "station/checks/logic/tests/bus_readers.h"
#include "station/checks/logic/tests/fake_readers.h"
#include "station/sequence/connect.h"
#include "station/sequence/tests/sequence_rig.h"
#include "station/sequence/window_runners.h"

namespace station::checks {
namespace {

sim::OperatorScript script(const std::string& line) {
    sim::OperatorScript s;
    std::string why;
    EXPECT_TRUE(sim::parseOperatorLine(line, 1, s, why)) << why;
    return s;
}

struct Outcome {
    std::int32_t drawResult = -1;
    Snapshots snapshots;
    bool closedByItself = false;
};

Outcome runDrawing(const std::string& operatorLine, const std::function<void(RecipeSettings&)>& recipe = {}) {
    sim::ControllerConfig config = test::quietController();
    config.operatorScript = script(operatorLine);
    test::Rig rig(config);
    rig.loadExample("PID0A52.ini");
    RecipeSettings& r = rig.s().recipe;
    r.ACCURACY_CHECK = 0;
    r.HOVER_CHECK = 0;
    if (recipe) recipe(r);
    EXPECT_TRUE(connectTouchAndShow(rig.s()));
    EXPECT_TRUE(connectPenAndKeep(rig.s()));
    Outcome out;
    DrawingCarryOver carry;
    rig.ui.checkWindow = [&](const CheckWindowRequest& request, CheckContext& check) {
        SimBusReaders readers(rig.bus, rig.deviceId);
        RecordingHost host;
        DrawingCheck w(drawingInputs(request, check, {0, 0, 1280, 800}), carry, readers, host, check.clock);
        w.open();
        out.closedByItself = readers.runUntilClosed(w, rig.clock, 60000);
        w.onKey(CheckKey::Esc);
        out.snapshots = host.snapshots;
    };
    CheckContext context = rig.s().checkContext();
    EXPECT_TRUE(runDrawingCheck(context).ran);
    out.drawResult = rig.s().check.detail.drawResult;
    return out;
}

const std::string kStartAndTenFingers =
    "when custom-pen-report: nothing for 300; finger 0.5,0.8 for 200; nothing for 500; fingers 10 for 1500; "
    "nothing for 2000; ";
const std::string kSquare = "0.03,0.03 -> 0.97,0.03 -> 0.97,0.97 -> 0.03,0.97 -> 0.03,0.03 for 4s";

TEST(DrawingWithTheSimulator, AnOperatorDrawingEverythingRightPasses) {
    const Outcome o = runDrawing(kStartAndTenFingers + "finger " + kSquare + "; nothing for 2000; " +
                                 "finger 0.03,0.03 -> 0.97,0.97 for 2s; nothing for 300; "
                                 "finger 0.97,0.03 -> 0.03,0.97 for 2s; nothing for 2000; " +
                                 "pen " + kSquare + "; nothing for 2000; " +
                                 "pen 0.03,0.03 -> 0.97,0.97 for 2s; nothing for 300; "
                                 "pen 0.97,0.03 -> 0.03,0.97 for 2s");
    EXPECT_TRUE(o.closedByItself);
    EXPECT_EQ(o.drawResult, 0);
    EXPECT_EQ(o.snapshots, (Snapshots{"_tmp1.png", "_tmp2.png", "_tmp4.png", "_tmp5.png"}));
}

TEST(DrawingWithTheSimulator, AShortCutThroughTheSquareEndsWithItsStepAfterTheNgWait) {
    const Outcome o = runDrawing(kStartAndTenFingers + "finger 0.03,0.03 -> 0.97,0.03 -> 0.5,0.5 for 2s");
    EXPECT_TRUE(o.closedByItself);
    EXPECT_EQ(o.drawResult, 3) << "T_SQ, E653";
    EXPECT_EQ(o.snapshots, Snapshots{"_tmp2.png"});
}

TEST(DrawingWithTheSimulator, APersonsMistakeEndsWithItsStep) {
    const std::string fingerSteps = kStartAndTenFingers + "finger " + kSquare +
                                    "; nothing for 2000; finger 0.03,0.03 -> 0.97,0.97 for 2s; nothing for 300; "
                                    "finger 0.97,0.03 -> 0.03,0.97 for 2s; nothing for 2000; ";
    const std::string penSteps = "pen " + kSquare +
                                 "; nothing for 2000; pen 0.03,0.03 -> 0.97,0.97 for 2s; nothing for 300; "
                                 "pen 0.97,0.03 -> 0.03,0.97 for 2s; nothing for 2000; "
                                 "pen 0.05,0.05 for 2500; nothing for 300; pen 0.95,0.05 for 2500; nothing for 300; "
                                 "pen 0.95,0.95 for 2500; nothing for 300; pen 0.05,0.95 for 2500; nothing for 300; "
                                 "pen 0.5,0.5 for 2500; nothing for 2000; ";
    struct Case {
        const char* name;
        std::string script;
        std::int32_t drawResult;
        Snapshots snapshots;
        // After the NG wait. Else a touch after the NG was a tap: the step waits to be drawn
        // again, and the test's Esc ends the window.
        bool closesByItself = false;
    };
    const Case cases[] = {
        {"the square resumed at the wrong corner",
         kStartAndTenFingers +
             "finger 0.03,0.03 -> 0.97,0.03 for 1s; nothing for 300; finger 0.03,0.97 -> 0.03,0.03 for 1s",
         3,
         {"_tmp1.png"},
         true},
        {"a finger lifted halfway along the diagonal",
         kStartAndTenFingers + "finger " + kSquare +
             "; nothing for 2000; finger 0.03,0.03 -> 0.5,0.5 for 1s; nothing for 300; finger 0.5,0.5 -> 0.97,0.97 for "
             "1s",
         4,
         {"_tmp1.png", "_tmp3.png"}},
        {"the exit box touched while the pen hovers",
         fingerSteps + penSteps + "pen 0.25,0.5 hover for 1500; finger 0.5,0.8 for 500",
         8,
         {"_tmp1.png", "_tmp2.png", "_tmp4.png", "_tmp5.png", "_tmp6.png", "_tmp7.png"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = runDrawing(c.script, [](RecipeSettings& r) {
            r.ACCURACY_CHECK = 1;
            r.HOVER_CHECK = 1;
        });
        EXPECT_EQ(o.closedByItself, c.closesByItself);
        EXPECT_EQ(o.drawResult, c.drawResult);
        EXPECT_EQ(o.snapshots, c.snapshots);
    }
}

TEST(DrawingWithTheSimulator, NobodyAtTheStationEndsWithInitAfterTheLimitTime) {
    const Outcome o = runDrawing("at 0: nothing", [](RecipeSettings& r) { r.DRAW_INIT_LIMIT_TIME = 2000; });
    EXPECT_TRUE(o.closedByItself);
    EXPECT_EQ(o.drawResult, 1) << "INIT, E651";
    EXPECT_TRUE(o.snapshots.empty());
}

TEST(DrawingWithTheSimulator, TheWindowsReadersAreTheCollectionsInputReaders) {
    struct NullSink final : hidlink::ReportSink {
        void onReport(int, std::span<const std::uint8_t>) override {}
    } sink;
    test::Rig rig;
    rig.loadExample("PID0A52.ini");
    ASSERT_TRUE(connectTouchAndShow(rig.s()));
    ASSERT_TRUE(connectPenAndKeep(rig.s()));
    LinkReaders readers(rig.s().touch, rig.s().pen, sink);
    EXPECT_TRUE(readers.start(ReaderCollection::Touch));
    EXPECT_TRUE(readers.start(ReaderCollection::Pen));
    EXPECT_TRUE(rig.s().pen.inputReaderRunning());
    EXPECT_FALSE(readers.start(ReaderCollection::Touch)) << "one reader a collection";
    readers.stop(ReaderCollection::Touch);
    readers.stop(ReaderCollection::Pen);
    EXPECT_FALSE(rig.s().touch.inputReaderRunning());
    EXPECT_FALSE(rig.s().pen.inputReaderRunning());
    EXPECT_EQ(LinkReaders::collection(controllerlink::PEN_KEY), ReaderCollection::Pen);
    EXPECT_EQ(LinkReaders::collection(controllerlink::TOUCH_KEY), ReaderCollection::Touch);
}

}  // namespace
}  // namespace station::checks
