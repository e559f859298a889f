// The short check, the raw data reads and judgement and the Hsync MCU checks against the
// virtual controller, with the example station's recipes: a device or recipe with each fault
// gives its code, and a refused exchange aborts with its message.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "sim/controller_scenario.h"
#include "sim/scenario.h"
#include "station/sequence/tests/check_steps.h"

namespace {

using judgementfx::CheckRun;
using judgementfx::SimStation;
using station::RecipeSettings;

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

sim::PinFault pin(bool rx, int n, bool vdd) { return sim::PinFault{rx, n, vdd}; }

struct FaultCase {
    const char* what;
    std::function<void(sim::ControllerConfig&)> device;
    std::function<void(RecipeSettings&)> recipe;
    std::string colCode;
    std::string line;  // the NG message the check wrote
};

void runCases(const std::vector<FaultCase>& cases) {
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto recipe = judgementfx::exampleRecipe("R6_full.ini");
        if (c.recipe) c.recipe(*recipe);
        sim::ControllerConfig config;
        if (c.device) c.device(config);
        SimStation st(config);
        ASSERT_TRUE(st.prepare(*recipe));
        station::HsyncInfo info;
        const CheckRun run = judgementfx::runAutomaticChecks(st, *recipe, info);
        EXPECT_FALSE(run.abortMessage.has_value()) << *run.abortMessage;
        EXPECT_EQ(run.colCode, c.colCode);
        if (!c.line.empty()) {
            EXPECT_TRUE(contains(run.lines, c.line)) << ::testing::PrintToString(run.lines);
        }
    }
}

TEST(AutomaticChecksOnController, HealthyDevicePassesEveryJudgement) {
    auto recipe = judgementfx::exampleRecipe("R6_full.ini");
    SimStation st;
    ASSERT_TRUE(st.prepare(*recipe));
    station::HsyncInfo info;
    const CheckRun run = judgementfx::runAutomaticChecks(st, *recipe, info);
    EXPECT_EQ(run.colCode, "    ");
    EXPECT_EQ(run.lines,
              (std::vector<std::string>{"Short Check ... OK", "Raw Data Check ... OK", "Gap Data Check ... OK"}));
    EXPECT_EQ(run.raw->counters.rawTotal, 0);
    EXPECT_EQ(run.shorts.shortTotal, 0);
    // The maps hold the judged data: the panel sits on its reference within the noise.
    EXPECT_NEAR(run.raw->maps.rawDiff[45][71], 0.0, 5.0);
    EXPECT_NEAR(st.frames.rawAverage[45][71], 2000 + 4 * 45 + 2 * 71, 5.0);
    EXPECT_GT(run.raw->maps.calColumns[2].range, 30.0);  // actual data 300 + t over rows 2..43
}

TEST(AutomaticChecksOnController, ShortCheckCodesFromPinFaults) {
    const auto pins = [](std::vector<sim::PinFault> faults) {
        return [faults](sim::ControllerConfig& c) { c.panel.pinFaults = faults; };
    };
    runCases({
        {"Tx-Tx",
         pins({pin(false, 3, true), pin(false, 3, false), pin(false, 9, true), pin(false, 9, false)}),
         {},
         "E620",
         "Short Check ... NG (Tx-Tx)"},
        {"Rx-Rx",
         pins({pin(true, 1, true), pin(true, 1, false), pin(true, 40, true), pin(true, 40, false)}),
         {},
         "E621",
         "Short Check ... NG (Rx-Rx)"},
        {"Tx-Rx",
         pins({pin(false, 3, true), pin(false, 3, false), pin(true, 7, true), pin(true, 7, false)}),
         {},
         "E622",
         "Short Check ... NG (Tx-Rx)"},
        {"Tx-Gnd", pins({pin(false, 3, false), pin(true, 12, true)}), {}, "E623", "Short Check ... NG (Tx-Gnd)"},
        {"Tx-Vdd", pins({pin(false, 3, true)}), {}, "E624", "Short Check ... NG (Tx-Vdd)"},
        {"Rx-Gnd", pins({pin(true, 12, false)}), {}, "E625", "Short Check ... NG (Rx-Gnd)"},
        {"Rx-Vdd", pins({pin(true, 12, true)}), {}, "E626", "Short Check ... NG (Rx-Vdd)"},
        {"a pin the Y-LUT does not use", pins({pin(false, 46, true)}), {}, "    ", "Short Check ... OK"},
    });
}

