// Whole checks on the virtual controller: the verdict, the columns and the exit code each fault
// gives, the aborts, and the rules of the result table.
#include <gtest/gtest.h>

#include <functional>

#include "sequence_rig.h"

namespace station::test {
namespace {

TEST(CheckSequence, HealthyExampleDevicePasses) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().counters.serialText = "SN0001";
    const std::uint64_t before = rig.clock.sleptMs();
    ASSERT_TRUE(rig.check());

    EXPECT_EQ(rig.s().state, StationState::Ok);
    EXPECT_EQ(rig.s().exitCode, 0);
    EXPECT_EQ(rig.s().runs.rowCount(), 1u);
    const RunRecord& row = rig.s().runs.row(0);
    EXPECT_EQ(row.checkNo, 1);
    EXPECT_EQ(row.retryNo, 0);
    EXPECT_EQ(row.serialNo, "SN0001");
    EXPECT_EQ(row.colResult, "OK");
    EXPECT_EQ(row.colCode, "    ");
    EXPECT_EQ(row.colCom, "    ");
    EXPECT_EQ(row.colFw, " --- ");
    EXPECT_EQ(row.colShort, "   ");
    EXPECT_EQ(row.colOpen, "  ");
    EXPECT_EQ(row.colRaw, "     ");
    EXPECT_EQ(row.colDraw, " -- ");
    const std::vector<std::string> lines = {"Check #.1 S/N: SN0001 [2026/01/01 09:00:00]", "COM Open ... OK",
                                            "S/N Check ... OK"};
    EXPECT_EQ(rig.ui.messages, lines);
    EXPECT_EQ(rig.checks.calls, (std::vector<std::string>{"read", "short", "raw"}));
    EXPECT_EQ(rig.ui.resultCount, 1u);
    EXPECT_TRUE(rig.ui.startEnabled);
    EXPECT_EQ(rig.s().counters.okCount, 1);
    // The set-up's paced sets and waits (13 × 5 + 2000 + 10) and the block-6 write (5).
    EXPECT_EQ(rig.clock.sleptMs() - before, 2080u);
    EXPECT_EQ(rig.s().check.elapsed, "2.1sec");
    EXPECT_EQ(rig.device->mode(), 1);
}

// Every code a device or recipe fault gives: code, column short code, message, exit code.
TEST(CheckSequence, EachFaultGivesItsCodeColumnAndExitCode) {
    using Setup = std::function<void(Rig&)>;
    struct Case {
        const char* name;
        sim::Generation gen;
        Setup setup;
        const char* code;
        Column column;
        const char* shortCode;
        const char* message;  // null: the judging step writes its own
        std::function<void(Station&)> afterBegin = {};
        bool stuckInNormal = false;
        int penFirmware = -1;
    };
    auto hsync = [](ErrorId error) {
        return Setup([error](Rig& r) {
            r.s().recipe.HSYNC_PID = 0x0A31;
            r.checks.hsync = StepOutcome::ng(error);
            r.checks.hsyncFlags = 8;
        });
    };
    auto recipe = [](auto change) { return Setup([change](Rig& r) { change(r.s().recipe); }); };
    auto found = [](StepOutcome ScriptedChecks::*step, ErrorId first, std::optional<ErrorId> later = {}) {
        return Setup([step, first, later](Rig& r) { r.checks.*step = StepOutcome::ng(first, later); });
    };
    auto runners = [](auto change) {
        return Setup([change](Rig& r) {
            static ScriptedRunners shared;
            shared = ScriptedRunners{};
            change(shared, r.s().recipe);
            r.s().runners = &shared;
        });
    };
    using R = RecipeSettings;
    using G = sim::Generation;
    using E = ErrorId;
    const Case cases[] = {
        {"touch collection in normal mode", G::R6, nullptr, "E610", Column::Com, "T:NG", "COM Open ... NG", {}, true},
        {"pen without EMR",
         G::R5,
         recipe([](R& r) { r.EMR_CHECK = 1; }),
         "E611",
         Column::Com,
         "E:NG",
         "COM Open ... NG",
         {},
         false,
         0},
        {"serial number", G::R6, nullptr, "E608", Column::Com, "SNNG", "S/N Check ... NG",
         [](Station& s) { s.check.detail.serialNg = 1; }},
        {"firmware version", G::R6,
         recipe([](R& r) { r.COMPARE_FWVER = 1, r.FWVER_MAJOR = 0x0121, r.FWVER_MINOR = 3; }), "E601", Column::Fw,
         "T:VER", "F/W Check ... NG (F/W Version)"},
        {"vendor id", G::R6,
         recipe([](R& r) { r.COMPARE_FWVER = 1, r.FWVER_MAJOR = 0x0120, r.FWVER_MINOR = 3, r.VID = 0x3A1D; }), "E602",
         Column::Fw, " VID ", "F/W Check ... NG (VID)"},
        {"product id", G::R6,
         recipe([](R& r) { r.COMPARE_FWVER = 1, r.FWVER_MAJOR = 0x0120, r.FWVER_MINOR = 3, r.PID = 0x0A53; }), "E603",
         Column::Fw, " PID ", "F/W Check ... NG (PID)"},
        {"pen firmware version", G::R5, recipe([](R& r) { r.EMR_CHECK = 1, r.EMR_FWVER = 0x0013; }), "E611", Column::Fw,
         "E:VER", "EMR F/W Check ... NG"},
        {"checksum", G::R6, runners([](ScriptedRunners&, R& r) { r.WRITE_FW = 1; }), "E604", Column::Fw, " CHS ",
         "Write F/W ... NG (CheckSum)",
         [](Station& s) { s.check.detail.firmwareFlags = firmwareFaultWord(FirmwareFault::ChecksumDiffers); }},
        {"writer", G::R6, runners([](ScriptedRunners&, R& r) { r.WRITE_FW = 1; }), "E600", Column::Fw, " RWR ",
         "Write F/W ... NG (RomWrite)",
         [](Station& s) { s.check.detail.firmwareFlags = firmwareFaultWord(FirmwareFault::WriterFailed); }},
        {"Hsync firmware", G::R6, runners([](ScriptedRunners&, R& r) { r.WRITE_HSYNC_FW = 1; }), "E692", Column::Fw,
         " RL78", "Write Hsync F/W ... NG", [](Station& s) { markHsyncWriteFailure(s.check.detail.firmwareFlags); }},
        {"Hsync disabled", G::R6, hsync(E::HsyncDisable), "E690", Column::Com, "H:NG", nullptr},
        {"Hsync version", G::R6, hsync(E::HsyncVersion), "E691", Column::Com, "H:NG", nullptr},
        {"Hsync communication", G::R6, hsync(E::HsyncComm), "E693", Column::Com, "H:NG", nullptr},
        {"Hsync PID", G::R6, hsync(E::HsyncPid), "E694", Column::Com, "H:NG", nullptr},
        {"Hsync noise", G::R6, hsync(E::HsyncNoise), "E695", Column::Com, "H:NG", nullptr},
        {"Tx-Tx", G::R6, found(&ScriptedChecks::shortReport, E::ShortTxTx), "E620", Column::Short, "T-T", nullptr},
        {"Rx-Rx", G::R6, found(&ScriptedChecks::shortReport, E::ShortRxRx), "E621", Column::Short, "R-R", nullptr},
        {"Tx-Rx", G::R6, found(&ScriptedChecks::shortReport, E::ShortTxRx), "E622", Column::Short, "T-R", nullptr},
        {"Tx-Gnd", G::R6, found(&ScriptedChecks::shortReport, E::ShortTxGnd), "E623", Column::Short, "T-G", nullptr},
        {"Tx-Vdd", G::R6, found(&ScriptedChecks::shortReport, E::ShortTxVdd), "E624", Column::Short, "T-V", nullptr},
        {"Rx-Gnd", G::R6, found(&ScriptedChecks::shortReport, E::ShortRxGnd), "E625", Column::Short, "R-G", nullptr},
        {"Rx-Vdd", G::R6, found(&ScriptedChecks::shortReport, E::ShortRxVdd), "E626", Column::Short, "R-V", nullptr},
        {"raw Tx-Rx short", G::R6, found(&ScriptedChecks::raw, E::RawTxRxShort), "E622", Column::Raw, "S/T-R", nullptr},
        {"Tx open", G::R6, found(&ScriptedChecks::raw, E::RawTxOpen), "E630", Column::Raw, " O/Tx", nullptr},
        {"Rx open", G::R6, found(&ScriptedChecks::raw, E::RawRxOpen), "E631", Column::Raw, " O/Rx", nullptr},
        {"upper", G::R6, found(&ScriptedChecks::raw, E::RawUpper), "E640", Column::Raw, " UPR ", nullptr},
        {"lower", G::R6, found(&ScriptedChecks::raw, E::RawLower), "E641", Column::Raw, " LWR ", nullptr},
        {"cal", G::R6, found(&ScriptedChecks::raw, E::RawCal), "E642", Column::Raw, " CAL ", nullptr},
        {"dead band", G::R6, found(&ScriptedChecks::raw, E::RawDb), "E643", Column::Raw, " DB  ", nullptr},
        {"retry", G::R6, found(&ScriptedChecks::raw, E::RawRetry), "E644", Column::Raw, "RETRY", nullptr},
        {"raw then gap", G::R6, found(&ScriptedChecks::raw, E::RawUpper, E::GapHorizontal), "E640", Column::Raw,
         " GAP ", nullptr},
        {"gap vertical", G::R6, found(&ScriptedChecks::raw, E::GapVertical), "E646", Column::Raw, " GAP ", nullptr},
        {"drawing step 3", G::R6, runners([](ScriptedRunners& x, R& r) { r.DRAWING_CHECK = 1, x.drawResult = 3; }),
         "E653", Column::Draw, "T_SQ", "Drawing Test ... NG"},
        {"home key touched level", G::R6,
         runners([](ScriptedRunners& x, R& r) { r.HOMEKEY_CHECK = 1, x.homeKeyFlags = 4; }), "E680", Column::Raw,
         " HK  ", "Home Key Check ... NG(touched level)"},
        {"TKP noise", G::R6,
         runners([](ScriptedRunners& x, R& r) { r.TKP_CHECK = 1, r.TKP_LOG_ONLY = 0, x.tkpFlags = 64; }), "E660",
         Column::Draw, "TKP ", "TKP Pen Check ... NG(Noise)"},
        {"scan touch time-out", G::R6, runners([](ScriptedRunners& x, R& r) { r.SCAN_CHECK = 1, x.scanResults = {2}; }),
         "E670", Column::Draw, "SCAN", "Scan Check ... NG(TIMEOUT_touch)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ControllerConfig config = quietController(c.gen);
        config.stuckInNormalMode = c.stuckInNormal;
        if (c.penFirmware >= 0) config.penFirmware = static_cast<std::uint16_t>(c.penFirmware);
        Rig rig(config);
        rig.loadExample(c.gen == G::R5 ? "PID0952.ini" : "PID0A52.ini");
        if (c.setup) c.setup(rig);
        ASSERT_TRUE(rig.check(c.afterBegin));
        const RunRecord& row = rig.s().runs.row(0);
        EXPECT_EQ(row.colResult, "NG");
        EXPECT_EQ(rig.s().state, StationState::Ng);
        EXPECT_EQ(row.colCode, c.code);
        EXPECT_EQ(columnText(row, c.column), c.shortCode);
        if (c.message != nullptr) {
            EXPECT_TRUE(rig.ui.saw(c.message)) << rig.ui.messages.back();
        }
        EXPECT_EQ(rig.s().exitCode, std::stoi(std::string(c.code).substr(1)));
        EXPECT_NE(rig.s().check.detail.ngTotal, 0);
    }
}

TEST(CheckSequence, RawCodesKeepAnEarlierShortCodeExceptTheTxRxShort) {
    for (const ErrorId raw : {ErrorId::RawUpper, ErrorId::RawTxRxShort}) {
        const bool upper = raw == ErrorId::RawUpper;
        SCOPED_TRACE(upper ? "upper" : "Tx-Rx short");
        Rig rig;
        rig.loadExample("PID0A52.ini");
        rig.checks.shortReport = StepOutcome::ng(ErrorId::ShortTxTx);
        rig.checks.shortTotal = 2;
        rig.checks.raw = StepOutcome::ng(raw);
        rig.checks.rawTotal = 1;
        ASSERT_TRUE(rig.check());
        const RunRecord& row = rig.s().runs.row(0);
        EXPECT_EQ(row.colShort, "T-T");
        EXPECT_EQ(row.colRaw, upper ? " UPR " : "S/T-R");
        EXPECT_EQ(row.colCode, upper ? "E620" : "E622");
        // The exit code follows the code shown, not the last error found.
        EXPECT_EQ(rig.s().exitCode, upper ? 620 : 622);
        EXPECT_EQ(rig.s().check.detail.ngTotal, 3);
    }
}

TEST(CheckSequence, HsyncNgEndsTheSequenceBeforeTheSensorChecks) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().recipe.HSYNC_CHECK = 100;
    rig.checks.hsync = StepOutcome::ng(ErrorId::HsyncDisable);
    rig.checks.hsyncFlags = 2;
    ASSERT_TRUE(rig.check());
    EXPECT_EQ(rig.checks.calls, (std::vector<std::string>{"hsync"}));
    EXPECT_EQ(rig.s().check.detail.ngTotal, 2);
    EXPECT_EQ(rig.s().runs.row(0).colCom, "H:NG");
}

// Every abort of the automatic steps: no verdict, ERROR, exit code -1, and the next check
// takes the same number and the same row.
TEST(CheckSequence, AbortedCheckLeavesNoRowAndKeepsItsNumber) {
    struct Case {
        const char* name;
        StepOutcome ScriptedChecks::*step;
        const char* message;
    };
    const Case cases[] = {
        {"hsync", &ScriptedChecks::hsync, "Failed to check hsync signal (direct connection)."},
        {"read", &ScriptedChecks::read, "Failed to get raw data"},
        {"short", &ScriptedChecks::shortReport, "Failed to get pin check"},
        {"raw", &ScriptedChecks::raw, "Failed to get register."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        rig.s().recipe.HSYNC_CHECK_NO_MCU = 1;
        rig.checks.*c.step = StepOutcome::abort(c.message);
        EXPECT_FALSE(rig.check());
        EXPECT_EQ(rig.s().state, StationState::Error);
        EXPECT_EQ(rig.s().exitCode, -1);
        EXPECT_EQ(rig.s().runs.rowCount(), 0u);
        EXPECT_EQ(rig.ui.resultCount, 0u);
        EXPECT_EQ(rig.s().counters.okCount + rig.s().counters.ngCount, 0);

        rig.checks.*c.step = StepOutcome::pass();
        ASSERT_TRUE(rig.check());
        EXPECT_EQ(rig.s().state, StationState::Ok);
        EXPECT_EQ(rig.s().runs.rowCount(), 1u);
        EXPECT_EQ(rig.s().runs.row(0).checkNo, 1);
        EXPECT_TRUE(rig.ui.saw("Check #.1 S/N:  [2026/01/01 09:00:00]"));
    }
}

TEST(CheckSequence, OperatorChecksAllRunAndTheLastNgKeepsTheCode) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ScriptedRunners runners;
    rig.s().runners = &runners;
    RecipeSettings& r = rig.s().recipe;
    r.EXT_SWITCH_CHECK = 1;
    r.DRAWING_CHECK = 1;
    runners.extSwitchFlags = 1;  // the reset was not seen
    ASSERT_TRUE(rig.check());
    // Short and raw before an operator check: the controller is reset and reconnected first.
    EXPECT_EQ(rig.device->resets(), 1u);
    EXPECT_EQ(runners.ran, (std::vector<RunnerCheck>{RunnerCheck::ExternalSwitch, RunnerCheck::Drawing}));
    const RunRecord& row = rig.s().runs.row(0);
    EXPECT_EQ(row.colResult, "NG");  // a passing drawing check does not undo it
    EXPECT_EQ(row.colCode, "E700");
    EXPECT_EQ(row.colCom, "RST");
    EXPECT_EQ(row.colDraw, "    ");
    EXPECT_TRUE(rig.ui.saw("External Switch Check ... NG (Reset)"));
    EXPECT_TRUE(rig.ui.saw("Drawing Test ... OK"));
}

TEST(CheckSequence, NgWithoutCodeExitsWithOne) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ScriptedRunners runners;
    rig.s().runners = &runners;
    rig.s().recipe.EXT_SWITCH_CHECK = 1;
    runners.extSwitchFlags = 2;  // device not open: a failure other than the reset
    ASSERT_TRUE(rig.check());
    EXPECT_TRUE(rig.ui.saw("External Switch Check ... NG"));
    EXPECT_EQ(rig.s().runs.row(0).colResult, "NG");
    EXPECT_EQ(rig.s().runs.row(0).colCode, "    ");
    EXPECT_EQ(rig.s().exitCode, 1);
}

