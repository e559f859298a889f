#include "station/logs/result_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/tests/disk_full.h"
#include "station/logs/detail_csv_header.h"
#include "station/logs/tests/log_rig.h"

namespace station {
namespace {

namespace fs = std::filesystem;
using test::slurp;

class ResultLog : public test::LogRig {
protected:
    // Every kind of setting line: firmware, Hsync firmware, short, raw with dead band and gaps,
    // pen version, Hsync measuring, switch, post-process, [WAVE] and [S/N]; relative paths that
    // the load resolves below the start folder.
    void loadFullRecipe() {
        fs::create_directories(dir_.path() / "tables");
        for (const char* csv : {"reference.csv", "threshold.csv", "gap.csv"})
            fs::copy_file(fs::path(VORLICK_SOURCE_DIR) / "examples/station/tables" / csv, dir_.path() / "tables" / csv,
                          fs::copy_options::overwrite_existing);
        dir_.write("bin/romwrite", "writer");
        dir_.write("bin/rl78prog", "programmer");
        dir_.write("fw/image.hex", ":00000001FF\n");
        dir_.write("fw/hsync.hex", ":0400000012345678E4\n:00000001FF\n");
        fs::create_directories(dir_.path() / "logs");
        std::string xlut, ylut;
        for (int i = 0; i < kXlutSize; ++i) xlut += (i % 8 ? ", 0x01" : "\n0x01") + hexByte(i);
        for (int i = 0; i < kYlutSize; ++i) ylut += (i % 8 ? ", 0x01" : "\n0x01") + hexByte(i);
        loadRecipe("full.ini",
                   "[DEVICE]\nVID=0x3A1C\nPID=0x0A52\nUSAGEPAGE=0xFF11\nUSAGE=0x0011\n"
                   "[SETTING]\nTITLE=\"Line 3 full\"\nLOG_DIR=logs\\\nLOG_FILE=r6\n"
                   "WRITE_FW=1\nROMWRITE_PATH=bin\\romwrite\nHEX_FILE=fw\\image.hex\nCHECKSUM=0x1A2B\n"
                   "WRITE_HSYNC_FW=1\nRL78PROG_PATH=bin/rl78prog\nHSYNC_HEX_FILE=fw/hsync.hex\n"
                   "COMPARE_FWVER=1\nFWVER_MAJOR=0x0120\nFWVER_MINOR=0x03\n"
                   "SHORT_CHECK=1\nWAIT_TIME=40000\n"
                   "RAW_CHECK=1\nDATA_COUNT=16\nREFERENCE_CSV=tables\\reference.csv\n"
                   "THRESHOLD_CSV=tables\\threshold.csv\nCAL_THRESHOLD=100\nDB_THRESHOLD=20\n"
                   "GAP_HORIZONTAL=1\nGAP_VERTICAL=1\nGAP_CSV=tables\\gap.csv\n"
                   "DRAWING_CHECK=1\nEMR_CHECK=1\nEMR_FWVER=0xF123\n"
                   "HSYNC_INFO=1\nHSYNC_PID=0x0A31\nHSYNC_VER=0x0105\nHSYNC_MEASURING=1\nHSYNC_MEAS_THRESHOLD=7\n"
                   "EXT_SWITCH_CHECK=1\nPOST_PROCESS_ENABLE=1\nPOST_PROCESS_PATH=post.sh --line 3\n"
                   "[WAVE]\nTXE=20\nSHW=3\n"
                   "[S/N]\nS/N_STRING=AB12-0000\nS/N_MIN=0\nS/N_NUM=4\n"
                   "[XLUT]" +
                       xlut + "\n[YLUT]" + ylut + "\n");
    }

    void loadMinimalRecipe(const std::string& extra = "") {
        loadRecipe("minimal.ini", "[DEVICE]\nVID=0x3A1C\n[SETTING]\nTITLE=Minimal\n" + extra);
    }

    static std::string hexByte(int v) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return {kDigits[v / 16], kDigits[v % 16]};
    }