TEST(AutomaticChecksOnController, RawDataCodesFromPanelAndRecipeFaults) {
    runCases({
        {"frames that never arrive", [](sim::ControllerConfig& c) { c.zeroFrames = 3; },
         [](RecipeSettings& s) { s.DATA_COUNT_RETRY = 3; }, "E644", "Raw Data Check ... NG (Retry)"},
        {"Tx 12 shorted to Rx 30",
         [](sim::ControllerConfig& c) {
             c.panel.shorts = {{12, 30}};
         },
         {},
         "E622",
         "Raw Data Check ... NG (Tx-Rx Short)"},
        {"Tx 5 open",
         [](sim::ControllerConfig& c) { c.panel.openTx = {5}; },
         {},
         "E630",
         "Raw Data Check ... NG (Tx Open)"},
        {"Rx 3 open",
         [](sim::ControllerConfig& c) { c.panel.openRx = {3}; },
         {},
         "E631",
         "Raw Data Check ... NG (Rx Open)"},
        {"a reference 400 too low",
         {},
         [](RecipeSettings& s) { s.ReferenceTable[20][40] -= 400; },
         "E640",
         "Raw Data Check ... NG (Upper)"},
        {"a dead cell",
         [](sim::ControllerConfig& c) {
             c.panel.dead = {{20, 40}};
         },
         {},
         "E641",
         "Raw Data Check ... NG (Lower)"},
        {"a calibration threshold below the panel's spread",
         {},
         [](RecipeSettings& s) { s.CAL_THRESHOLD = 30; },
         "E642",
         "Raw Data Check ... NG (Cal)"},
        {"an inner noisy cell",
         [](sim::ControllerConfig& c) {
             c.panel.noisy = {{30, 10}};
         },
         {},
         "E643",
         "Raw Data Check ... NG (DB)"},
        {"a reference column 100 off",
         {},
         [](RecipeSettings& s) {
             for (auto& row : s.ReferenceTable) row[10] += 100;
         },
         "E645",
         "Raw Data Check ... NG (GAP Horizontal (Rx Open))"},
        {"a reference row 100 off",
         {},
         [](RecipeSettings& s) {
             for (auto& v : s.ReferenceTable[10]) v += 100;
         },
         "E646",
         "Raw Data Check ... NG (GAP Vertical (Tx Open))"},
    });
}

TEST(AutomaticChecksOnController, RawCodesAfterAShortCheckCode) {
    const auto txTx = [](sim::ControllerConfig& c) {
        c.panel.pinFaults = {pin(false, 3, true), pin(false, 3, false), pin(false, 9, true), pin(false, 9, false)};
    };
    runCases({
        {"an upper fault keeps E620", txTx, [](RecipeSettings& s) { s.ReferenceTable[20][40] -= 400; }, "E620",
         "Raw Data Check ... NG (Upper)"},
        {"a Tx-Rx short in the raw data writes E622 over E620",
         [txTx](sim::ControllerConfig& c) {
             txTx(c);
             c.panel.shorts = {{12, 30}};
         },
         {},
         "E622",
         "Raw Data Check ... NG (Tx-Rx Short)"},
    });
}