TEST(CheckSequence, WithoutAJudgedCheckTheVerdictIsNoTest) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ScriptedRunners runners;
    rig.s().runners = &runners;
    RecipeSettings& r = rig.s().recipe;
    r.SHORT_CHECK = r.RAW_CHECK = 0;
    r.EXT_SWITCH_CHECK = 1;
    runners.extSwitchFlags = 1;
    ASSERT_TRUE(rig.check());
    EXPECT_EQ(rig.s().state, StationState::NoTest);
    EXPECT_EQ(rig.s().runs.row(0).colResult, "--");
    EXPECT_EQ(rig.s().runs.row(0).colCode, "E700");
    EXPECT_EQ(rig.s().runs.row(0).colCom, "RST");
    EXPECT_EQ(rig.s().runs.row(0).colShort, "-- ");
    EXPECT_EQ(rig.s().runs.rowCount(), 1u);
    EXPECT_EQ(rig.s().exitCode, -1);  // no verdict was given
}

TEST(CheckSequence, ScanCheckIsTriedThreeTimes) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ScriptedRunners runners;
    rig.s().runners = &runners;
    rig.s().recipe.SCAN_CHECK = 1;
    runners.scanResults = {1, 4, 0};
    const std::uint64_t before = rig.clock.sleptMs();
    ASSERT_TRUE(rig.check());
    EXPECT_TRUE(rig.ui.saw("Scan Check ... OK"));
    EXPECT_EQ(rig.s().check.scanRetry, 2);
    EXPECT_EQ(rig.s().state, StationState::Ok);
    EXPECT_EQ(rig.clock.sleptMs() - before, 2080u + 2 * 5000u);
}

