#include "station/window/headless/check_record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/tests/disk_full.h"
#include "station/logs/detail_csv.h"

namespace station {
namespace {

// An NG check's record, by hand.
struct RecordRig {
    RecordRig() {
        RunRecord& row = check->row;
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
        check->verdict = Verdict::Ng;
        check->exitCode = 631;
        check->detail.rawTotal = 2;
        check->detail.gapHorizontalCount = 2;
        check->detail.ngTotal = 2;
        check->totals = {7, 5, 2};
        check->startTime = "2024/03/05 07:10:01";
        check->endTime = "2024/03/05 07:10:04";
        check->elapsed = "3.2sec";
        check->elapsedMs = 3217;
        check->detailCsv = "logs/r6_quick_20240305_070809/20240305_070809_AB123_NG_0007_00.csv";
    }
    std::string json() const { return checkRecordJson(*check); }

    std::unique_ptr<CheckRecord> check = std::make_unique<CheckRecord>();
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
        R"("postProcessExitCode":null,"startTime":"2024/03/05 07:10:01","endTime":"2024/03/05 07:10:04","elapsedSeconds":3.217,)"
        R"("detailCsv":"logs/r6_quick_20240305_070809/20240305_070809_AB123_NG_0007_00.csv",)"
        R"("totals":{"checks":7,"ok":5,"ng":2}})";
    EXPECT_EQ(rig.json(), expected);
}

TEST(CheckRecord, DetailFileNameFollowsTheVerdictAndRetry) {
    RecordRig rig;
    LogFiles log;
    log.logFolder = "logs/r6_quick_20240305_070809/";
    log.logTimestamp = "20240305_070809";
    rig.check->detail.ngTotal = 0;
    rig.check->row.retryNo = 3;
    rig.check->row.checkNo = 1234567;  // wider than the field: written whole
    EXPECT_EQ(detailCsvPath(log, *rig.check), "logs/r6_quick_20240305_070809/20240305_070809_AB123_OK_1234567_03.csv");
    log.logFolder.clear();  // no log was ever opened
    EXPECT_EQ(detailCsvPath(log, *rig.check), "");
}

// An ERROR has no code and no detail file; a NO TEST has no code but its file.
TEST(CheckRecord, ErrorAndNoTest) {
    RecordRig rig;
    rig.check->row.colCode = "    ";
    rig.check->verdict = Verdict::Error;
    rig.check->exitCode = -1;
    auto j = nlohmann::json::parse(rig.json());
    EXPECT_EQ(j["verdict"], "ERROR");
    EXPECT_TRUE(j["errorCode"].is_null());
    EXPECT_TRUE(j["detailCsv"].is_null());
    EXPECT_EQ(j["exitCode"], -1);
    rig.check->verdict = Verdict::NoTest;
    rig.check->detail.ngTotal = 0;
    rig.check->detailCsv = "logs/r6_quick_20240305_070809/20240305_070809_AB123_OK_0007_00.csv";
    j = nlohmann::json::parse(rig.json());
    EXPECT_EQ(j["verdict"], "NO TEST");
    EXPECT_TRUE(j["errorCode"].is_null());
    EXPECT_EQ(j["detailCsv"], "logs/r6_quick_20240305_070809/20240305_070809_AB123_OK_0007_00.csv");
}

// A detail file that did not reach the disk is not named; nor is a record line that did not.
TEST(CheckRecord, OnlyWhatWasWrittenIsNamed) {
    RecordRig rig;
    rig.check->detailCsv.clear();
    EXPECT_TRUE(nlohmann::json::parse(rig.json())["detailCsv"].is_null());

    char dir[] = "/tmp/vorlick-json-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/checks.jsonl";
    std::ofstream(path) << "{\"earlier\":1}\n";
    {
        CheckRecordFile file;
        platform::Failure why;
        ASSERT_TRUE(file.open(path, why)) << why.text();
        const platform::test::DiskFullAfter full(100);
        EXPECT_EQ(file.append(rig.json()).failure.reason, "File too large");
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
    rig.check->row.serialNo = std::string("A\xff\"B\n", 5) + std::string(10000, '9');
    const std::string line = rig.json();
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
        platform::Failure why;
        ASSERT_TRUE(file.open(path, why)) << why.text();
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
    platform::Failure why;
    EXPECT_FALSE(refused.open(std::string(dir) + "/no/such/folder/x.jsonl", why));
    EXPECT_EQ(why.reason, "No such file or directory");
    EXPECT_FALSE(refused.append("{}"));
    std::remove(path.c_str());
    ::rmdir(dir);
}

}  // namespace
}  // namespace station