TEST(AutomaticChecksOnController, HsyncCodesFromMcuFaults) {
    const auto none = [](sim::ControllerConfig& c) { c.hsync = sim::HsyncMcu::None; };
    runCases({
        {"MCU product id differs", {}, [](RecipeSettings& s) { s.HSYNC_PID = 0x0A32; }, "E694", "HSYNC MCU PID ... NG"},
        {"MCU silent on the product id", none, [](RecipeSettings& s) { s.HSYNC_PID = 0x0A31; }, "E693",
         "HSYNC MCU communicate error."},
        {"MCU firmware differs",
         {},
         [](RecipeSettings& s) { s.HSYNC_VER = 0x0103; },
         "E691",
         "HSYNC MCU FW ver ... NG"},
        {"MCU silent on the version", none, [](RecipeSettings& s) { s.HSYNC_VER = 0x0102; }, "E693",
         "HSYNC MCU communicate error."},
        {"Hsync samples too low", [](sim::ControllerConfig& c) { c.hsyncSample = 0x0032; },
         [](RecipeSettings& s) { s.HSYNC_CHECK = 100; }, "E690", "HSYNC disable."},
        {"MCU silent on the signal", none, [](RecipeSettings& s) { s.HSYNC_CHECK = 100; }, "E693",
         "HSYNC MCU communicate error."},
        {"MCU silent on the signal, judged as no signal", none,
         [](RecipeSettings& s) {
             s.HSYNC_CHECK = 100;
             s.HSYNC_CHK_RES_LIMIT = 1;
         },
         "E690", "HSYNC MCU communicate error."},
        {"noise out of range", [](sim::ControllerConfig& c) { c.hsyncNoise = 50; },
         [](RecipeSettings& s) { s.HSYNC_MEASURING = 1; }, "E695", "HSYNC Noise Measuring ... NG"},
        {"MCU silent on the noise", none, [](RecipeSettings& s) { s.HSYNC_MEASURING = 1; }, "E693",
         "HSYNC MCU communicate error."},
        {"no Hsync on the direct read", [](sim::ControllerConfig& c) { c.hsyncSignal = false; },
         [](RecipeSettings& s) { s.HSYNC_CHECK_NO_MCU = 1; }, "E690", "HSYNC disable. (direct connection)"},
    });
}

