#include "station/recipe/recipe_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/tests/fifo_guard.h"
#include "station/recipe/recipe_dump.h"
#include "station/recipe/tests/recipe_test_support.h"

namespace station {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class RecipeLoad : public ::testing::Test {
protected:
    RecipeLoad() : settings_(std::make_unique<RecipeSettings>()), env_{dir_.str()} {
        env_.hexChecksum = [this](const std::string& path) {
            checksumPaths_.push_back(path);
            return checksum_;
        };
        env_.debugTrace = [this](std::string_view text) { traces_.emplace_back(text); };
    }

    // `n` copies of `value` as one comma list.
    static std::string lut(int n, const std::string& value) {
        std::string out;
        for (int i = 0; i < n; ++i) out += (i ? "," : "") + value;
        return out + "\n";
    }

    // Loads recipe text; SHORT_CHECK keeps the "all test is disable" warning out of the way.
    bool load(const std::string& text, bool withCheck = true) {
        const std::string body = (withCheck ? std::string("SHORT_CHECK=1\n") : std::string()) + text;
        return loadFile(dir_.write("recipe.ini", body));
    }

    // Loads a file, keeping the load's messages.
    bool loadFile(const std::string& path) {
        RecipeReport report = LoadRecipe(*settings_, path, env_);
        messages_ = std::move(report.messages);
        return report.loaded;
    }

    // The messages after "Success to open".
    std::vector<std::string> faults() const {
        return {messages_.begin() + (messages_.empty() ? 0 : 1), messages_.end()};
    }

