// The TKP check as its runner opens it, against the in-process controller and the scripted
// operator of the example pass scenario: the pen link's maintenance commands, its line reports
// and the controller's touch reports.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "sim/operator_script.h"
#include "station/checks/logic/tests/bus_readers.h"
#include "station/checks/logic/tests/fake_readers.h"
#include "station/checks/logic/tkp_check.h"
#include "station/checks/logic/tkp_inputs.h"
#include "station/sequence/check_sequence.h"
#include "station/sequence/connect.h"
#include "station/sequence/tests/sequence_rig.h"
#include "station/sequence/window_runners.h"

namespace station::checks {
namespace {

// The TKP line of the example operator who does everything right.
std::string passOperatorLine() {
    std::ifstream in(std::string(VORLICK_SOURCE_DIR) + "/examples/sim/r6-operator-pass.scenario");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("when tkp-scan", 0) == 0) return line;
    ADD_FAILURE() << "no TKP line in the pass scenario";
    return {};
}

struct Outcome {
    std::int32_t flags = -1;
    bool closedByItself = false;
    CheckResults results;
    std::vector<std::string> messages;
};

Outcome runTkp(const std::string& operatorLine, const std::function<void(RecipeSettings&)>& recipe = {},
               const std::function<void(sim::ControllerConfig&)>& controller = {}) {
    sim::ControllerConfig config = test::quietController();
    config.tkpNoiseSigma = 0.0;
    if (controller) controller(config);
    sim::OperatorScript script;
    std::string why;
    EXPECT_TRUE(sim::parseOperatorLine(operatorLine, 1, script, why)) << why;
    config.operatorScript = script;
    test::Rig rig(config);
    rig.loadExample("PID0A52.ini");
    RecipeSettings& r = rig.s().recipe;
    r.TKP_CHECK = 1;
    if (recipe) recipe(r);
    EXPECT_TRUE(connectTouchAndShow(rig.s()));
    EXPECT_TRUE(connectPenAndKeep(rig.s()));
    Outcome out;
    rig.ui.checkWindow = [&](const CheckWindowRequest&, CheckContext& check) {
        SimBusReaders readers(rig.bus, rig.deviceId);
        RecordingHost host;
        PenLinkDevice device(check.pen);
        TkpCheck w(tkpInputs(check), device, nullptr, readers, host, check.clock);
        w.open();
        out.closedByItself = readers.runUntilClosed(w, rig.clock, 90000);
        w.onKey(CheckKey::Esc);
    };
    CheckContext context = rig.s().checkContext();
    EXPECT_TRUE(runTkpCheck(context).ran);
    out.flags = rig.s().check.detail.tkpFlags;
    out.results = rig.s().check.results;
    return out;
}

TEST(TkpWithTheSimulator, ThePassOperatorPassesLoggedAndJudged) {
    for (const int logOnly : {1, 0}) {
        SCOPED_TRACE(logOnly);
        const Outcome o = runTkp(passOperatorLine(), [&](RecipeSettings& r) { r.TKP_LOG_ONLY = logOnly; });
        EXPECT_TRUE(o.closedByItself);
        EXPECT_EQ(o.flags, 0);
        EXPECT_EQ(o.results.tkpNoiseCheckNo, 1);
        ASSERT_EQ(o.results.tkpAverageHistory.size(), 1u);
        EXPECT_GT(o.results.tkpLineCountX, 0);
        EXPECT_GT(o.results.tkpLineCountY, 0);
        EXPECT_DOUBLE_EQ(o.results.tkpAverageHistory[0][0], 40.0);
        // The pen went over every line in the signal phase.
        EXPECT_GT(o.results.tkpFinalMax[0], 1000);
        EXPECT_GT(o.results.tkpFinalMax[kTkpFirstY + o.results.tkpLineCountY - 1], 1000);
    }
}

TEST(TkpWithTheSimulator, AnEmrPenLeftOnThePanelFailsBeforeAnyMeasurement) {
    const Outcome o = runTkp("when custom-pen-report: pen 0.5,0.5 for 30s");
    EXPECT_TRUE(o.closedByItself);
    EXPECT_EQ(o.flags, kTkpPenExists | kTkpIncomplete);
    EXPECT_TRUE(o.results.tkpAverageHistory.empty());
}

TEST(TkpWithTheSimulator, ASaturatingPenIsToldButPassesAJudgedCheck) {
    const Outcome o = runTkp(
        passOperatorLine(), [](RecipeSettings& r) { r.TKP_LOG_ONLY = 0; },
        [](sim::ControllerConfig& c) { c.tkpSignal = 4095; });
    EXPECT_EQ(o.flags, kTkpSaturationSignal);
}

}  // namespace
}  // namespace station::checks