TEST(CheckSequence, TkpSaturationAlonePassesUnlessLogOnly) {
    for (const std::int32_t logOnly : {0, 1}) {
        SCOPED_TRACE(logOnly);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        ScriptedRunners runners;
        rig.s().runners = &runners;
        rig.s().recipe.TKP_CHECK = 1;
        rig.s().recipe.TKP_LOG_ONLY = logOnly;
        runners.tkpFlags = 2;
        ASSERT_TRUE(rig.check());
        if (logOnly == 0) {
            EXPECT_TRUE(rig.ui.saw("TKP Pen Check ... OK"));
            EXPECT_EQ(rig.s().state, StationState::Ok);
        } else {
            EXPECT_TRUE(rig.ui.saw("Saturation occurred! ... to increase GAIN at ini file"));
            EXPECT_EQ(rig.s().runs.row(0).colCode, "E660");
        }
    }
}

TEST(CheckSequence, OperatorCheckThatCannotRunAbortsTheCheck) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ScriptedRunners runners;
    runners.cannotRun = RunnerCheck::HomeKey;
    runners.cannotRunSet = true;
    rig.s().runners = &runners;
    rig.s().recipe.HOMEKEY_CHECK = 1;
    EXPECT_FALSE(rig.check());
    EXPECT_EQ(rig.s().check.detail.homeKeyFlags, 1);
    EXPECT_EQ(rig.s().state, StationState::Error);
    EXPECT_EQ(rig.s().runs.rowCount(), 0u);
}