    test::ScratchDir dir_;
    std::vector<std::string> messages_;
    std::unique_ptr<RecipeSettings> settings_;
    RecipeEnvironment env_;
    std::optional<std::uint16_t> checksum_ = 0x1234;
    std::vector<std::string> checksumPaths_;
    std::vector<std::string> traces_;
};

TEST_F(RecipeLoad, NumberFormsOfOneKey) {
    struct Case {
        const char* line;
        std::int32_t pid;
    };
    const Case cases[] = {
        {"PID=0x0112", 0x0112},     {"PID=274", 0x0112},           {"PID=0422", 0x0112},
        {"PID=\"0x0112\"", 0x0112}, {"PID=  0x0A52 ; R6", 0x0A52},
    };
    for (const auto& c : cases) {
        settings_->PID = 0;
        ASSERT_TRUE(load(c.line)) << c.line;
        EXPECT_EQ(settings_->PID, c.pid) << c.line;
    }
}

TEST_F(RecipeLoad, DecimalKeysReadTheRawValue) {
    ASSERT_TRUE(load("DATA_COUNT=\"5\"\n"));
    EXPECT_EQ(settings_->DATA_COUNT, 0);  // quoted decimal reads as 0
    ASSERT_TRUE(load("DATA_COUNT = 5\n"));
    EXPECT_EQ(settings_->DATA_COUNT, 1);  // the key is "DATA_COUNT ": not a recipe key, the default stays
    ASSERT_TRUE(load("DATA_COUNT= 12 \nENTER_SN=-3\nWAIT_TIME=70000\nTXE=\"300\"\nDRAW_JUDGE_AREA=\"2.25\"\n"));
    EXPECT_EQ(settings_->DATA_COUNT, 12);
    EXPECT_EQ(settings_->ENTER_SN, 1);
    EXPECT_EQ(settings_->WAIT_TIME, 70000 - 65536);
    EXPECT_EQ(settings_->TXE, 300 - 256);  // byte keys read the clean value
    EXPECT_FLOAT_EQ(settings_->DRAW_JUDGE_AREA, 2.25f);
}

TEST_F(RecipeLoad, ClampedAndGuardedKeys) {
    struct Case {
        const char* line;
        std::int32_t RecipeSettings::*field;
        std::int32_t after;
    };
    const Case cases[] = {
        {"EMR_CHECK=7", &RecipeSettings::EMR_CHECK, 2},
        {"EMR_CHECK=-4", &RecipeSettings::EMR_CHECK, -4},
        {"TKP_NOISE_GAIN_X=40", &RecipeSettings::TKP_NOISE_GAIN_X, 31},
        {"TKP_NOISE_GAIN_Y=5\nTKP_NOISE_GAIN_Y=-3", &RecipeSettings::TKP_NOISE_GAIN_Y, 0},
        {"HK_AVE_WINDOW=0", &RecipeSettings::HK_AVE_WINDOW, 1},
        {"TKP_NOISE_CHECK_COUNT=8\nTKP_NOISE_CHECK_COUNT=1", &RecipeSettings::TKP_NOISE_CHECK_COUNT, 8},
        {"TKP_NOISE_CHECK_COUNT=8\nTKP_NOISE_CHECK_COUNT=2", &RecipeSettings::TKP_NOISE_CHECK_COUNT, 2},
        {"GAP_HORIZONTAL=1\nGAP_CHECK=0", &RecipeSettings::GAP_CHECK, 0},  // the later line wins
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(load(c.line)) << c.line;
        EXPECT_EQ((*settings_).*c.field, c.after) << c.line;
    }
    // Start triggers that name no trigger are kept as written.
    for (const std::int32_t trigger : {5, -1}) {
        ASSERT_TRUE(load("START_TRG=" + std::to_string(trigger))) << trigger;
        EXPECT_EQ(static_cast<std::int32_t>(settings_->START_TRG), trigger);
    }
}

TEST_F(RecipeLoad, ByteOrderMarkDoesNotHideTheFirstKey) {
    ASSERT_TRUE(loadFile(dir_.write("bom.ini", "\xEF\xBB\xBFPID=0x0A52\r\nSHORT_CHECK=1\r\n")));
    EXPECT_EQ(settings_->PID, 0x0A52);
}

TEST_F(RecipeLoad, StartTriggerOutOfRangeNamesTheLine) {
    EXPECT_FALSE(load("\n\n\n\n\n\n\n\n\n\nSTART_TRG=6 ; too far\n"));  // line 12 of the file
    EXPECT_THAT(faults(), ElementsAre("Ini Error: (12) 'START_TRG=6 '"));
    EXPECT_EQ(settings_->START_TRG, StartTrigger::DeviceConnected);
    EXPECT_TRUE(settings_->recipeFailed);
    EXPECT_FALSE(settings_->recipeLoaded);
}

TEST_F(RecipeLoad, KeysAreRecognisedOnlyInTheirSection) {
    ASSERT_TRUE(
        load("[S/N]\nS/N_STRING=\"AB12\"\nS/N_MIN=2\nGPIO=9\n[EXTRA_SETTING]\nFWVER_MAJOR2=0x0121\n"
             "[SETTING]\nS/N_NUM=4\nFWVER_MINOR2=5\nGPIO=7\n"));
    EXPECT_EQ(settings_->SN_STRING, "AB12");
    EXPECT_TRUE(settings_->snPatternGiven);
    EXPECT_EQ(settings_->SN_MIN, 2);
    EXPECT_EQ(settings_->SN_NUM, 0);
    EXPECT_EQ(settings_->FWVER_MAJOR2, 0x0121);
    EXPECT_EQ(settings_->FWVER_MINOR2, 0x00CD);
    EXPECT_EQ(settings_->GPIO, 7);
    // Any header other than the four special ones is the general section, also a commented one.
    ASSERT_TRUE(load("[S/N] ; serial\nGPIO=3\n"));
    EXPECT_EQ(settings_->GPIO, 3);
}

TEST_F(RecipeLoad, SentinelsWrittenExplicitlyCountAsMissing) {
    const std::string hex = dir_.write("fw.hex", ":00000001FF\r\n");
    EXPECT_FALSE(load("COMPARE_FWVER=1\nFWVER_MAJOR=0xCDCD\nFWVER_MINOR=0xCD\n"));
    EXPECT_THAT(faults(),
                ElementsAre("Ini Error: Spcify the key 'FWVER_MAJOR'.", "Ini Error: Spcify the key 'FWVER_MINOR'."));
    settings_ = std::make_unique<RecipeSettings>();
    EXPECT_FALSE(load("WRITE_FW=1\nROMWRITE_PATH=fw.hex\nHEX_FILE=fw.hex\nCHECKSUM=0xCDCD\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: Spcify the key 'CHECKSUM'."));
    EXPECT_TRUE(checksumPaths_.empty());
    settings_ = std::make_unique<RecipeSettings>();
    EXPECT_FALSE(load("EMR_CHECK=1\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: Specify the key 'EMR_FWVER'."));
    ASSERT_TRUE(load("COMPARE_FWVER=1\nFWVER_MAJOR=0x0120\nFWVER_MINOR=3\nEMR_CHECK=2\n"));
    EXPECT_EQ(settings_->display.fwMajor, "0x0120");
    EXPECT_EQ(settings_->display.fwMinor, "0x03");
}

TEST_F(RecipeLoad, FirmwareChecksumStep) {
    dir_.write("fw/image.hex", ":00000001FF\r\n");
    dir_.write("bin/romwrite", "#!/bin/sh\n");
    const std::string base = "WRITE_FW=1\nROMWRITE_PATH=bin\\romwrite\nHEX_FILE=fw\\image.hex\n";

    ASSERT_TRUE(load(base + "CHECKSUM=0x1234\n"));
    EXPECT_EQ(settings_->HEX_FILE, (dir_.path() / "fw/image.hex").string());
    EXPECT_EQ(settings_->ROMWRITE_PATH, (dir_.path() / "bin/romwrite").string());
    EXPECT_THAT(checksumPaths_, ElementsAre(settings_->HEX_FILE));
    EXPECT_EQ(settings_->display.hexFile, "fw\\image.hex");
    EXPECT_EQ(settings_->display.computedChecksum, "0x1234");

    EXPECT_FALSE(load(base + "CHECKSUM=0x1235\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: Mismatch checksum. (CheckSum=0x1234)"));
    EXPECT_EQ(settings_->display.expectedChecksum, "0x1235");

    checksum_ = std::nullopt;
    EXPECT_FALSE(load(base + "CHECKSUM=0x1234\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: Cannot Read hex with checksum error."));

    EXPECT_FALSE(load("WRITE_FW=1\nROMWRITE_PATH=\nHEX_FILE=\n"));
    EXPECT_THAT(faults(),
                ElementsAre("Ini Error: Specify the key 'ROMWRITE_PATH'.", "Ini Error: Specify the key 'HEX_FILE'."));
    EXPECT_EQ(settings_->display.hexFile, "---");

    EXPECT_FALSE(
        load("WRITE_FW=1\nROMWRITE_PATH=" + (dir_.path() / "bin/romwrite").string() + "\nHEX_FILE=none.hex\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: does not exist. HEX_FILE=\"" + dir_.str() + "/none.hex\"."));
    EXPECT_EQ(settings_->display.hexFile, "---");
}

TEST_F(RecipeLoad, ARecipeThatIsNoSmallRegularFileIsRefusedAtOnceWithTheReason) {
    platform::test::IdleFifo fifo;
    const std::string big = dir_.write("big.ini", std::string(kMaxRecipeBytes + 1, ';'));
    struct Case {
        std::string path, why;
    } cases[] = {
        {fifo.path(), "is not a regular file but a FIFO"},
        {"/dev/zero", "is not a regular file but a character device"},
        {dir_.str(), "is a directory"},
        {big, "is larger than " + std::to_string(kMaxRecipeBytes) + " bytes"},
    };
    for (const auto& c : cases) {
        traces_.clear();
        bool ok = true;
        EXPECT_FALSE(platform::test::blockedOnFifo(fifo.path(), [&] { ok = loadFile(c.path); })) << c.path;
        EXPECT_FALSE(ok);
        EXPECT_THAT(messages_, ElementsAre("Failed to open \"" + c.path + "\"."));
        EXPECT_THAT(traces_, ElementsAre(c.path + ": " + c.why + "\n"));
    }
}

TEST_F(RecipeLoad, ATableTheRecipeCheckRefusesIsNeverOpenedBlockingNorReadWithoutBound) {
    platform::test::IdleFifo fifo;
    const std::string threshold = dir_.write("th.csv", "#Upper\n#Lower\n");
    // Relative names are read below the start folder, where the path check looked.
    ASSERT_EQ(::mkfifo((dir_.path() / "ref.fifo").c_str(), 0600), 0);
    struct Case {
        std::string value, checked, why;
    } cases[] = {
        {fifo.path(), fifo.path(), "is not a regular file but a FIFO"},
        {"ref.fifo", dir_.str() + "/ref.fifo", "is not a regular file but a FIFO"},
        {"/dev/zero", "/dev/zero", "is not a regular file but a character device"},
    };
    for (const auto& c : cases) {
        traces_.clear();
        bool ok = true;
        EXPECT_FALSE(platform::test::blockedOnFifo(c.checked, [&] {
            ok = load("RAW_CHECK=1\nREFERENCE_CSV=" + c.value + "\nTHRESHOLD_CSV=" + threshold + "\n");
        })) << c.value;
        EXPECT_FALSE(ok);
        EXPECT_THAT(faults(), ElementsAre("Ini Error: does not exist. REFERENCE_CSV=\"" + c.checked + "\".",
                                          "Failed to open csv '" + c.value + "'"));
        EXPECT_THAT(traces_, Contains(c.checked + ": " + c.why + "\n"));
    }
}

TEST_F(RecipeLoad, EveryStepReportsEvenAfterErrors) {
    EXPECT_FALSE(
        load("START_TRG=9\nWRITE_HSYNC_FW=1\nRAW_CHECK=1\nGAP_CHECK=1\nGAP_VERTICAL=1\n"
             "POST_PROCESS_ENABLE=1\nDRAW_DISABLE_MTOUCH=1\nDRAW_DISABLE_TSQ=1\nDRAW_DISABLE_TDL=1\n"
             "SKIP_PEN_DRAWING=1\n[XLUT]\n0x0100\n[YLUT]\n"));
    EXPECT_THAT(
        faults(),
        ElementsAre("Ini Error: (2) 'START_TRG=9'", "Ini Error: Specify the key 'RL78PROG_PATH'.",
                    "Ini Error: Specify the key 'HSYNC_HEX_FILE'.", "Ini Error: Specify the key 'REFERENCE_CSV'.",
                    "Ini Error: Specify the key 'THRESHOLD_CSV'.", "Ini Error: Specify the key 'GAP_CSV'.",
                    "Ini Error: [XLUT] Too few elements. (1)", "Failed to open csv ''", "Failed to open csv ''",
                    "Failed to open csv ''", "Failed to open csv ''", "Ini Error: All draw basic check are disable.",
                    "Ini Error: Specify the key 'POST_PROCESS_PATH'."));
}

TEST_F(RecipeLoad, GapChecksNeedTheirPartners) {
    EXPECT_FALSE(load("GAP_HORIZONTAL=1\nGAP_VERTICAL=1\nGAP_CHECK=0\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: Gap-Vertical check must be with Gap-Horizontal check"
                                      "(GAP_CHECK=1 or GAP_HORIZONTAL=1)."));
    EXPECT_FALSE(load("GAP_CHECK=1\nGAP_VERTICAL=0\nRAW_CHECK=0\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: Gap-Horizontal check must be with Raw check(RAW_CHECK=1)."));
}

TEST_F(RecipeLoad, CalibrationIgnoreLines) {
    struct Case {
        const char* value;
        std::array<std::int32_t, 4> expected;
    };
    const Case cases[] = {
        {"3", {3, 3, 3, 3}},         {"1,2", {1, 2, 1, 2}},   {"4, 5, 6", {4, 5, 6, 9}},
        {"1,2,3,4,5", {1, 2, 3, 4}}, {"\"7\"", {7, 7, 7, 7}}, {"", {9, 9, 9, 9}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(load(std::string("CALTH_IGNORELINE=9\nCALTH_IGNORELINE=") + c.value + "\n")) << c.value;
        EXPECT_EQ(settings_->CALTH_IGNORELINE, c.expected) << c.value;
    }
}

TEST_F(RecipeLoad, PenNoiseThresholdTriples) {
    ASSERT_TRUE(load("TKP_NOISE_THRE_SP=x,3,500,y,10,700, Y,45,9,X,71,8\n"));
    EXPECT_EQ(settings_->TKP_NOISE_THRE_SP_X[3], 500);
    EXPECT_EQ(settings_->TKP_NOISE_THRE_SP_X[71], 8);
    EXPECT_EQ(settings_->TKP_NOISE_THRE_SP_Y[10], 700);
    EXPECT_EQ(settings_->TKP_NOISE_THRE_SP_Y[45], 9);

    const char* bad[] = {
        "x,3",          // incomplete triple
        "x,3,1,q,4,2",  // unknown axis: stored on the previous axis, still an error
        "x,72,1",       // past the 72 X lines
        "y,46,1",       // past the 46 Y lines
        "x,-1,1",
    };
    for (const char* value : bad) {
        settings_->TKP_NOISE_THRE_SP_X.fill(0);
        EXPECT_FALSE(load(std::string("TKP_NOISE_THRE_SP=") + value + "\n")) << value;
        EXPECT_THAT(faults(), ElementsAre("Ini Error: Specify the key 'TKP_NOISE_THRE_SP'.")) << value;
    }
    EXPECT_EQ(settings_->TKP_NOISE_THRE_SP_X[3], 0);
    ASSERT_FALSE(load("TKP_NOISE_THRE_SP=x,3,1,q,4,2\n"));
    EXPECT_EQ(settings_->TKP_NOISE_THRE_SP_X[4], 2);
}

TEST_F(RecipeLoad, LookupTablesAndPortCounts) {
    std::string xlut = "[XLUT]\n";
    for (int n = 0; n < 72; ++n) xlut += (n < 60 ? "0x01" : "0x00") + std::string(n % 2 ? "00\n" : "00, ");
    std::string ylut = "[YLUT]\n";
    for (int n = 0; n < 46; ++n) ylut += n < 40 ? "0x0100 " : "0x0300 ";  // 0x03xx is not a used Tx pin
    ASSERT_TRUE(load(xlut + ylut + "\n"));
    EXPECT_EQ(settings_->RX_PORT_COUNT, 60);
    EXPECT_EQ(settings_->TX_PORT_COUNT, 40);
    EXPECT_EQ(settings_->TIPC_TPS, 6);  // derived from 40 Tx lines
    EXPECT_TRUE(settings_->xlutGiven);

    ASSERT_TRUE(load(ylut + "\n[WAVE]\nTIPC_TPS=0x103\nTIPC_TPS=259\n"));
    EXPECT_EQ(settings_->TIPC_TPS, 3);       // given: low 8 bits, no derivation
    EXPECT_EQ(settings_->RX_PORT_COUNT, 0);  // no [XLUT] in this load

    EXPECT_FALSE(load("[XLUT]\n" + lut(71, "0x0100")));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: [XLUT] Too few elements. (71)"));
    std::string many = "[YLUT]\n";
    for (int n = 0; n < 50; ++n) many += "0x0101,";
    EXPECT_FALSE(load(many + "\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: [YLUT] Too many elements. (50)"));
    EXPECT_EQ(settings_->YLUT[45], 0x0101);

    // A header straight after [YLUT]: nothing given, nothing validated, the table at its default.
    ASSERT_TRUE(load("[YLUT]\n[SETTING]\n"));
    EXPECT_FALSE(settings_->ylutGiven);
    EXPECT_EQ(settings_->YLUT[0], 0);
    // "[XLUT] ;comment" is a general header: the values are no table line.
    ASSERT_TRUE(load("[XLUT] ;pins\n0x0100 0x0100\n"));
    EXPECT_FALSE(settings_->xlutGiven);
}

TEST_F(RecipeLoad, TransmitPulseSettingFollowsTheUsedTxLines) {
    struct Case {
        int txLines;
        int tps;
    };
    const Case cases[] = {{0, 0},  {6, 0},  {7, 1},  {10, 1}, {11, 2}, {14, 2}, {15, 3}, {18, 3},
                          {19, 4}, {22, 4}, {23, 5}, {30, 5}, {31, 6}, {42, 6}, {43, 7}, {46, 7}};
    for (const auto& c : cases) {
        // Unused entries carry bit 9 too: only bits 9..8 of 01 mark a used Tx line.
        std::string ylut = "[YLUT]\n";
        for (int n = 0; n < kYlutSize; ++n) ylut += n < c.txLines ? "0x0100," : "0x0300,";
        ASSERT_TRUE(load(ylut + "\n")) << c.txLines;
        EXPECT_EQ(settings_->TX_PORT_COUNT, c.txLines);
        EXPECT_EQ(settings_->TIPC_TPS, c.tps) << c.txLines;
    }
    // An Rx line is used when bit 8 is set, whatever bit 9 says.
    ASSERT_TRUE(load("[XLUT]\n" + lut(10, "0x0300") + lut(62, "0x0200")));
    EXPECT_EQ(settings_->RX_PORT_COUNT, 10);
}

TEST_F(RecipeLoad, LutOf72ValuesOverSeveralLinesPasses) {
    std::string text = "[XLUT]\n";
    for (int line = 0; line < 9; ++line) {
        for (int n = 0; n < 8; ++n) text += "0x0100,";
        text += "\n; comment between rows\n";
    }
    ASSERT_TRUE(load(text));
    EXPECT_EQ(settings_->xlutCount, 72);
    EXPECT_EQ(settings_->RX_PORT_COUNT, 72);
}

TEST_F(RecipeLoad, R5ControllersLoseTheChecksTheyLack) {
    ASSERT_TRUE(
        load("TKP_CHECK=1\nHOMEKEY_CHECK=1\nSCAN_CHECK=1\nHSYNC_CHECK=4\nHSYNC_INFO=1\nHSYNC_VER=0x10\n"
             "HSYNC_MEASURING=1\nCPU=R5\n"));
    EXPECT_EQ(settings_->CPU, kCpuR5);
    EXPECT_EQ(settings_->TKP_CHECK, 0);
    EXPECT_EQ(settings_->HOMEKEY_CHECK, 0);
    EXPECT_EQ(settings_->SCAN_CHECK, 0);
    EXPECT_EQ(settings_->HSYNC_CHECK, 0);  // measuring does not turn it back on for R5
    EXPECT_EQ(settings_->HSYNC_INFO, 0);
    EXPECT_EQ(settings_->HSYNC_VER, 0);
    EXPECT_EQ(settings_->HSYNC_MEASURING, 1);

    ASSERT_TRUE(load("CPU=\"R6\"\nHSYNC_MEASURING=1\n"));
    EXPECT_EQ(settings_->CPU, kCpuR6);
    EXPECT_EQ(settings_->HSYNC_CHECK, 1);
    ASSERT_TRUE(load("CPU=R7\n"));
    EXPECT_EQ(settings_->CPU, kCpuR6);
    EXPECT_THAT(traces_, ElementsAre("> CPU : R5\n", "> CPU : R6\n", "> CPU : unknown\n"));
}

TEST_F(RecipeLoad, NoMcuWarningClearsTheHsyncChecks) {
    ASSERT_TRUE(load("HSYNC_CHECK_NO_MCU=1\nHSYNC_PID=0x1234\nHSYNC_INFO=1\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Warning: Disable to check hsync-mcu for the key 'HSYNC_CHECK_NO_MCU'."));
    EXPECT_EQ(settings_->HSYNC_PID, 0);
    EXPECT_EQ(settings_->HSYNC_INFO, 0);
    EXPECT_TRUE(settings_->recipeLoaded);
    ASSERT_TRUE(load("HSYNC_CHECK_NO_MCU=1\n"));
    EXPECT_THAT(faults(), ElementsAre());
}

TEST_F(RecipeLoad, NoCheckEnabledIsOnlyAWarning) {
    ASSERT_TRUE(load("TITLE=\"Line 3\"\n", false));
    EXPECT_THAT(faults(), ElementsAre("Ini Warning: all test is disable."));
    EXPECT_TRUE(settings_->recipeLoaded);
    EXPECT_EQ(settings_->TITLE, "Line 3");
    EXPECT_EQ(settings_->recipePath, (dir_.path() / "recipe.ini").string());
}

TEST_F(RecipeLoad, HomeKeyListsAgainstThePinCount) {
    struct Case {
        const char* text;
        bool ok;
        bool remove, removeLow, touch;
        const char* fault;
    };
    const Case cases[] = {
        {"HK_NUM_PIN=4\nHK_TOUCH=10,20,30,40\n", true, false, false, true, nullptr},
        {"HK_NUM_PIN=3\nHK_TOUCH=10,20,30,40\n", false, false, false, false,
         "Ini Error: all homekey check is disable."},
        {"HK_NUM_PIN=2\nHK_REMOVE=1,2\nHK_REMOVE_LOW=3,4\nHK_TOUCH=5\n", true, true, true, false, nullptr},
        {"HK_NUM_PIN=256\nHK_TOUCH=1\n", false, false, false, false, "Ini Error: Homekey Check pin size overflow."},
        // A key with no pins has nothing to judge.
        {"HK_NUM_PIN=0\n", false, false, false, false, "Ini Error: all homekey check is disable."},
    };
    for (const auto& c : cases) {
        settings_ = std::make_unique<RecipeSettings>();
        EXPECT_EQ(load(std::string("HOMEKEY_CHECK=1\n") + c.text), c.ok) << c.text;
        EXPECT_EQ(settings_->hkRemoveEnabled, c.remove) << c.text;
        EXPECT_EQ(settings_->hkRemoveLowEnabled, c.removeLow) << c.text;
        EXPECT_EQ(settings_->hkTouchEnabled, c.touch) << c.text;
        if (c.fault) {
            EXPECT_THAT(faults(), Contains(std::string(c.fault))) << c.text;
        }
    }
}

TEST_F(RecipeLoad, HomeKeyListLengths) {
    ASSERT_TRUE(load("HK_TOUCH=1,2,3,4,5\nHK_TOUCH=7,8\n"));
    EXPECT_EQ(settings_->HK_TOUCH.count, 2);
    EXPECT_EQ(settings_->HK_TOUCH.values[1], 8);
    EXPECT_EQ(settings_->HK_TOUCH.values[4], 5);  // slots past the new count keep older values

    std::string overlong = "HK_REMOVE=";
    for (int i = 0; i < 300; ++i) overlong += std::to_string(i) + ",";
    ASSERT_TRUE(load(overlong + "1\nHOMEKEY_CHECK=1\nHK_NUM_PIN=255\nHK_TOUCH=" + lut(255, "7") + "\n"));
    EXPECT_EQ(settings_->HK_REMOVE.count, 301);
    EXPECT_EQ(settings_->HK_REMOVE.values[254], 254);
    EXPECT_FALSE(settings_->hkRemoveEnabled);  // 301 values never match 255 pins
    EXPECT_TRUE(settings_->hkTouchEnabled);
}

// A key the next recipe leaves out takes its default again: nothing of the previous recipe
// decides how a device is checked.
TEST_F(RecipeLoad, EveryLoadStartsFromTheDefaults) {
    const std::string next = "[SETTING]\nDRAW_DISABLE_TSQ=0\nDATA_COUNT=4\n";
    ASSERT_TRUE(load(next));
    const std::string alone = dumpRecipe(*settings_);

    dir_.write("tables/reference.csv", "#Reference\n");
    dir_.write("tables/threshold.csv", "#Upper\n#Lower\n");
    ASSERT_TRUE(
        load("RAW_CHECK=1\nRAW_LOG_ONLY=1\nREFERENCE_CSV=tables/reference.csv\n"
             "THRESHOLD_CSV=tables/threshold.csv\nSCAN_CHECK=1\nCAL_THRESHOLD=30\nDRAW_DISABLE_TSQ=1\n"
             "GPIO=5\nHOMEKEY_CHECK=1\nHK_TOUCH=1,2,3,4\n[WAVE]\nTIPC_TPS=2\n[S/N]\nS/N_STRING=X\n"
             "[EXTRA_SETTING]\nDISABLE_FOLDER=1\n[XLUT]\n" +
             lut(72, "0x0100")))
        << ::testing::PrintToString(messages_);
    EXPECT_EQ(settings_->RX_PORT_COUNT, 72);

    ASSERT_TRUE(load(next));
    EXPECT_EQ(dumpRecipe(*settings_), alone);
    EXPECT_EQ(settings_->RAW_CHECK, 0);
    EXPECT_EQ(settings_->RAW_LOG_ONLY, 0);
    EXPECT_EQ(settings_->SCAN_CHECK, 0);
    EXPECT_EQ(settings_->drawDisableMask, 0u);
    EXPECT_FALSE(settings_->snPatternGiven);
    EXPECT_EQ(settings_->XLUT[0], 0);
    EXPECT_EQ(settings_->RX_PORT_COUNT, 0);
    EXPECT_EQ(settings_->DATA_COUNT, 4);
    EXPECT_FALSE(settings_->recipeFailed);
}

TEST_F(RecipeLoad, MissingRecipeFileEndsTheLoadAtOnce) {
    EXPECT_FALSE(loadFile(dir_.str() + "/none.ini"));
    EXPECT_THAT(messages_, ElementsAre("Failed to open \"" + dir_.str() + "/none.ini\"."));
    EXPECT_FALSE(settings_->recipeFailed);
    EXPECT_FALSE(loadFile(dir_.str()));  // a folder is no recipe
}

TEST_F(RecipeLoad, LogFolderResolution) {
    std::filesystem::create_directories(dir_.path() / "logs/line1");
    ASSERT_TRUE(load("LOG_DIR=logs\\line1\\\\\n"));
    EXPECT_EQ(settings_->LOG_DIR, (dir_.path() / "logs/line1").string());
    settings_->LOG_DIR.clear();
    ASSERT_TRUE(load(""));
    EXPECT_EQ(settings_->LOG_DIR, dir_.str());
    EXPECT_FALSE(load("LOG_DIR=missing\n"));
    EXPECT_THAT(faults(), ElementsAre("Ini Error: does not exist. LOG_DIR=\"" + dir_.str() + "/missing\"."));
}

}  // namespace
}  // namespace station
