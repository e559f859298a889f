#include "station/logs/settings_lines.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace station {
namespace {

// The lines of `block` from the one starting with `from` up to the one starting with `to`.
std::string linesBetween(const std::string& block, const std::string& from, const std::string& to) {
    const auto begin = block.find("\n" + from);
    const auto end = block.find("\n" + to, begin + 1);
    if (begin == std::string::npos || end == std::string::npos) return "<missing>";
    return block.substr(begin + 1, end - begin);
}

TEST(SettingsLines, PenLinesDifferBetweenTheRecords) {
    struct Case {
        std::int32_t emrCheck;
        const char* resultLog;
        const char* detailCsv;
    };
    const Case cases[] = {
        {0, "", "EMR_CHECK,0\n"},
        {1, "EMR_CHECK           = 1\nEMR_FWVER           = 4660\n", "EMR_CHECK,1\nEMR_FWVER,4660\n"},
        {2, "", "EMR_CHECK,2\n"},
    };
    auto r = std::make_unique<RecipeSettings>();
    r->EMR_FWVER = 0x1234;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.emrCheck);
        r->EMR_CHECK = c.emrCheck;
        EXPECT_EQ(linesBetween(settingsBlock(*r, SettingsRecord::ResultLog), "HOMEKEY_CHECK", "HSYNC_INFO"),
                  std::string("HOMEKEY_CHECK       = 0\n") + c.resultLog);
        EXPECT_EQ(linesBetween(settingsBlock(*r, SettingsRecord::DetailCsv), "HOMEKEY_CHECK", "HSYNC_INFO"),
                  std::string("HOMEKEY_CHECK,0\n") + c.detailCsv);
    }
}

TEST(SettingsLines, GapLinesWithoutGapTable) {
    auto r = std::make_unique<RecipeSettings>();
    r->RAW_CHECK = 1;
    r->GAP_CHECK = 1;
    r->GAP_LOG_ONLY = 1;
    EXPECT_EQ(linesBetween(settingsBlock(*r, SettingsRecord::ResultLog), "CAL_THRESHOLD", "DRAWING_CHECK"),
              "CAL_THRESHOLD       = 0\n"
              "GAP_LOG_ONLY        = 1\n"
              "GAP_HORIZONTAL      = 1\n"
              "GAP_VERTICAL        = 0\n"
              "GAP_COUNT           = 3\n");
}

TEST(SettingsLines, ValuesAsTheRecordsPrintThem) {
    auto r = std::make_unique<RecipeSettings>();
    r->SHORT_CHECK = 1;
    r->WAIT_TIME = 65535;  // 16-bit settings are unsigned
    r->COMPARE_FWVER = 1;
    r->FWVER_MAJOR = 0x00AB;
    r->FWVER_MINOR = 0x1234;  // two digits at least, all of them when more
    r->HSYNC_PID = -1;        // a 32-bit field in hex shows all its bits
    r->TXW = 200;
    r->snPatternGiven = true;
    r->SN_STRING = "A B,C";
    r->TITLE = std::string(5000, 'T');  // outside text is kept whole
    const std::string block = settingsBlock(*r, SettingsRecord::DetailCsv);
    EXPECT_NE(block.find("\nTITLE,\"" + r->TITLE + "\"\n"), std::string::npos);
    for (const char* line : {"\nWAIT_TIME,65535\n", "\nFWVER_MAJOR,0x00AB\n", "\nFWVER_MINOR,0x1234\n",
                             "\nHSYNC_PID,0xFFFFFFFF\n", "\n\n[WAVE]\nTXW,200\n\n[S/N]\nS/N_STRING,\"A B,C\"\n"})
        EXPECT_NE(block.find(line), std::string::npos) << line << "\nin\n" << block;
}

TEST(SettingsLines, KeyColumnKeepsLongKeysWhole) {
    EXPECT_EQ(keyColumn("TXE"), "TXE                ");
    EXPECT_EQ(keyColumn("POST_PROCESS_ENABLE"), "POST_PROCESS_ENABLE");
    EXPECT_EQ(keyColumn("HSYNC_MEAS_THRESHOLD"), "HSYNC_MEAS_THRESHOLD");
}

}  // namespace
}  // namespace station
