#include "station/logs/detail_csv.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/tests/disk_full.h"
#include "station/logs/record_file.h"

namespace station {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string repeat(const std::string& cell, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += cell;
    return out;
}

// ",0,1,..,n-1"
std::string indices(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += "," + std::to_string(i);
    return out;
}

// From a section's title line up to the next section or the end block.
std::string section(const std::string& body, const std::string& title) {
    const auto at = body.find(title);
    if (at == std::string::npos) return "<missing " + title + ">";
    auto end = body.find(">>>>>", at + title.size());
    if (end == std::string::npos) end = body.find("//****", at);
    return body.substr(at, end - at);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// One finished check's record, built by hand, and the log it belongs to.
struct CsvFixture : testing::Test {
    RecipeSettings recipe;
    std::unique_ptr<CheckRecord> check = std::make_unique<CheckRecord>();
    LogFiles log;
    fs::path dir;
    // What the last write came to, and every failure said since the fixture began.
    DetailCsvWrite written;
    std::vector<std::string> failures;

    CheckRecord& record() { return *check; }
    RunRecord& row() { return check->row; }

    void SetUp() override {
        dir = fs::path(testing::TempDir()) / ("detail_csv_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        begin("AB123", 7, 0);
    }
    void TearDown() override { fs::remove_all(dir); }

    // A new check, with its columns as the recipe set them.
    void begin(const std::string& serial, int checkNo, int retryNo) {
        check->clear();
        RunRecord& r = check->row;
        initialiseColumns(r, recipe);
        r.checkNo = checkNo;
        r.retryNo = retryNo;
        r.serialNo = serial;
        check->totals = {checkNo, 6, 1};
        // The check took 61.234 s; the panel shows "61.2sec", the record keeps the measure.
        check->elapsed = "61.2sec";
        check->elapsedMs = 61'234;
        check->startTime = "2024/03/05 07:08:09";
        check->endTime = "2024/03/05 07:09:10";
        log.logTimestamp = "20240305_070809";
        log.logFolder = dir.string() + "/log_20240305_070809/";
        log.detailCsvHeader = "HEADER\n";
        fs::create_directories(log.logFolder);
    }
    void ng(const char* code) {
        record().detail.ngTotal = 1;
        row().colResult = "NG";
        row().colCode = code;
    }
    std::string body() { return detailCsvBody(recipe, record()); }
    void write(bool ok) {
        written = writeDetailCsv(recipe, record(), log, ok);
        failures.insert(failures.end(), written.failures.begin(), written.failures.end());
    }
    fs::path file(const std::string& name) { return fs::path(log.logFolder) / name; }
};

const char* const kEnd =
    "//******************** end of result ********************//\n"
    "Total,7,,OK,6,,NG,1\n"
    "End-Time,2024/03/05 07:09:10,,61.23,(sec)\n\n";

TEST_F(CsvFixture, OkCheckWithOnlyComAndSerialIsWrittenWhole) {
    row().colResult = "OK";
    write(true);

    const std::string expected =
        std::string(
            "HEADER\n"
            "2024/03/05 07:09:10,     7-000,AB123             ,OK,    ,    , --- ,-- ,--, --- , -- \n"
            "\n\n\n"
            "//******************** detail result ********************//\n"
            "Total,Retry,S/N\n"
            "#.7,0,AB123\n"
            "Start-Time,2024/03/05 07:08:09\n"
            ">>>>> COM Open check <<<<<\nPASS\n\n"
            ">>>>> COM Open check <<<<<\nPASS\n\n"
            ">>>>> F/W Check <<<<<\nNA\n\n"
            ">>>>> Short check <<<<<\nNA\n\n"
            ">>>>> Raw <<<<<\nNA\n\n"
            ">>>>> Drawing <<<<<\nNA\n\n"
            ">>>>> TKP Pen Check <<<<<\nNA\n\n") +
        kEnd;
    EXPECT_EQ(slurp(file("20240305_070809_AB123_OK_0007_00.csv")), withCrLf(expected));
    EXPECT_FALSE(fs::exists("last_simple_result.txt"));
}

// A whole file from a record built by hand, against the file written out by hand: an NG at the
// firmware identity under the full recipe (the header in force is the one its log opened with).
TEST_F(CsvFixture, FirmwareNgUnderTheFullRecipeIsWrittenWhole) {
    const auto expectedFile = [this](const std::string& name) {
        std::string text = slurp(fs::path(VORLICK_SOURCE_DIR) / "station/logs/tests/expected" / name);
        for (auto at = text.find("@DIR@"); at != std::string::npos; at = text.find("@DIR@", at))
            text.replace(at, 5, dir.string());
        return text;
    };
    RecipeSettings& r = recipe;
    r.WRITE_FW = r.WRITE_HSYNC_FW = 1;
    r.COMPARE_FWVER = 1;
    r.FWVER_MAJOR = 0x0120;
    r.FWVER_MINOR = 0x03;
    r.VID = 0x3A1C;
    r.PID = 0x0A52;
    r.SHORT_CHECK = r.RAW_CHECK = r.DRAWING_CHECK = r.EXT_SWITCH_CHECK = 1;
    r.EMR_CHECK = 1;
    r.EMR_FWVER = 61731;
    r.HSYNC_INFO = r.HSYNC_CHECK = r.HSYNC_MEASURING = 1;
    r.HSYNC_VER = 0x0105;
    r.HSYNC_PID = 0x0A31;
    log.logTimestamp = "20240305_070809";
    log.logFolder = dir.string() + "/logs/r6_20240305_070809/";
    fs::create_directories(log.logFolder);
    log.detailCsvHeader = expectedFile("full_detail_header.txt");

    CheckRecord& c = record();
    c.clear();
    initialiseColumns(c.row, r);
    c.row.checkNo = 3;
    c.row.serialNo = "AB12-0003";
    c.row.colResult = "NG";
    c.row.colCode = "E601";
    c.row.colFw = "T:VER";
    c.verdict = Verdict::Ng;
    c.detail.firmwareFlags =
        firmwareFaultWord(FirmwareFault::VersionDiffers) | firmwareFaultWord(FirmwareFault::PidDiffers);
    c.detail.ngTotal = c.detail.firmwareFlags;
    c.firmware.touchFirmwareMajor = 0x0121;
    c.firmware.touchFirmwareMinor = 0x03;
    c.firmware.vendorId = 0x3A1C;
    c.firmware.productId = 0x0A53;
    c.hsyncPidText = "0x0A31";
    c.hsyncVerText = "0x0105";
    c.startTime = "2024/03/05 07:09:01";
    c.endTime = "2024/03/05 07:09:12";
    c.elapsed = "11.4sec";
    c.elapsedMs = 11'400;
    c.totals = {3, 1, 2};
    write(false);

    EXPECT_EQ(slurp(file("20240305_070809_AB12-0003_NG_0003_00.csv")), expectedFile("full_fw_ng_detail.csv"));
}

TEST_F(CsvFixture, ComOpenFailureLeavesEveryLaterSectionNotApplicable) {
    RecipeSettings& r = recipe;
    r.COMPARE_FWVER = r.SHORT_CHECK = r.RAW_CHECK = r.SCAN_CHECK = r.EXT_SWITCH_CHECK = r.DRAWING_CHECK = 1;
    r.HSYNC_PID = 0x0A31;
    r.HSYNC_MEASURING = 1;
    ng("E610");
    record().detail.comFlags = kComTouchUnusable | kComPenError;
    record().detail.ngTotal = 3;

    const std::string expected = std::string(
                                     "Total,Retry,S/N\n"
                                     "#.7,0,AB123\n"
                                     "Start-Time,2024/03/05 07:08:09\n"
                                     "\nLAST ERROR CODE : E610\n\n"
                                     ">>>>> COM Open check <<<<<\n"
                                     "Device not connected.\nPEN I/F connection error.\n\n"
                                     ">>>>> COM Open check <<<<<\nNA\n\n"
                                     ">>>>> F/W Check <<<<<\nNA\n\n"
                                     ">>>>> HSYNC check <<<<<\n"
                                     "HSYNC MCU PID,---\nHSYNC MCU FW Version,---\n\n"
                                     "NA\n\n"
                                     ">>>>> Short check <<<<<\nNA\n\n"
                                     ">>>>> Raw <<<<<\nNA\n\n"
                                     ">>>>> Scan Check <<<<<\nNA\n\n"
                                     ">>>>> External Switch Check <<<<<\nNA\n\n"
                                     ">>>>> Drawing <<<<<\nNA\n\n"
                                     ">>>>> TKP Pen Check <<<<<\nNA\n\n") +
                                 kEnd;
    EXPECT_EQ(body(), expected);

    record().detail.comFlags = kComNormalMode | kComTouchUnusable;
    EXPECT_EQ(section(body(), ">>>>> COM Open check <<<<<\n"),
              ">>>>> COM Open check <<<<<\nConnect with Normal Mode error.\n\n");
}

TEST_F(CsvFixture, SerialMismatchFailsTheLaterSections) {
    recipe.SHORT_CHECK = 1;
    record().detail.serialNg = 1;
    const std::string b = body();
    EXPECT_NE(b.find(">>>>> COM Open check <<<<<\nPASS\n\n>>>>> COM Open check <<<<<\nS/N Check failed error.\n\n"),
              std::string::npos);
    EXPECT_EQ(section(b, ">>>>> Short check <<<<<\n"), ">>>>> Short check <<<<<\nNA\n\n");
}

TEST_F(CsvFixture, FirmwareSectionWritesALinePerFault) {
    RecipeSettings& r = recipe;
    r.COMPARE_FWVER = 1;
    r.SHORT_CHECK = 1;
    r.CHECKSUM = 0x1234;
    r.FWVER_MAJOR = 0x0105;
    r.FWVER_MINOR = 0x04;
    r.VID = 0x1234;
    r.PID = 0x0112;
    r.EMR_FWVER = 0x22;
    record().firmware.touchFirmwareMajor = 0x0102;
    record().firmware.touchFirmwareMinor = 0x03;
    record().firmware.penFirmware = 0x21;
    record().firmware.hexChecksum = 0xBEEF;
    record().firmware.writerExitCode = 5;

    struct Case {
        std::int32_t flags;
        std::int32_t writeHsync;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, "PASS\n\n"},
        {1, 0, "CheckSum HEX,0xBEEF,,Compare,0x1234\n\n"},
        {2, 0, "RomWrite Write Error (Code : 0x0005)\n\n"},
        {3, 1, "HSYNC-MCU FW Write Error\n\n"},
        {4, 0, "F/W Version,<Major>,0x0102,,Compare,0x0105\n,<Minor>,0x03,,Compare,0x04\n\n"},
        {8, 0, "VendorID,0x0000,,Compare,0x1234\n\n"},
        {16, 0, "ProductID,0x0000,,Compare,0x0112\n\n"},
        {128, 0, "PEN F/W Version,0x0021,,Compare,0x0022\n\n"},
        {4 | 16, 0,
         "F/W Version,<Major>,0x0102,,Compare,0x0105\n,<Minor>,0x03,,Compare,0x04\n"
         "ProductID,0x0000,,Compare,0x0112\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        r.WRITE_HSYNC_FW = c.writeHsync;
        record().detail.firmwareFlags = c.flags;
        const std::string b = body();
        EXPECT_EQ(section(b, ">>>>> F/W Check <<<<<\n"), std::string(">>>>> F/W Check <<<<<\n") + c.text);
        EXPECT_EQ(section(b, ">>>>> Short check <<<<<\n"),
                  std::string(">>>>> Short check <<<<<\n") + (c.flags == 0 ? "PASS\n\n" : "NA\n\n"));
    }

    // A failed write without COMPARE_FWVER: the section is not applicable, and nothing after it
    // reads as passed (the check ended there).
    r.COMPARE_FWVER = 0;
    record().detail.firmwareFlags = 1;
    const std::string b = body();
    EXPECT_EQ(section(b, ">>>>> F/W Check <<<<<\n"), ">>>>> F/W Check <<<<<\nNA\n\n");
    EXPECT_EQ(section(b, ">>>>> Short check <<<<<\n"), ">>>>> Short check <<<<<\nNA\n\n");
}

TEST_F(CsvFixture, HsyncSectionReportsEachEnabledCheck) {
    RecipeSettings& r = recipe;
    r.SHORT_CHECK = 1;
    r.HSYNC_PID = 0x0A31;
    r.HSYNC_VER = 0x0102;
    r.HSYNC_CHECK = 100;
    r.HSYNC_CHECK_COUNT = 3;
    r.HSYNC_CHECK_THRESHOLD = 2;
    r.HSYNC_CHECK_NO_MCU = 1;
    r.HSYNC_MEASURING = 1;
    r.HSYNC_MEAS_COUNT = 3;
    r.HSYNC_MEAS_THRESHOLD = 2;
    record().hsyncPidText = "0x0A31";
    record().hsyncVerText = "0x0102";
    record().hsync.hsyncSamples = {256, 50, 300};
    record().hsync.hsyncOkCount = 2;
    record().hsync.noiseSamples = {-3, 12, 0};
    record().hsync.noiseInRange = 2;

    const std::string head = ">>>>> HSYNC check <<<<<\nHSYNC MCU PID,0x0A31\nHSYNC MCU FW Version,0x0102\n\n";
    struct Case {
        std::int32_t flags;
        std::string text;
    };
    const Case cases[] = {
        {0,
         "HSYNC MCU PID Check,PASS\n\n"
         "HSYNC MCU Version Check,PASS\n\n"
         "HSYNC enable.\nOK count,2,check count,3,required count,2\nlogged data,256,50,300\n\n"
         "HSYNC enable. (direct connection)\n\n"
         "HSYNC Noise Measuring,PASS\nOK count,2,check count,3,required count,2\nlogged data,-3,12,0\n\n"},
        {kHsyncComError,
         "HSYNC MCU communicate error.(PID check)\n\n"
         "HSYNC MCU communicate error.(VER check)\n\n"
         "HSYNC MCU communicate error.(signal check)\n\n"
         "HSYNC enable. (direct connection)\n\n"
         "HSYNC MCU communicate error.(noise measuring)\n\n"},
        {kHsyncPidDiffers | kHsyncVersionDiffers | kHsyncDisabled | kHsyncNoiseFailed,
         "HSYNC MCU PID Check,NG\n\n"
         "HSYNC MCU Version Check,NG\n\n"
         "HSYNC disable.\nOK count,2,check count,3,required count,2\nlogged data,256,50,300\n\n"
         "HSYNC disable. (direct connection)\n\n"
         "HSYNC Noise Measuring,NG\nOK count,2,check count,3,required count,2\nlogged data,-3,12,0\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        record().detail.hsyncFlags = c.flags;
        const std::string b = body();
        EXPECT_EQ(section(b, ">>>>> HSYNC check <<<<<\n"), head + c.text);
        EXPECT_EQ(section(b, ">>>>> Short check <<<<<\n"),
                  std::string(">>>>> Short check <<<<<\n") + (c.flags == 0 ? "PASS\n\n" : "NA\n\n"));
    }

    // Only the signal check: no MCU texts.
    r.HSYNC_PID = 0;
    r.HSYNC_VER = 0;
    r.HSYNC_MEASURING = 0;
    r.HSYNC_CHECK_NO_MCU = 0;
    record().detail.hsyncFlags = 0;
    EXPECT_EQ(section(body(), ">>>>> HSYNC check <<<<<\n"),
              ">>>>> HSYNC check <<<<<\n"
              "HSYNC enable.\nOK count,2,check count,3,required count,2\nlogged data,256,50,300\n\n");
}

TEST_F(CsvFixture, ShortSectionMapsPinsThroughTheLookupTables) {
    RecipeSettings& r = recipe;
    r.SHORT_CHECK = 1;
    r.XLUT[0] = 0x100 | 2;
    r.XLUT[1] = 0x100 | 0;
    r.XLUT[2] = 0x100 | 1;
    r.YLUT[0] = 0x100 | 5;
    r.YLUT[1] = 0x200 | 1;  // bits 9..8 = 10: not a Tx pin
    r.YLUT[2] = 0x100 | 0;
    PinCheck& t = record().pins;
    t.rxPins[1].vddFault = 1;
    t.rxPins[2].gndFault = 1;
    t.rxPins[5].vddFault = 1;  // not in the table: never marked
    t.txPins[2].gndFault = 1;
    RunDetail& d = record().detail;
    d.rxVddCount = 1;
    d.rxGndCount = 1;
    d.shortRxTotal = 2;
    d.txGndCount = 1;
    d.shortTxTotal = 1;
    d.shortTotal = 3;
    ng("E623");

    const std::string expected =
        ">>>>> Short check <<<<<\n"
        "notes,*:don't care,_: OK,+:NG\n\n"
        "IC" +
        indices(72) +
        "\n"
        "PANEL,1,2,0" +
        repeat(",*", 69) +
        "\n"
        "Rx Vdd,_,+,_" +
        repeat(",*", 69) +
        "\n"
        "Rx Gnd,_,_,+" +
        repeat(",*", 69) +
        "\n"
        "\n"
        "IC" +
        indices(46) +
        "\n"
        "PANEL,5,*,0" +
        repeat(",*", 43) +
        "\n"
        "Tx Gnd,_,*,+" +
        repeat(",*", 43) +
        "\n"
        "\n";
    EXPECT_EQ(section(body(), ">>>>> Short check <<<<<\n"), expected);

    // Only an Rx fault: no Tx block and no final blank line for it.
    d = RunDetail{};
    d.rxVddCount = d.shortRxTotal = d.shortTotal = 1;
    d.ngTotal = 1;
    EXPECT_EQ(section(body(), ">>>>> Short check <<<<<\n"),
              ">>>>> Short check <<<<<\nnotes,*:don't care,_: OK,+:NG\n\n"
              "IC" +
                  indices(72) + "\nPANEL,1,2,0" + repeat(",*", 69) + "\nRx Vdd,_,+,_" + repeat(",*", 69) + "\n\n");
}

TEST_F(CsvFixture, RawMatricesWriteZeroBeyondTheActiveLines) {
    recipe.RAW_CHECK = 1;
    SensorFrames& t = record().frames;
    t.rxCount = 60;
    t.txCount = 46;
    t.rawRetries = 2;
    for (int y = 0; y < 46; ++y)
        for (int x = 0; x < 72; ++x) t.rawAverage[y][x] = y * 100 + x + 0.25;
    record().raw.maps.gapVertical[45][59] = 7.5;

    const std::string raw = section(body(), ">>>>> Raw <<<<<\n");
    const auto l = lines(raw);
    // Section title; raw and diff blocks (title, header, 46 lines, blank); the two blank lines
    // left by the calibration and actual data parts; the two gap blocks; the result part.
    ASSERT_EQ(l.size(), 1 + 2 * (1 + 1 + 46 + 1) + 2 + 2 * (1 + 1 + 46 + 1) + 4u);
    EXPECT_EQ(l[1], "#Raw Data,retry count,2");
    EXPECT_TRUE(l[2].starts_with(",X0,X1,X2,X3,")) << l[2];
    EXPECT_TRUE(l[2].ends_with(",X70,X71")) << l[2];
    EXPECT_TRUE(l[3].starts_with("Y0,0.25,1.25,2.25,")) << l[3];
    EXPECT_TRUE(l[3].ends_with(",58.25,59.25,0,0,0,0,0,0,0,0,0,0,0,0")) << l[3];
    EXPECT_TRUE(l[48].starts_with("Y45,4500.25,4501.25,")) << l[48];
    EXPECT_TRUE(l[48].ends_with(",4559.25,0,0,0,0,0,0,0,0,0,0,0,0")) << l[48];
    EXPECT_EQ(l[50], "#Diff Data");
    EXPECT_EQ(l[52], "Y0" + repeat(",0.00", 60) + repeat(",0", 12));
    const auto vertical = raw.find("#GAP Vertical Data (Tx Open check)\n");
    ASSERT_NE(vertical, std::string::npos);
    EXPECT_NE(raw.find("Y45" + repeat(",0.00", 59) + ",7.50" + repeat(",0", 12) + "\n", vertical), std::string::npos);
    EXPECT_EQ(raw.substr(raw.size() - 27), "\n\n\n#Raw Check Result\nPASS\n\n");
}

TEST_F(CsvFixture, RawDataPartFollowsTheRecipe) {
    RecipeSettings& r = recipe;
    r.RAW_CHECK = 1;
    r.RAW_LOG_ONLY = 1;
    r.CAL_THRESHOLD = 50;
    r.CALTH_IGNORELINE = {1, 2, 3, 4};
    r.CAL_OLD_DATA = 1;
    r.GET_ACTDATA = 1;
    r.CAL_F_USE = 1;
    r.DB_THRESHOLD = 5;
    SensorFrames& t = record().frames;
    t.readFlags = RawOutOfRetries | ActualOutOfRetries;
    t.rawRetries = 1;
    t.calRetries = 3;
    t.actualRetries = 4;
    t.sdRetries = 6;
    t.scanModeWord = 0x0004;
    t.scanFilterWord = 0x00A0;
    record().raw.maps.calColumns[0] = {0, 1.5, 3, 9.25, 7.75, 1};

    std::vector<std::string> kept;
    for (const std::string& line : lines(section(body(), ">>>>> Raw <<<<<\n"))) {
        if (line.rfind("Y", 0) == 0 || line.rfind(",X", 0) == 0) continue;  // matrix cells
        if (line.rfind("Min", 0) == 0 || line.rfind("Max", 0) == 0 || line.rfind("Dif", 0) == 0)
            kept.push_back(line.substr(0, 20));
        else
            kept.push_back(line);
    }
    const std::vector<std::string> expected = {
        ">>>>> Raw <<<<<",
        "LOG ONLY MODE (no jadge)",
        "",
        "ignore line setting,top,right,bottom,left",
        ",1,2,3,4",
        "",
        "Raw Data Shortage Error!",
        "Actual Data Shortage Error!",
        "",
        "#Raw Data,retry count,1",
        "",
        "#Diff Data",
        "",
        "#Filtered Scan Data(for calibration threshold),retry count,3",
        "ASW,0x0004",
        "FSW,0x00a0",
        "",
        "## Calibration Threshold with filtered scan value",
        "#Min/Max",
        "Min,1.50,0.00,0.00,0",
        "Max,9.25,0.00,0.00,0",
        "Dif,7.75,0.00,0.00,0",
        "",
        "#Actual Data (Filtered scan data),retry count,4,Data from CAL_F",
        "ASW,0x0004",
        "FSW,0x00a0",
        "",
        "",
        "#Standard Deviation Data(for Dead Band problem),retry count,6",
        "",
        "#GAP Horizontal Data (Rx Open check)",
        "",
        "#GAP Vertical Data (Tx Open check)",
        "",
        "",
        "#Raw Check Result",
        "PASS",
        "",
    };
    EXPECT_EQ(kept, expected);
}

TEST_F(CsvFixture, RawResultGridsCoverTheActiveLines) {
    RecipeSettings& r = recipe;
    r.RAW_CHECK = 1;
    r.CAL_THRESHOLD = 10;
    r.GapHorizontalTable[0][1] = 4;
    r.GapHorizontalTable[1][0] = 4;
    SensorFrames& t = record().frames;
    t.txCount = 2;
    t.rxCount = 3;
    JudgementMaps& m = record().raw.maps;
    m.upperMap[1][2] = 1;
    m.calColumns[1] = {0, 1.0, 1, 20.0, 19.0, 1};
    m.gapHorizontal[0][1] = 5;  // above its limit
    m.gapHorizontal[1][0] = 3;  // below it
    RunDetail& d = record().detail;
    d.upperCount = 1;
    d.calCount = 1;
    d.gapHorizontalCount = 1;
    d.rawTotal = 3;
    ng("E640");

    const std::string raw = section(body(), ">>>>> Raw <<<<<\n");
    const std::string result = raw.substr(raw.find("#Raw Check Result"));
    EXPECT_EQ(result,
              "#Raw Check Result\n"
              "notes,*:don't care,_: OK,+:NG\n\n"
              "Upper Threshold\n,X0,X1,X2\nY0,_,_,_\nY1,_,_,+\n\n"
              "Calibration Threshold,Min-Max\n,X0,X1,X2\nY0,_,+,_\nY1,_,+,_\n\n"
              "GAP HORIZONTAL Check Error (Rx Open) occurred.\n,X0,X1,X2\nY0,_,+,_\nY1,_,_,_\n\n"
              "\n");

    r.CAL_DIFF = 1;
    m.calDiff[0][0] = 11;
    d.upperCount = 0;
    d.gapHorizontalCount = 0;
    const std::string diff = section(body(), ">>>>> Raw <<<<<\n");
    EXPECT_NE(diff.find("#Raw Check Result\nnotes,*:don't care,_: OK,+:NG\n\n"
                        "Calibration Threshold,Differential\n,X0,X1,X2\nY0,+,_,_\nY1,_,_,_\n\n\n"),
              std::string::npos);
}

TEST_F(CsvFixture, ShortAndRawFaultsCountFromTheScanSectionOn) {
    RecipeSettings& r = recipe;
    r.SHORT_CHECK = r.RAW_CHECK = r.SCAN_CHECK = r.EXT_SWITCH_CHECK = r.DRAWING_CHECK = 1;
    record().detail.rawTotal = 1;
    record().detail.upperCount = 1;
    ng("E640");
    const std::string b = body();
    EXPECT_EQ(section(b, ">>>>> Short check <<<<<\n"), ">>>>> Short check <<<<<\nPASS\n\n");
    EXPECT_NE(section(b, ">>>>> Raw <<<<<\n").find("#Raw Check Result\nnotes"), std::string::npos);
    EXPECT_EQ(section(b, ">>>>> Scan Check <<<<<\n"), ">>>>> Scan Check <<<<<\nNA\n\n");
    EXPECT_EQ(section(b, ">>>>> External Switch Check <<<<<\n"), ">>>>> External Switch Check <<<<<\nNA\n\n");
    EXPECT_EQ(section(b, ">>>>> Drawing <<<<<\n"), ">>>>> Drawing <<<<<\nNA\n\n");
}

TEST_F(CsvFixture, ScanAndExternalSwitchSections) {
    RecipeSettings& r = recipe;
    r.SCAN_CHECK = r.EXT_SWITCH_CHECK = 1;
    struct Case {
        std::int32_t scanFlags, scanRetry, extFlags;
        const char* scan;
        const char* ext;
    };
    const Case cases[] = {
        {0, 0, 0, "PASS\n\n", "PASS\n\n"},
        {0, 2, 1, "PASS\nRetry count,2\n\n", "NG : Timeout (reset failed).\n\n"},
        {1 | 2, 0, 2, "Device connection error.\nNG : Timeout (touch).\n\n", "\n"},
        {4, 0, 0, "NG : Timeout (pen).\n\n", "PASS\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scan);
        record().detail.scanFlags = c.scanFlags;
        record().scanRetry = c.scanRetry;
        record().detail.extSwitchFlags = c.extFlags;
        const std::string b = body();
        EXPECT_EQ(section(b, ">>>>> Scan Check <<<<<\n"), std::string(">>>>> Scan Check <<<<<\n") + c.scan);
        EXPECT_EQ(section(b, ">>>>> External Switch Check <<<<<\n"),
                  std::string(">>>>> External Switch Check <<<<<\n") + c.ext);
    }
}

TEST_F(CsvFixture, DrawingSectionListsTheEnabledStepsUpToTheFailingOne) {
    RecipeSettings& r = recipe;
    r.DRAWING_CHECK = 1;
    struct Case {
        std::uint32_t mask;
        std::int32_t accuracy, hover, drawResult;
        const char* colCode;
        const char* text;
    };
    const Case cases[] = {
        {0, 1, 0, 0, "    ",
         "Multi-Touch Check,PASS\nTouch Square Check,PASS\nTouch Diagonal Check,PASS\nPen Square Check,PASS\n"
         "Pen Diagonal Check,PASS\nPen Accuracy Check,PASS\n\nPASS\n\n"},
        {0, 0, 0, 1, "E651", "Initial touch, NG\n\nError occurred! Check the save image.\n\n"},
        {kDrawDisableMtouch, 0, 0, 4, "E654",
         "Touch Square Check,PASS\nTouch Diagonal Check,NG\n\nError occurred! Check the save image.\n\n"},
        // A later TKP failure holds colCode; the drawing's own failing step still shows.
        {kDrawDisableMtouch, 0, 0, 4, "E660",
         "Touch Square Check,PASS\nTouch Diagonal Check,NG\n\nError occurred! Check the save image.\n\n"},
        {kDrawDisableTsq | kDrawDisablePsq | kDrawDisablePdl, 1, 1, 8, "E658",
         "Multi-Touch Check,PASS\nTouch Diagonal Check,PASS\nPen Accuracy Check,PASS\nPen Hover Check,NG\n\n"
         "Error occurred! Check the save image.\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        r.drawDisableMask = c.mask;
        r.ACCURACY_CHECK = c.accuracy;
        r.HOVER_CHECK = c.hover;
        record().detail.drawResult = c.drawResult;
        row().colCode = c.colCode;
        EXPECT_EQ(section(body(), ">>>>> Drawing <<<<<\n"), std::string(">>>>> Drawing <<<<<\n") + c.text);
    }
}

TEST_F(CsvFixture, RetryWritesASecondFileBesideTheFirst) {
    row().colResult = "NG";
    ng("E640");
    write(false);
    begin("AB123", 7, 1);
    row().colResult = "OK";
    write(true);

    const std::string first = slurp(file("20240305_070809_AB123_NG_0007_00.csv"));
    const std::string retry = slurp(file("20240305_070809_AB123_OK_0007_01.csv"));
    EXPECT_NE(first.find("\r\n#.7,0,AB123\r\n"), std::string::npos);
    EXPECT_NE(first.find("\r\nLAST ERROR CODE : E640\r\n"), std::string::npos);
    EXPECT_NE(retry.find("\r\n#.7,1,AB123\r\nStart-Time,"), std::string::npos);
    EXPECT_NE(retry.find("2024/03/05 07:09:10,     7-001,AB123             ,OK,"), std::string::npos);
}

TEST_F(CsvFixture, SimpleResultSummarisesTheLastCheckInTheWorkingDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    recipe.SIMPLE_RESULT = 1;
    write(true);
    EXPECT_EQ(slurp("last_simple_result.txt"), "PASS\r\n1\r\n20240305_070809\r\n");
    ng("E610");
    write(false);
    EXPECT_EQ(slurp("last_simple_result.txt"), "FAIL\r\n0\r\n20240305_070809\r\n");
    fs::current_path(before);
}

// Whatever the scanner sent: the file gets a name the file system takes (the same name as ever for
// an ordinary serial number), and the file holds the serial number whole, quoted where the CSV
// needs it.
TEST_F(CsvFixture, SerialNumbersOfAnyBytesGetASafeNameAndStayWholeInside) {
    struct Case {
        std::string serial;
        std::string name;      // the serial number's part of the file name
        std::string overview;  // its cell in the overview row
        std::string total;     // its cell after "#.7,0,"
    };
    const Case cases[] = {
        {"AB123", "AB123", "AB123             ", "AB123"},
        {"", "", "                  ", ""},
        {"AB 12.x-y_z", "AB 12.x-y_z", "AB 12.x-y_z       ", "AB 12.x-y_z"},
        {"AB/12", "AB%2F12", "AB/12             ", "AB/12"},
        {std::string("A\0B", 3), "A%00B", std::string("\"A\0B               \"", 20), std::string("\"A\0B\"", 5)},
        {"\x1b[2J", "%1B[2J", "\"\x1b[2J              \"", "\"\x1b[2J\""},
        {"A,B", "A,B", "\"A,B               \"", "\"A,B\""},
        {"say \"hi\"", "say %22hi%22", "\"say \"\"hi\"\"          \"", "\"say \"\"hi\"\"\""},
        {"50%", "50%25", "50%               ", "50%"},
        {"C:\\x*?<>|", "C%3A%5Cx%2A%3F%3C%3E%7C", "C:\\x*?<>|         ", "C:\\x*?<>|"},
        {"\xe8\xa3\xbd-1", "%E8%A3%BD-1", "\xe8\xa3\xbd-1             ", "\xe8\xa3\xbd-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.serial));
        fs::remove_all(log.logFolder);
        begin(c.serial, 7, 0);
        row().colResult = "OK";
        write(true);
        const fs::path path = file("20240305_070809_" + c.name + "_OK_0007_00.csv");
        EXPECT_EQ(written.detailCsv, path.string());
        const std::string text = slurp(path);
        EXPECT_EQ(text.substr(0, text.find("\r\n\r\n")),
                  "HEADER\r\n2024/03/05 07:09:10,     7-000," + c.overview + ",OK,    ,    , --- ,-- ,--, --- , -- ");
        EXPECT_NE(text.find("\r\nTotal,Retry,S/N\r\n#.7,0," + c.total + "\r\nStart-Time,"), std::string::npos);
    }
    EXPECT_TRUE(failures.empty()) << testing::PrintToString(failures);
}

// A name longer than the file system takes is cut to 255 bytes and marked with a hash of the
// whole serial number; the file holds it whole.
TEST_F(CsvFixture, LongSerialNumbersFitTheNameAndStayWholeInside) {
    const std::string fits(200, 'S');
    begin(fits, 7, 0);
    write(true);
    EXPECT_TRUE(fs::exists(file("20240305_070809_" + fits + "_OK_0007_00.csv")));

    struct Case {
        std::string serial;
        std::string name;
    };
    const Case cases[] = {
        {std::string(300, 'L'), std::string(215, 'L') + "~E29CA105"},
        {std::string(10000, 'L'), std::string(215, 'L') + "~FADD7CC5"},
        // A cut never splits a "%XX".
        {std::string(214, 'L') + "/////", std::string(214, 'L') + "~59D0C47A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial.size());
        begin(c.serial, 8, 0);
        write(true);
        const std::string name = "20240305_070809_" + c.name + "_OK_0008_00.csv";
        EXPECT_LE(name.size(), 255u);
        const std::string text = slurp(file(name));
        EXPECT_NE(text.find("\r\n#.8,0," + c.serial + "\r\n"), std::string::npos);
    }
    EXPECT_TRUE(failures.empty()) << testing::PrintToString(failures);
}

// A record that cannot be written is said with the system's reason, leaves no file, temporary or
// half, and is not named as written; the next check waits until the operator has seen it.
TEST_F(CsvFixture, UnwritableFolderOrFullDiskIsReportedAndLeavesNoFile) {
    const std::string gone = (dir / "missing" / "log_x").string();
    log.logFolder = gone + "/";
    write(true);
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_EQ(failures, std::vector<std::string>{"Failed to write detail log '" + gone +
                                                 "/20240305_070809_AB123_OK_0007_00.csv': No such file or directory"});
    EXPECT_EQ(written.detailCsv, "");

    // A disk that fills up half-way, for the summary and the detail file alike.
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    failures.clear();
    begin("AB123", 7, 0);
    recipe.SIMPLE_RESULT = 1;
    {
        const platform::test::DiskFullAfter full(8);
        write(true);
    }
    fs::current_path(before);
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "Failed to write 'last_simple_result.txt': File too large",
                            "Failed to write detail log '" + file("20240305_070809_AB123_OK_0007_00.csv").string() +
                                "': File too large",
                        }));
    EXPECT_EQ(written.detailCsv, "");
    EXPECT_TRUE(fs::is_empty(log.logFolder));
    EXPECT_FALSE(fs::exists(dir / "last_simple_result.txt"));
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir)) entries += entry.path().filename() != "log_20240305_070809";
    EXPECT_EQ(entries, 0u);

    // Before any result log was opened there is no folder to write into.
    log.logFolder.clear();
    EXPECT_EQ(detailCsvPath(log, record()), "");
}

// The summary speaks for one check: a check that begins takes the last one's away, so one that
// ends without a verdict leaves none.
TEST_F(CsvFixture, SimpleResultGoesWhenTheNextCheckBegins) {
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    recipe.SIMPLE_RESULT = 1;
    write(true);
    ASSERT_TRUE(fs::exists("last_simple_result.txt"));
    EXPECT_TRUE(removeSimpleResult(recipe).empty());
    EXPECT_FALSE(fs::exists("last_simple_result.txt"));
    fs::current_path(before);
    EXPECT_TRUE(failures.empty());
}

}  // namespace
}  // namespace station