    std::string logPath() { return s().logFiles.resultLogPath; }
};

TEST_F(ResultLog, FullRecipeFromOpeningToTotals) {
    loadFullRecipe();
    s().programVersionText = "1.25.4.0";

    ASSERT_TRUE(OpenResultLog(s()));
    const std::string folder = dir() + "/logs/r6_20240305_070809/";
    EXPECT_EQ(s().logFiles.logTimestamp, "20240305_070809");
    EXPECT_EQ(s().logFiles.logFolder, folder);
    EXPECT_EQ(logPath(), folder + "20240305_070809_result.log");
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Success to open log '" + logPath() + "'"});
    // The firmware writers are given copies in the working directory.
    EXPECT_EQ(slurp("_tmp.hex"), slurp(dir() + "/fw/image.hex"));
    EXPECT_EQ(slurp("_tmpRL78.hex"), slurp(dir() + "/fw/hsync.hex"));

    BuildDetailCsvHeader(s());
    EXPECT_EQ(s().logFiles.detailCsvHeader, expected("full_detail_header.txt"));

    RunRecord& ok = row(1, 0, "AB12-0001", "2024/03/05 07:09:10");
    ok.colResult = "OK";
    ok.colCom = " OK ";
    ok.colFw = " OK  ";
    ok.colShort = "OK ";
    ok.colOpen = "OK";
    ok.colRaw = " OK  ";
    ok.colDraw = " OK ";
    ui.messages.clear();
    ASSERT_TRUE(AppendResultRow(s()));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Success to dump log data"});

    // Seven digits and a serial number past 18 characters widen their columns.
    RunRecord& ng = row(1234567, 2, "AB12-0002-LINE3-LOT77", "2024/03/05 07:10:11");
    ng.colResult = "NG";
    ng.colCode = "E610";
    ng.colCom = " OK ";
    ng.colFw = " OK  ";
    ng.colShort = "NG ";
    ng.colOpen = "--";
    ng.colRaw = " --- ";
    ng.colDraw = " -- ";
    ASSERT_TRUE(AppendResultRow(s()));

    s().counters.checkCount = 2;
    s().counters.okCount = 1;
    s().counters.ngCount = 1;
    CloseResultLog(s());
    EXPECT_EQ(slurp(logPath()), expected("full_result.log"));
    EXPECT_EQ(slurp("result.log"), expected("full_result.log"));
}

TEST_F(ResultLog, MinimalRecipeInADatedFolderBelowTheStartFolder) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    EXPECT_EQ(logPath(), dir() + "/log_20240305_070809/20240305_070809_result.log");
    EXPECT_FALSE(fs::exists("_tmp.hex"));
    BuildDetailCsvHeader(s());
    EXPECT_EQ(s().logFiles.detailCsvHeader, expected("minimal_detail_header.txt"));

    RunRecord& r = row(7, 0, "SN7", "2024/03/05 07:08:30");
    r.colResult = "OK";
    r.colCom = " OK ";
    ASSERT_TRUE(AppendResultRow(s()));
    s().counters.checkCount = 1;
    s().counters.okCount = 1;
    CloseResultLog(s());
    EXPECT_EQ(slurp(logPath()), expected("minimal_result.log"));
    EXPECT_EQ(slurp("result.log"), expected("minimal_result.log"));
}

TEST_F(ResultLog, DisableFolderWritesDirectlyIntoLogDir) {
    loadMinimalRecipe("[EXTRA_SETTING]\nDISABLE_FOLDER=1\n");
    ASSERT_TRUE(OpenResultLog(s()));
    EXPECT_EQ(s().logFiles.logFolder, dir() + "/");
    EXPECT_EQ(logPath(), dir() + "/20240305_070809_result.log");
    EXPECT_FALSE(fs::exists(dir() + "/log_20240305_070809"));
    EXPECT_NE(slurp(logPath()).find("\r\nLOG_RESULT          : " + dir() + "/20240305_070809_result.log\r\n"),
              std::string::npos);
}

