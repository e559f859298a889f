#include "station/window/headless/check_record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/clock.h"
#include "platform/tests/disk_full.h"
#include "sim/virtual_bus.h"
#include "station/logs/detail_csv.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station {
namespace {

struct RecordRig {
    RecordRig() {
        s.logFiles.logFolder = "logs/r6_quick_20240305_070809/";
        s.logFiles.logTimestamp = "20240305_070809";
        RunRecord& row = *s.runs.beginRow();
        row.checkNo = 7;
        row.retryNo = 0;
        row.serialNo = "AB123";
        row.colResult = "NG";
        row.colCode = "E631";
        row.colCom = "    ";
        row.colFw = " --- ";
        row.colShort = "   ";
        row.colOpen = "RX";
        row.colRaw = "     ";
        row.colDraw = " -- ";
        s.runs.commitRow();
        s.state = StationState::Ng;
        s.exitCode = 631;
        s.detail.rawTotal = 2;
        s.detail.gapHorizontalCount = 2;
        s.detail.ngTotal = 2;
        s.counters.checkCount = 7;
        s.counters.okCount = 5;
        s.counters.ngCount = 2;
        s.counters.startTime = "2024/03/05 07:10:01";
        s.counters.endTime = "2024/03/05 07:10:04";
        s.counters.elapsed = "3.2sec";
        s.counters.elapsedMs = 3217;
        s.records.detailCsv = "logs/r6_quick_20240305_070809/20240305_070809_AB123_NG_0007_00.csv";
    }
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station s{table, clock, ui};
};

// The record of an NG, written out by hand: the row, every counter by name, the detail file.
TEST(CheckRecord, AnNgCheckAsOneLine) {
    RecordRig rig;
    const std::string expected =
        R"({"check":7,"retry":0,"serialNumber":"AB123","verdict":"NG","errorCode":"E631","exitCode":631,)"
        R"("columns":{"RESULT":"NG","CODE":"E631","COM":"    ","F/W":" --- ","SHORT":"   ","OPEN":"RX","RAW":"     ","DRAW":" -- "},)"
        R"("detail":{"comFlags":0,"firmwareFlags":0,"shortTotal":0,"shortTxTotal":0,"txGndCount":0,"txVddCount":0,)"
        R"("shortRxTotal":0,"rxGndCount":0,"rxVddCount":0,"reserved10":0,"reserved11":0,"reserved12":0,"reserved13":0,)"
        R"("rawTotal":2,"upperCount":0,"lowerCount":0,"calCount":0,"dbCount":0,"rawRetryCount":0,)"
        R"("gapHorizontalCount":2,"gapVerticalCount":0,"drawResult":0,"tkpFlags":0,"scanFlags":0,"homeKeyFlags":0,)"
        R"("hsyncFlags":0,"extSwitchFlags":0,"ngTotal":2,"serialNg":0},)"
        R"("startTime":"2024/03/05 07:10:01","endTime":"2024/03/05 07:10:04","elapsedSeconds":3.217,)"
        R"("detailCsv":"logs/r6_quick_20240305_070809/20240305_070809_AB123_NG_0007_00.csv",)"
        R"("totals":{"checks":7,"ok":5,"ng":2}})";
    EXPECT_EQ(checkRecordJson(rig.s), expected);
}

TEST(CheckRecord, DetailFileNameFollowsTheVerdictAndRetry) {
    RecordRig rig;
    rig.s.detail.ngTotal = 0;
    rig.s.runs.current()->retryNo = 3;
    rig.s.runs.current()->checkNo = 1234567;  // wider than the field: written whole
    EXPECT_EQ(detailCsvPath(rig.s), "logs/r6_quick_20240305_070809/20240305_070809_AB123_OK_1234567_03.csv");
    rig.s.logFiles.logFolder.clear();  // no log was ever opened
    EXPECT_EQ(detailCsvPath(rig.s), "");
}

// An ERROR has no code and no detail file; a NO TEST has no code but its file.
TEST(CheckRecord, ErrorAndNoTest) {
    RecordRig rig;
    rig.s.runs.current()->colCode = "    ";
    rig.s.state = StationState::Error;
    rig.s.exitCode = -1;
    auto j = nlohmann::json::parse(checkRecordJson(rig.s));
    EXPECT_EQ(j["verdict"], "ERROR");
    EXPECT_TRUE(j["errorCode"].is_null());
    EXPECT_TRUE(j["detailCsv"].is_null());
    EXPECT_EQ(j["exitCode"], -1);
    rig.s.state = StationState::NoTest;
    rig.s.detail.ngTotal = 0;
    rig.s.records.detailCsv = "logs/r6_quick_20240305_070809/20240305_070809_AB123_OK_0007_00.csv";
    j = nlohmann::json::parse(checkRecordJson(rig.s));
    EXPECT_EQ(j["verdict"], "NO TEST");
    EXPECT_TRUE(j["errorCode"].is_null());
    EXPECT_EQ(j["detailCsv"], "logs/r6_quick_20240305_070809/20240305_070809_AB123_OK_0007_00.csv");
}

// A detail file that did not reach the disk is not named; nor is a record line that did not.
TEST(CheckRecord, OnlyWhatWasWrittenIsNamed) {
    RecordRig rig;
    rig.s.records.detailCsv.clear();
    EXPECT_TRUE(nlohmann::json::parse(checkRecordJson(rig.s))["detailCsv"].is_null());

    char dir[] = "/tmp/vorlick-json-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/checks.jsonl";
    std::ofstream(path) << "{\"earlier\":1}\n";
    {
        CheckRecordFile file;
        std::string why;
        ASSERT_TRUE(file.open(path, why)) << why;
        const platform::test::DiskFullAfter full(100);
        EXPECT_EQ(file.append(checkRecordJson(rig.s)).error, "File too large");
    }
    std::stringstream all;
    all << std::ifstream(path).rdbuf();
    EXPECT_EQ(all.str(), "{\"earlier\":1}\n");
    std::remove(path.c_str());
    ::rmdir(dir);
}

// A scanner's bytes need not be UTF-8, and a serial number may be very long: the record stays
// one valid line with the number whole.
TEST(CheckRecord, SerialNumbersOfAnyBytes) {
    RecordRig rig;
    rig.s.runs.current()->serialNo = std::string("A\xff\"B\n", 5) + std::string(10000, '9');
    const std::string line = checkRecordJson(rig.s);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["serialNumber"], "A\xEF\xBF\xBD\"B\n" + std::string(10000, '9'));
}

TEST(CheckRecord, FileAppendsFlushedLines) {
    char dir[] = "/tmp/vorlick-json-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/checks.jsonl";
    {
        std::ofstream(path) << "{\"earlier\":1}\n";
        CheckRecordFile file;
        std::string why;
        ASSERT_TRUE(file.open(path, why)) << why;
        ASSERT_TRUE(file.append("{\"a\":1}"));
        // Readable at once, before the file is closed.
        std::stringstream now;
        now << std::ifstream(path).rdbuf();
        EXPECT_EQ(now.str(), "{\"earlier\":1}\n{\"a\":1}\n");
        ASSERT_TRUE(file.append("{\"b\":2}"));
    }
    std::stringstream all;
    all << std::ifstream(path).rdbuf();
    EXPECT_EQ(all.str(), "{\"earlier\":1}\n{\"a\":1}\n{\"b\":2}\n");
    CheckRecordFile refused;
    std::string why;
    EXPECT_FALSE(refused.open(std::string(dir) + "/no/such/folder/x.jsonl", why));
    EXPECT_EQ(why, "No such file or directory");
    EXPECT_FALSE(refused.append("{}"));
    std::remove(path.c_str());
    ::rmdir(dir);
}

}  // namespace
}  // namespace station