TEST(CheckSequence, RetryTakesBackTheVerdictItReplaces) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    rig.s().counters.serialText = "A1";
    ASSERT_TRUE(rig.check());
    rig.s().counters.savedSerial = "A1";
    rig.s().counters.serialText.clear();
    rig.checks.raw = StepOutcome::ng(ErrorId::RawLower);
    rig.checks.rawTotal = 1;
    ASSERT_TRUE(beginCheck(rig.s(), true));
    connectTouchAndShow(rig.s());
    ASSERT_TRUE(runCheckSequence(rig.s()));
    finishCheck(rig.s());
    EXPECT_EQ(rig.s().counters.okCount, 0);
    EXPECT_EQ(rig.s().counters.ngCount, 1);
    EXPECT_EQ(rig.s().runs.rowCount(), 2u);
    EXPECT_EQ(rig.s().runs.row(1).checkNo, 1);
    EXPECT_EQ(rig.s().runs.row(1).retryNo, 1);
    EXPECT_EQ(rig.s().runs.row(1).serialNo, "A1");
    EXPECT_TRUE(rig.ui.saw("Check #.1 (Retry: 1) S/N: A1 [2026/01/01 09:00:02]"));
}

TEST(CheckSequence, FullTableRefusesAnotherCheckAndKeepsEveryRow) {
    Rig rig;
    rig.loadExample("PID0A52.ini");
    ASSERT_TRUE(rig.check());
    const RunRecord first = rig.s().runs.row(0);
    while (!rig.s().runs.full()) {
        RunRecord row;
        row.checkNo = static_cast<std::int32_t>(rig.s().runs.rowCount() + 1);
        ASSERT_TRUE(rig.s().runs.append(row));
    }
    const std::int32_t checks = rig.s().counters.checkCount;
    rig.ui.messages.clear();
    EXPECT_FALSE(beginCheck(rig.s(), false));
    EXPECT_FALSE(beginCheck(rig.s(), true));
    ASSERT_EQ(rig.ui.messages.size(), 2u);
    EXPECT_EQ(rig.ui.messages[0],
              "The result list is full (50000 checks): save the logs and restart the station to test more devices.");
    EXPECT_EQ(rig.s().counters.checkCount, checks);
    EXPECT_EQ(rig.s().runs.rowCount(), RunRecordTable::kRows);
    EXPECT_EQ(rig.s().runs.row(0).colResult, first.colResult);
    EXPECT_EQ(rig.s().runs.row(0).checkNo, 1);
    EXPECT_EQ(rig.s().runs.row(RunRecordTable::kRows - 1).checkNo, 50000);
    rig.ui.messages.clear();
    EXPECT_FALSE(runCheckSequence(rig.s()));  // nothing to write into
    EXPECT_EQ(rig.ui.messages, std::vector<std::string>{"No check was started."});
    EXPECT_EQ(rig.s().runs.rowCount(), RunRecordTable::kRows);
}