TEST_F(ResultLog, LogDirThatCannotTakeTheLog) {
    struct Case {
        const char* name;
        void (*spoil)(const fs::path& logDir);
        const char* reason;
    };
    const Case cases[] = {
        {"removed after the load", [](const fs::path& d) { fs::remove_all(d); }, "No such file or directory"},
        {"a file in the folder's place",
         [](const fs::path& d) {
             fs::remove_all(d);
             std::ofstream(d) << "not a folder";
         },
         "Not a directory"},
        {"read-only", [](const fs::path& d) { fs::permissions(d, fs::perms::owner_read | fs::perms::owner_exec); },
         "Permission denied"},
    };
    fs::create_directories(dir_.path() / "logs");
    loadMinimalRecipe("LOG_DIR=logs\nWRITE_FW=0\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path logDir = dir_.path() / "logs";
        fs::remove_all(logDir);
        fs::create_directories(logDir);
        c.spoil(logDir);
        if (fs::is_directory(logDir) && std::ofstream(logDir / "probe")) {
            fs::permissions(logDir, fs::perms::owner_all);
            continue;  // permissions do not bind this user (root)
        }
        ui.messages.clear();
        EXPECT_FALSE(OpenResultLog(s()));
        const std::string path = dir() + "/logs/log_20240305_070809/20240305_070809_result.log";
        EXPECT_EQ(ui.messages, (std::vector<std::string>{"Failed to open log '" + path + "'",
                                                         "Failed to write '" + path + "': " + c.reason}));
        EXPECT_EQ(logPath(), "");
        if (fs::exists(logDir)) fs::permissions(logDir, fs::perms::owner_all);
    }
}

TEST_F(ResultLog, HeadThatDoesNotReachTheDiskIsNoOpenedLog) {
    loadMinimalRecipe("[EXTRA_SETTING]\nDISABLE_FOLDER=1\n");
    const std::string path = dir() + "/20240305_070809_result.log";
    {
        // The disk fills up half-way through the head: no log, not even half of one.
        const platform::test::DiskFullAfter full(100);
        EXPECT_FALSE(OpenResultLog(s()));
    }
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Failed to open log '" + path + "'",
                                                     "Failed to write '" + path + "': File too large"}));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(test::names(dir()), (std::vector<std::string>{"minimal.ini"}));

    // The log's name leads to a device: nothing is written to it.
    fs::create_symlink("/dev/full", path);
    ui.messages.clear();
    EXPECT_FALSE(OpenResultLog(s()));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Failed to open log '" + path + "'",
                                                     "Failed to write '" + path + "': is not a regular file"}));
    EXPECT_FALSE(s().records.unseenFailure);  // no check can start without a log anyway
}

TEST_F(ResultLog, FirmwareCopyFailuresAfterTheHeadIsWritten) {
    struct Case {
        const char* image;
        const char* message;
    };
    const Case cases[] = {
        {"fw/image.hex", "Failed to copy hex file."},
        {"fw/hsync.hex", "Failed to copy Hsync fw hex file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        loadFullRecipe();
        fs::remove(dir_.path() / c.image);
        ui.messages.clear();
        EXPECT_FALSE(OpenResultLog(s()));
        const std::string path = dir() + "/logs/r6_20240305_070809/20240305_070809_result.log";
        EXPECT_EQ(ui.messages, (std::vector<std::string>{"Success to open log '" + path + "'", c.message}));
        // The log just created is closed with its (empty) totals; no later shutdown writes into it.
        EXPECT_EQ(slurp(path), expected("full_failed_opening_result.log"));
        EXPECT_EQ(logPath(), "");
        CloseResultLog(s());
        EXPECT_EQ(slurp(path), expected("full_failed_opening_result.log"));
        EXPECT_FALSE(fs::exists("result.log"));
        fs::remove_all(dir_.path() / "logs/r6_20240305_070809");
    }
}

TEST_F(ResultLog, RowThatCannotBeWrittenIsReportedNotRecreated) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    row(1, 0, "SN1", "2024/03/05 07:08:20");
    ASSERT_TRUE(AppendResultRow(s()));
    const std::string path = logPath();
    const std::string written = slurp(path);

    // The disk fills up half-way through the row: the log is as it was.
    row(2, 0, "SN2", "2024/03/05 07:08:40");
    ui.messages.clear();
    {
        const platform::test::DiskFullAfter full(written.size() + 10);
        EXPECT_FALSE(AppendResultRow(s()));
    }
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Failed to open result.log",
                                                     "Failed to write '" + path + "': File too large"}));
    EXPECT_EQ(slurp(path), written);
    EXPECT_TRUE(s().records.unseenFailure);
    EXPECT_TRUE(s().records.lostInRun);

    // Deleted while the station runs: the row is lost, the log is not made up again.
    fs::remove(path);
    ui.messages.clear();
    EXPECT_FALSE(AppendResultRow(s()));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Failed to open result.log",
                                                     "Failed to write '" + path + "': No such file or directory"}));
    EXPECT_FALSE(fs::exists(path));
}

