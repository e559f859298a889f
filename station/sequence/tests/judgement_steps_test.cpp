// Whole checks with the real automatic steps: the example station folder's quick recipe against
// the example scenarios, as examples/station/README.md promises them.
#include "station/sequence/judgement_steps.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sequence_rig.h"
#include "sim/controller_scenario.h"
#include "sim/scenario.h"

namespace station::test {
namespace {

sim::ControllerConfig exampleScenario(const std::string& file) {
    const std::string path = std::string(VORLICK_SOURCE_DIR) + "/examples/sim/" + file;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto sections = sim::parseScenario(text.str(), file, error);
    sim::ControllerConfig config;
    EXPECT_TRUE(sections && !sections->empty()) << error;
    if (sections && !sections->empty()) {
        EXPECT_TRUE(sim::controllerConfigFromSection(sections->front(), config, error)) << error;
    }
    return config;
}

struct RealRig : Rig {
    explicit RealRig(sim::ControllerConfig config) : Rig(std::move(config)) {
        station->automatic = steps.get();
        loadExample("PID0A52.ini");
    }
    std::unique_ptr<JudgementSteps> steps = std::make_unique<JudgementSteps>();
};

TEST(WholeCheck, ExampleScenariosGiveTheCodesTheStationFolderPromises) {
    struct Case {
        const char* scenario;
        const char* result;
        const char* code;
        Column column;
        const char* shortCode;
    };
    const Case cases[] = {
        {"r6-healthy.scenario", "OK", "    ", Column::Raw, "     "},
        {"r6-open-tx.scenario", "NG", "E630", Column::Raw, " O/Tx"},
        {"r6-short.scenario", "NG", "E622", Column::Raw, "S/T-R"},
        {"r6-pin-faults.scenario", "NG", "E623", Column::Short, "T-G"},
        {"r6-dead-noisy.scenario", "NG", "E631", Column::Raw, " O/Rx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        RealRig rig(exampleScenario(c.scenario));
        ASSERT_TRUE(rig.check());
        const RunRecord& row = rig.s().runs.row(0);
        EXPECT_EQ(row.colResult, c.result);
        EXPECT_EQ(row.colCode, c.code);
        EXPECT_EQ(columnText(row, c.column), c.shortCode);
        EXPECT_EQ(rig.s().exitCode, std::string(c.result) == "OK" ? 0 : std::stoi(std::string(c.code).substr(1)));
        EXPECT_EQ(rig.s().check.detail.ngTotal, rig.s().check.detail.shortTotal + rig.s().check.detail.rawTotal);
    }
}

TEST(WholeCheck, RefusedReadAbortsAndTheNextCheckReusesTheRow) {
    RealRig rig(quietController());
    ASSERT_TRUE(beginCheck(rig.s(), false));
    ASSERT_TRUE(connectTouchAndShow(rig.s()));
    rig.device->refuseExchange({false, {9, 0x15}, 1});  // the register read of the preparation
    EXPECT_FALSE(runCheckSequence(rig.s()));
    endWithoutVerdict(rig.s());
    EXPECT_EQ(rig.ui.messages.back(), "Failed to get register.");
    EXPECT_EQ(rig.s().state, StationState::Error);
    EXPECT_EQ(rig.s().exitCode, -1);
    EXPECT_EQ(rig.s().runs.rowCount(), 0u);

    ASSERT_TRUE(rig.check());
    EXPECT_EQ(rig.s().state, StationState::Ok);
    EXPECT_EQ(rig.s().runs.rowCount(), 1u);
    EXPECT_EQ(rig.s().runs.row(0).checkNo, 1);
}

}  // namespace
}  // namespace station::test
