// Whole checks with the real automatic steps: the example station folder's quick recipe against
// the example scenarios, as examples/station/README.md promises them.
#include "station/sequence/judgement_steps.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
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

// A check's record holds what that check read: calibration frames an earlier check read (under
// another recipe) are not reported as this device's.
TEST(WholeCheck, ARecordHoldsOnlyTheFramesItsCheckRead) {
    RealRig rig(quietController());
    RecipeSettings& r = rig.s().recipe;
    r.DATA_COUNT = 1;
    r.CAL_OLD_DATA = 1;  // the calibration spread judged on calibration frames: they are read
    r.CAL_THRESHOLD = 1000;
    ASSERT_TRUE(rig.check());
    ASSERT_NE(rig.s().check.frames.calAverage[10][5], 0.0);

    r.CAL_THRESHOLD = 0;  // now only logged beside the actual data, and never read
    r.GET_ACTDATA = 1;
    ASSERT_TRUE(rig.check());
    EXPECT_EQ(rig.s().check.frames.calAverage[10][5], 0.0);
    EXPECT_EQ(rig.s().check.frames.calRetries, 0u);
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

// The quick recipe loaded after the full one and a log-only raw check: the open Tx line is judged
// by the quick recipe's own keys, and the full recipe's scan check is gone.
TEST(WholeCheck, ARecipeLoadedAfterAnotherJudgesByItsOwnKeys) {
    RealRig rig(exampleScenario("r6-open-tx.scenario"));
    rig.loadExample("R6_full.ini");
    rig.s().recipe.RAW_LOG_ONLY = 1;  // as a recipe that only logs the raw data leaves it
    rig.loadExample("PID0A52.ini");
    EXPECT_EQ(rig.s().recipe.SCAN_CHECK, 0);
    ASSERT_TRUE(rig.check());
    EXPECT_EQ(rig.s().runs.row(0).colCode, "E630");
}

// A controller a crashed station left in maintenance mode, scanning its test image (scan word 12
// cleared).
void leaveInMaintenanceMode(sim::ControllerDevice& d) {
    const std::uint8_t maintenance[] = {2, 1};
    ASSERT_TRUE(d.setFeature(sim::ControllerDevice::kTouchInterface, maintenance));
    const auto regs = d.registers();
    std::vector<std::uint8_t> block0(64, 0);
    block0[0] = 9;
    block0[1] = 2;
    std::copy_n(regs.begin(), 60, block0.begin() + 4);
    block0[4 + 24] = block0[4 + 25] = 0;
    ASSERT_TRUE(d.setFeature(sim::ControllerDevice::kTouchInterface, block0));
}

// The panel's actual data spread over a column (41 counts) is above a threshold of 30: the
// calibration judgement finds it however the controller was met at its first connection, and
// never judges data it could not read.
TEST(WholeCheck, CalibrationIsJudgedOnTheControllersOwnNormalScan) {
    struct Case {
        const char* what;
        std::function<void(sim::ControllerDevice&)> before;
        const char* abortMessage;  // null: the verdict NG E642
    };
    const Case cases[] = {
        {"came up in normal mode", [](sim::ControllerDevice&) {}, nullptr},
        {"left in maintenance mode", leaveInMaintenanceMode, nullptr},
        {"its first mode read refused",
         [](sim::ControllerDevice& d) {
             d.refuseExchange({false, {2}, 1});
         },
         nullptr},
        // Reset three times and its mode still unknown: the normal scan was never seen.
        {"its mode unreadable through every reset",
         [](sim::ControllerDevice& d) {
             leaveInMaintenanceMode(d);
             d.refuseExchange({false, {2}, 4});
         },
         "Failed to get normal scan register."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RealRig rig(quietController());
        rig.s().recipe.CAL_THRESHOLD = 30;
        c.before(*rig.device);
        // The run control's ticks until the controller is connected.
        ConnectResult connected = ConnectResult::NotPresent;
        for (int tick = 0; tick < 10 && connected != ConnectResult::Opened; ++tick) {
            connected = connectTouch(rig.s());
            rig.clock.advance(100);
        }
        ASSERT_EQ(connected, ConnectResult::Opened);

        const bool verdict = rig.check();
        EXPECT_FALSE(rig.ui.saw("not get actual data"));
        if (c.abortMessage != nullptr) {
            EXPECT_FALSE(verdict);
            EXPECT_EQ(rig.s().state, StationState::Error);
            EXPECT_EQ(rig.ui.messages.back(), c.abortMessage);
            continue;
        }
        ASSERT_TRUE(verdict);
        const RunRecord& row = rig.s().runs.row(0);
        EXPECT_EQ(row.colResult, "NG");
        EXPECT_EQ(row.colCode, "E642");
        EXPECT_EQ(columnText(row, Column::Raw), " CAL ");
    }
}

}  // namespace
}  // namespace station::test