TEST(AutomaticChecksOnController, HsyncFlagsAndWhatTheyLeaveOfTheMcuTexts) {
    struct Case {
        const char* what;
        bool silent;
        std::function<void(RecipeSettings&)> recipe;
        std::int32_t flags;
        int valid;
    };
    const Case cases[] = {
        {"PID differs", false, [](RecipeSettings& s) { s.HSYNC_PID = 0x0A32; }, station::kHsyncPidDiffers, 1},
        {"version differs", false, [](RecipeSettings& s) { s.HSYNC_VER = 0x0103; }, station::kHsyncVersionDiffers, 1},
        {"PID unread", true, [](RecipeSettings& s) { s.HSYNC_PID = 1; }, station::kHsyncComError, 0},
        {"signal unread", true, [](RecipeSettings& s) { s.HSYNC_CHECK = 100; }, station::kHsyncComError, 0},
        {"signal unread with the resource limit", true,
         [](RecipeSettings& s) {
             s.HSYNC_CHECK = 100;
             s.HSYNC_CHK_RES_LIMIT = 1;
         },
         station::kHsyncDisabled, 0},
        {"noise out of range", false,
         [](RecipeSettings& s) {
             s.HSYNC_MEASURING = 1;
             s.HSYNC_MEAS_MAX = -1;
         },
         station::kHsyncNoiseFailed, 1},
        {"noise unread", true, [](RecipeSettings& s) { s.HSYNC_MEASURING = 1; }, station::kHsyncComError, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto recipe = std::make_unique<RecipeSettings>();
        c.recipe(*recipe);
        sim::ControllerConfig config;
        if (c.silent) config.hsync = sim::HsyncMcu::None;
        SimStation st(config);
        ASSERT_TRUE(st.prepare(*recipe));
        station::HsyncInfo info;
        info.hsyncInfoValid = c.silent ? 1 : 0;  // a silent MCU clears what an earlier read set
        judgementfx::FakeUi ui;
        station::HsyncCheckResult result;
        EXPECT_TRUE(station::runHsyncChecks(*recipe, st.pen, ui, info, result).failed());
        EXPECT_EQ(result.hsyncFlags, c.flags);
        if (c.silent && recipe->HSYNC_CHECK >= 1) {
            EXPECT_EQ(info.hsyncInfoValid, 1);  // the signal read leaves the MCU texts alone
        } else {
            EXPECT_EQ(info.hsyncInfoValid, c.valid);
        }
    }
}

// Every abort of the reads, the pin check and the direct Hsync read, from the one exchange
// refused at that point.
TEST(AutomaticChecksOnController, RefusedExchangeAbortsWithItsMessage) {
    using judgementfx::penSet;
    using judgementfx::touchSet;
    struct Case {
        const char* message;
        bool drift;  // the controller scans another way than the test image
        std::function<void(RecipeSettings&)> recipe;
        judgementfx::Refusal refusal;
    };
    const auto oneFrame = [](RecipeSettings& s) { s.DATA_COUNT = 1; };
    const Case cases[] = {
        {"Failed to get register.", false, {}, touchSet({9, 1, 1, 5})},
        {"Failed to set register.", true, {}, touchSet({9, 2, 0, 0})},     // the normal scan image
        {"Failed to set register.", true, {}, touchSet({9, 2, 0, 0}, 2)},  // the test image after it
        {"Failed to disable auto calib switch.", true, {}, touchSet({9, 0, 1})},
        {"Failed to get raw data", false, oneFrame, touchSet({9, 1, 0, 0x0B})},
        {"Failed to get calibration data", false,
         [](RecipeSettings& s) {
             s.DATA_COUNT = 1;
             s.CAL_OLD_DATA = 1;
         },
         touchSet({9, 1, 0, 0x0B}, 2)},
        // Register writes: one per raw frame, one per actual frame, then the test image.
        {"Failed to set register for test.", false, oneFrame, touchSet({9, 2, 0, 0}, 3)},
        // Frame selects: raw, actual, then the standard deviation.
        {"Failed to get Standard Deviation Data", false, oneFrame, touchSet({9, 1, 0, 0x0B}, 3)},
        {"Failed to get pin check", false, {}, touchSet({9, 2, 7})},
        {"Failed to check hsync signal (direct connection).", false,
         [](RecipeSettings& s) { s.HSYNC_CHECK_NO_MCU = 1; }, penSet({0x10, 0x02})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto recipe = judgementfx::exampleRecipe("R6_full.ini");
        if (c.recipe) c.recipe(*recipe);
        SimStation st;
        ASSERT_TRUE(st.prepare(*recipe));
        if (!c.drift) st.wire->refuse(c.refusal);
        station::HsyncInfo info;
        const auto drift = [&] {
            if (!c.drift) return;
            st.touch.setRegisterWord(12, 5);
            ASSERT_TRUE(st.touch.writeRegisters());
            st.wire->refuse(c.refusal);  // from the reads on
        };
        const CheckRun run = judgementfx::runAutomaticChecks(st, *recipe, info, drift);
        EXPECT_TRUE(st.wire->refused());
        ASSERT_TRUE(run.abortMessage.has_value());
        EXPECT_EQ(*run.abortMessage, c.message);
        ASSERT_FALSE(run.lines.empty());
        EXPECT_EQ(run.lines.back(), c.message);
        EXPECT_EQ(run.colCode, "    ");
    }
}

// The actual data come from the normal scan. Unread (a refused read, or no normal scan image to
// read them with), they abort the check when the calibration spread is judged on them, and are
// only a message when they are only logged.
TEST(AutomaticChecksOnController, ActualDataThatCannotBeReadAreNeverJudged) {
    struct Case {
        const char* what;
        std::function<void(RecipeSettings&)> recipe;
        int refuseSelect;  // the nth frame select refused (raw, [calibration,] actual); 0 none
        bool normalScanCaptured;
        const char* abortMessage;  // null: the judgements run after "not get actual data"
    };
    const auto loggedOnly = [](RecipeSettings& s) { s.CAL_THRESHOLD = 0; };  // GET_ACTDATA stays on
    const auto onCalibrationData = [](RecipeSettings& s) { s.CAL_OLD_DATA = 1; };
    const Case cases[] = {
        {"judged, read refused", {}, 2, true, "not get actual data"},
        {"judged, no normal scan image", {}, 0, false, "Failed to get normal scan register."},
        {"logged only, read refused", loggedOnly, 2, true, nullptr},
        {"logged only, no normal scan image", loggedOnly, 0, false, nullptr},
        {"spread judged on the calibration data, actual read refused", onCalibrationData, 3, true, nullptr},
        {"spread judged on the calibration data, no normal scan image", onCalibrationData, 0, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto recipe = judgementfx::exampleRecipe("R6_full.ini");
        recipe->DATA_COUNT = 1;
        if (c.recipe) c.recipe(*recipe);
        SimStation st;
        ASSERT_TRUE(st.prepare(*recipe));
        st.frames.actualAverage[10][10] = 310;  // as an earlier check read them
        st.normalScanCaptured = c.normalScanCaptured;
        if (c.refuseSelect != 0) st.wire->refuse(judgementfx::touchSet({9, 1, 0, 0x0B}, c.refuseSelect));
        station::HsyncInfo info;
        const CheckRun run = judgementfx::runAutomaticChecks(st, *recipe, info);
        EXPECT_EQ(st.wire->refused(), c.refuseSelect != 0);
        if (c.abortMessage != nullptr) {
            ASSERT_TRUE(run.abortMessage.has_value());
            EXPECT_EQ(*run.abortMessage, c.abortMessage);
            EXPECT_EQ(run.lines, std::vector<std::string>{c.abortMessage});
            continue;
        }
        EXPECT_FALSE(run.abortMessage.has_value()) << *run.abortMessage;
        ASSERT_FALSE(run.lines.empty());
        EXPECT_EQ(run.lines.front(), "not get actual data");
        EXPECT_EQ(st.frames.actualAverage[10][10], 0.0);  // nothing of an earlier read is logged
        EXPECT_TRUE(contains(run.lines, "Raw Data Check ... OK")) << ::testing::PrintToString(run.lines);
    }
}

// A maintenance exchange of the touch collection by what it does; a register write names its
// scan word 12 (5: the normal scan, 0: the test image).
std::string exchangeName(const judgementfx::WireExchange& e) {
    const std::vector<std::uint8_t>& r = e.report;
    const auto at = [&r](std::size_t i) { return i < r.size() ? static_cast<int>(r[i]) : -1; };
    if (!e.isSet) return "answer";
    if (at(0) == 9 && at(1) == 0) return "calibration " + std::to_string(at(2));
    if (at(0) == 9 && at(1) == 1) return "select " + std::to_string(at(2)) + "/" + std::to_string(at(3));
    if (at(0) == 9 && at(1) == 2 && at(2) == 0) return "registers, word 12 = " + std::to_string(at(28) | at(29) << 8);
    if (at(0) == 9 && at(1) == 2 && at(2) == 1) return "registers, second part";
    if (at(0) == 9 && at(1) == 2 && at(2) == 6) return "block 6";
    return "report " + std::to_string(at(0));
}

// The restore of drifted scan registers, exchange by exchange on the virtual clock: 50 ms after
// the register read the normal scan image, then a calibration, the automatic calibration off,
// block 6 and the test image, each 10 ms after the one before; the raw reads begin 10 ms after
// the test image. Every set is followed by the transport's 5 ms pause. The controller ends on
// the test image, and the data are real frames.
TEST(AutomaticChecksOnController, DriftedScanRegistersAreRestoredBeforeTheReads) {
    auto recipe = judgementfx::exampleRecipe("R6_full.ini");
    SimStation st;
    ASSERT_TRUE(st.prepare(*recipe));
    st.touch.setRegisterWord(12, 5);
    st.touch.setRegisterWord(17, 0xA0);
    ASSERT_TRUE(st.touch.writeRegisters());
    st.wire->touchExchanges.clear();
    const std::uint64_t start = st.clock.monotonicMs();
    judgementfx::FakeUi ui;
    ASSERT_TRUE(station::readRawData(*recipe, st.touch, st.clock, ui, st.images(), st.frames).passed());

    std::vector<std::pair<std::uint64_t, std::string>> seen;
    for (const auto& e : st.wire->touchExchanges) {
        seen.emplace_back(e.atMs - start, exchangeName(e));
        if (seen.size() == 12) break;  // the restore and the first exchange of the raw reads
    }
    const std::vector<std::pair<std::uint64_t, std::string>> expected = {
        {0, "select 1/5"},  // the register read finds the drifted scan words
        {5, "answer"},
        {5, "answer"},
        {5, "select 1/0"},  // the response type in use before the read
        {60, "registers, word 12 = 5"},
        {65, "registers, second part"},
        {80, "calibration 0"},
        {95, "calibration 1"},
        {110, "block 6"},
        {125, "registers, word 12 = 0"},
        {130, "registers, second part"},
        {145, "registers, word 12 = 0"},  // the first raw frame's scan setting
    };
    EXPECT_EQ(seen, expected);

    const auto regs = st.device->registers();
    EXPECT_EQ(regs[24] | regs[25] << 8, 0);
    EXPECT_EQ(regs[34] | regs[35] << 8, 0);
    EXPECT_EQ(st.frames.readFlags, 0u);
    EXPECT_NEAR(st.frames.actualAverage[10][10], 310, 3);
    EXPECT_NEAR(st.frames.sdSigma[10][10], 2, 1);
    EXPECT_TRUE(ui.lines.empty());
}

// The example station folder's README states what each example scenario gives with its recipes.
TEST(AutomaticChecksOnController, ExampleScenariosGiveTheirCodes) {
    struct Case {
        const char* scenario;
        const char* recipe;
        std::function<void(RecipeSettings&)> tweak;
        std::string colCode;
    };
    const std::vector<Case> cases = {
        {"r6-healthy", "R6_full.ini", {}, "    "},
        {"r6-healthy", "PID0A52.ini", {}, "    "},
        {"r5-healthy", "R5_full.ini", {}, "    "},
        {"r5-healthy", "PID0952.ini", {}, "    "},
        {"r6-driver-mode", "R6_full.ini", {}, "    "},
        {"r6-driver-mode-pass", "R6_full.ini", {}, "    "},
        {"r6-operator-pass", "R6_full.ini", {}, "    "},
        {"r6-operator-idle", "R6_full.ini", {}, "    "},
        {"r6-open-tx", "R6_full.ini", {}, "E630"},
        {"r6-short", "R6_full.ini", {}, "E622"},
        {"r6-pin-faults", "R6_full.ini", {}, "E623"},
        {"r6-dead-noisy", "R6_full.ini", {}, "E631"},
        {"r6-zero-frames", "R6_full.ini", {}, "    "},  // three rejected frames, well inside the retries
        {"r6-zero-frames", "R6_full.ini", [](RecipeSettings& s) { s.DATA_COUNT_RETRY = 3; }, "E644"},
        {"r6-hsync-slow", "R6_full.ini", [](RecipeSettings& s) { s.HSYNC_CHECK = 100; }, "E690"},
        {"r6-hsync-old", "R6_full.ini", [](RecipeSettings& s) { s.HSYNC_PID = 0x0A31; }, "E693"},
        {"r6-no-mcu-hsync-off", "R6_full.ini", [](RecipeSettings& s) { s.HSYNC_CHECK_NO_MCU = 1; }, "E690"},
    };
    // Every controller scenario in the folder has a stated result.
    const std::filesystem::path dir = std::filesystem::path(VORLICK_SOURCE_DIR) / "examples" / "sim";
    std::map<std::string, sim::ControllerConfig> configs;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".scenario") continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        const auto sections = sim::parseScenario(text.str(), entry.path().filename().string(), error);
        ASSERT_TRUE(sections.has_value()) << error;
        ASSERT_EQ(sections->size(), 1u);
        if (sections->front().find("model") != "controller") continue;
        // The writer's scenarios (they set up the bootloader) are stated in the writer's tests.
        const auto& entries = sections->front().entries;
        if (std::any_of(entries.begin(), entries.end(),
                        [](const auto& e) { return e.key == "bootloader" || e.key.rfind("ubl_", 0) == 0; }))
            continue;
        sim::ControllerConfig config;
        ASSERT_TRUE(sim::controllerConfigFromSection(sections->front(), config, error)) << error;
        const std::string name = entry.path().stem().string();
        configs[name] = config;
        EXPECT_TRUE(std::any_of(cases.begin(), cases.end(), [&](const Case& c) { return c.scenario == name; }))
            << name << " has no stated result";
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + " with " + c.recipe);
        ASSERT_TRUE(configs.count(c.scenario));
        auto recipe = judgementfx::exampleRecipe(c.recipe);
        if (c.tweak) c.tweak(*recipe);
        SimStation st(configs[c.scenario]);
        ASSERT_TRUE(st.prepare(*recipe));
        station::HsyncInfo info;
        const CheckRun run = judgementfx::runAutomaticChecks(st, *recipe, info);
        EXPECT_FALSE(run.abortMessage.has_value());
        EXPECT_EQ(run.colCode, c.colCode) << ::testing::PrintToString(run.lines);
    }
}

}  // namespace