TEST(CheckSequence, RecipeNeedingAPartThisStationLacksStartsNoCheck) {
    struct Case {
        const char* name;
        std::int32_t RecipeSettings::*key;
        bool withAutomatic;
        const char* message;
    };
    const Case cases[] = {
        {"drawing", &RecipeSettings::DRAWING_CHECK, true,
         "This build cannot run the drawing check (DRAWING_CHECK) yet: no check was started."},
        {"firmware", &RecipeSettings::WRITE_FW, true,
         "This build cannot run the firmware writing (WRITE_FW) yet: no check was started."},
        {"short", &RecipeSettings::SHORT_CHECK, false,
         "This build cannot run the short check (SHORT_CHECK) yet: no check was started."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.loadExample("PID0A52.ini");
        if (!c.withAutomatic) rig.s().automatic = nullptr;
        rig.s().recipe.*c.key = 1;
        EXPECT_FALSE(rig.check());
        EXPECT_EQ(rig.ui.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(rig.s().counters.checkCount, 0);
        EXPECT_EQ(rig.s().state, StationState::Ready);
        EXPECT_EQ(rig.s().exitCode, -1);
    }
}

TEST(ErrorCatalogue, ExitCodeIsTheShownErrorsNumberAndNeverSuccess) {
    EXPECT_EQ(ngExitCode(ErrorId::ComTouch), 610);
    EXPECT_EQ(ngExitCode(ErrorId::ExtSwitchReset), 700);
    EXPECT_EQ(ngExitCode(ErrorId::RawTxRxShort), 622);
    EXPECT_EQ(ngExitCode(std::nullopt), 1);  // an NG whose step named no error
}

TEST(RunRecord, InitialColumnsFollowTheRecipe) {
    RunRecord row;
    RecipeSettings r;
    initialiseColumns(row, r);
    EXPECT_EQ(row.colFw + row.colShort + row.colOpen + row.colRaw + row.colDraw, " --- -- -- ---  -- ");
    r.COMPARE_FWVER = r.RAW_CHECK = r.DRAWING_CHECK = 1;
    initialiseColumns(row, r);
    EXPECT_EQ(row.colFw + "|" + row.colShort + "|" + row.colOpen + "|" + row.colRaw + "|" + row.colDraw,
              "     |   |  |     |    ");
    r = RecipeSettings{};
    r.SHORT_CHECK = 1;
    initialiseColumns(row, r);
    EXPECT_EQ(row.colShort, "   ");
    EXPECT_EQ(row.colOpen, "--");
}

TEST(ErrorCatalogue, RowsAreDistinctAndCodesMatchTheirNumbers) {
    for (const ErrorEntry& e : errorCatalogue()) {
        SCOPED_TRACE(e.message);
        EXPECT_EQ(e.code, "E" + std::to_string(e.number));
        EXPECT_EQ(&errorEntry(e.id), &e);
        // One row per message of a number: no two rows share both.
        int same = 0;
        for (const ErrorEntry& other : errorCatalogue()) same += other.number == e.number && other.message == e.message;
        EXPECT_EQ(same, 1);
    }
    EXPECT_EQ(errorEntry(ErrorId::ShortTxRx).message, "Short Check ... NG (Tx-Rx)");
    EXPECT_EQ(errorEntry(ErrorId::RawTxRxShort).message, "Raw Data Check ... NG (Tx-Rx Short)");
}

}  // namespace
}  // namespace station::test