// A row is only said to be dumped when the check's detail file was written too.
TEST_F(ResultLog, NoSuccessWordAfterALostRecord) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    row(1, 0, "SN1", "2024/03/05 07:08:20");
    s().records.unseenFailure = true;  // the detail file before it was lost
    ui.messages.clear();
    EXPECT_TRUE(AppendResultRow(s()));
    EXPECT_TRUE(ui.messages.empty()) << ::testing::PrintToString(ui.messages);
}

// At shutdown: totals that cannot be written and a copy that cannot be made are said, and no
// earlier run's "result.log" is left to pass for this one's.
TEST_F(ResultLog, CloseThatCannotBeWrittenIsReported) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    const std::string path = logPath();
    dir_.write("result.log", "an earlier run's log\r\n");
    fs::remove(path);
    ui.messages.clear();
    CloseResultLog(s());
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               "Failed to write '" + path + "': No such file or directory",
                               "Failed to write 'result.log': " + path + ": No such file or directory",
                           }));
    EXPECT_FALSE(fs::exists("result.log"));
    EXPECT_TRUE(s().records.lostInRun);
}

// A scanner's escape sequence or line end stays on its row, shown instead of obeyed.
TEST_F(ResultLog, SerialNumberWithControlCharactersStaysOnItsRow) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    RunRecord& r = row(4, 0, std::string("A\x1b[2J\r\nB\\\0C", 11), "2024/03/05 07:08:20");
    r.colResult = "OK";
    ASSERT_TRUE(AppendResultRow(s()));
    const std::string log = slurp(logPath());
    const std::string line =
        "| 2024/03/05 07:08:20 |      4-000 | A\\x1B[2J\\x0D\\x0AB\\\\\\x00C |   OK   |        |        |  ---   |  -- "
        "   "
        "|   --   |  ---   |   --   |\r\n";
    ASSERT_GE(log.size(), line.size());
    EXPECT_EQ(log.substr(log.size() - line.size()), line);
}

TEST_F(ResultLog, SerialNumberOfTenThousandCharactersKeptWhole) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    const std::string serial(10000, 'S');
    RunRecord& r = row(3, 1, serial, "2024/03/05 07:08:20");
    r.colResult = "NG";
    r.colCode = "E608";
    ASSERT_TRUE(AppendResultRow(s()));
    const std::string log = slurp(logPath());
    const std::string line = "| 2024/03/05 07:08:20 |      3-001 | " + serial +
                             " |   NG   |  E608  |        |  ---   |  --    |   --   |  ---   |   --   |\r\n";
    ASSERT_GE(log.size(), line.size());
    EXPECT_EQ(log.substr(log.size() - line.size()), line);
}

TEST_F(ResultLog, SecondOpeningStartsANewFolderAndOnlyItIsClosed) {
    loadMinimalRecipe();
    ASSERT_TRUE(OpenResultLog(s()));
    const std::string first = logPath();
    row(1, 0, "SN1", "2024/03/05 07:08:20");
    ASSERT_TRUE(AppendResultRow(s()));

    clock.advance(65'000);  // the next Start, after a recipe load, a minute later
    ASSERT_TRUE(OpenResultLog(s()));
    const std::string second = logPath();
    EXPECT_EQ(second, dir() + "/log_20240305_070914/20240305_070914_result.log");
    row(2, 0, "SN2", "2024/03/05 07:09:30");
    ASSERT_TRUE(AppendResultRow(s()));
    s().counters.checkCount = 2;
    s().counters.okCount = 2;
    CloseResultLog(s());

    const std::string firstLog = slurp(first);
    const std::string secondLog = slurp(second);
    EXPECT_EQ(firstLog.find("Total:"), std::string::npos);
    EXPECT_NE(firstLog.find("|      1-000 | SN1 "), std::string::npos);
    EXPECT_EQ(secondLog.find("|      1-000 | SN1 "), std::string::npos);
    const std::string totals = "|--------|\r\n\r\nTotal:2 OK:2 NG:0\r\n";
    ASSERT_GE(secondLog.size(), totals.size());
    EXPECT_EQ(secondLog.substr(secondLog.size() - totals.size()), totals);
    EXPECT_EQ(slurp("result.log"), secondLog);
}

TEST_F(ResultLog, CloseWithoutAnOpenedLogLeavesResultLogAlone) {
    dir_.write("result.log", "an earlier run's log\r\n");
    CloseResultLog(s());
    EXPECT_EQ(slurp("result.log"), "an earlier run's log\r\n");
}

}  // namespace
}  // namespace station
