#include "results/ingest.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "results/sqlite_store.h"
#include "results/tests/report_fixture.h"
#include "results/utc_time.h"

namespace results {
namespace {

using testing::ScratchFolder;

// The time zone the files' local times are read in, for one test.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

struct Read {
    std::vector<CheckResult> checks;
    std::vector<std::string> where;
    std::vector<std::string> problems;
    bool isLog = true;
};

IngestContext station9() {
    IngestContext c;
    c.stationId = "st9";
    return c;
}

Read readLog(const std::string& text, const std::string& path, const IngestContext& context = station9()) {
    Read r;
    std::istringstream in(text);
    r.isLog = readResultLog(
        in, path, context,
        [&](CheckResult&& c, const std::string& where) {
            r.checks.push_back(std::move(c));
            r.where.push_back(where);
        },
        [&](const std::string& p) { r.problems.push_back(p); });
    return r;
}

Read readRecords(const std::string& text, const IngestContext& context) {
    Read r;
    std::istringstream in(text);
    readCheckRecords(
        in, "checks.jsonl", context,
        [&](CheckResult&& c, const std::string& where) {
            r.checks.push_back(std::move(c));
            r.where.push_back(where);
        },
        [&](const std::string& p) { r.problems.push_back(p); });
    return r;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(TimeBounds, TakeUtcAndLocalFormsAndRefuseWhatIsNoTime) {
    TimeZone zone("XXX-1");  // UTC+1 all year
    struct Case {
        const char* text;
        const char* utc;  // null: refused
    };
    const Case cases[] = {
        {"2026-03-02", "2026-03-02T00:00:00Z"},
        {"2026-03-02T08:15:04Z", "2026-03-02T08:15:04Z"},
        {"2026-03-02T08:15Z", "2026-03-02T08:15:00Z"},
        {"2026-03-02T08:15:04", "2026-03-02T07:15:04Z"},
        {"2026-03-02 00:30", "2026-03-01T23:30:00Z"},
        {"2026/03/02 08:15:04", "2026-03-02T07:15:04Z"},
        {"2026-02-29", nullptr},
        {"2026-13-01", nullptr},
        {"2026-03-02T24:00:00Z", nullptr},
        {"2026-03-02T08:15:04+01:00", nullptr},
        {"2026/03/02", nullptr},
        {"yesterday", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto utc = parseTimeBound(c.text);
        if (c.utc == nullptr)
            EXPECT_FALSE(utc) << *utc;
        else
            EXPECT_EQ(utc.value_or("refused"), c.utc);
    }
}

// The station's own result log, as its writer's test expects it (CR LF).
TEST(ResultLogReader, ReadsTheStationsLogRowByRow) {
    TimeZone zone("UTC0");
    const std::string path = "/copy/of/20240305_070809_result.log";
    const Read r = readLog(slurp(VORLICK_SOURCE_DIR "/station/logs/tests/expected/full_result.log"), path);
    EXPECT_TRUE(r.isLog);
    EXPECT_TRUE(r.problems.empty()) << r.problems[0];
    ASSERT_EQ(r.checks.size(), 2u);
    const CheckResult& ok = r.checks[0];
    EXPECT_EQ(ok.stationId, "st9");
    EXPECT_EQ(ok.recipeFile, "@DIR@/full.ini");
    EXPECT_EQ(ok.productId, "0A52");
    // Where the station kept the log, not where the copy lies.
    EXPECT_EQ(ok.logFolder, "@DIR@/logs/r6_20240305_070809/");
    EXPECT_EQ(std::tie(ok.checkNo, ok.retry, ok.serialNumber, ok.verdict, ok.exitCode),
              std::make_tuple(1, 0, std::string("AB12-0001"), std::string("OK"), 0));
    EXPECT_EQ(ok.errorCode, std::nullopt);
    EXPECT_EQ(ok.startUtc, "2024-03-05T07:09:10Z");
    EXPECT_EQ(ok.endUtc, "2024-03-05T07:09:10Z");
    EXPECT_EQ(ok.recordJson,
              R"({"check":1,"retry":0,"serialNumber":"AB12-0001","verdict":"OK","errorCode":null,"exitCode":0,)"
              R"("columns":{"RESULT":"OK","CODE":"    ","COM":" OK ","F/W":" OK  ","SHORT":"OK ","OPEN":"OK",)"
              R"("RAW":" OK  ","DRAW":" OK "},"endTime":"2024/03/05 07:09:10",)"
              R"("resultLog":"/copy/of/20240305_070809_result.log:75"})");
    EXPECT_EQ(r.where[0], path + ":75");
    // A number and a serial number wider than their columns.
    const CheckResult& ng = r.checks[1];
    EXPECT_EQ(std::tie(ng.checkNo, ng.retry, ng.serialNumber, ng.verdict, ng.exitCode),
              std::make_tuple(1234567, 2, std::string("AB12-0002-LINE3-LOT77"), std::string("NG"), 610));
    EXPECT_EQ(ng.errorCode, "E610");
}

TEST(ResultLogReader, NamesAndSkipsWhatIsNoRowAndReadsTheRest) {
    TimeZone zone("XXX-1");
    const std::string ruler =
        "|---------------------|------------|--------------------|--------|--------|--------|--------|--------|----"
        "----|--------|--------|";
    const std::string row =
        "| 2024/03/05 08:00:00 |      3-000 | SN3                |   --   |        |        |"
        "        |        |   --   |  ---   |   --   |";
    const std::string text =
        "Date : 2024/03/05 07:08:09\n\n##### INI : /srv/r6.ini ###################\n"
        "[DEVICE]\nPID                 = 0x0b10\n[SETTING]\nTITLE               = \"x\"\n"
        "\n##### RESULT (LIST) ###################\n" +
        ruler + "\n" + row + "\n" +                                      // line 11: NO TEST
        std::string(20000, '|') + "\n" +                                 // 12: too long
        "| 2024/13/05 08:00:00" + row.substr(21) + "\n" +                // 13: no date
        row.substr(0, 60) + "  " + row.substr(60) + "\n" +               // 14: a column shifted
        "| 2024/03/05 08:01:00 |     x4-000 " + row.substr(34) + "\n" +  // 15
        ruler + "\n\nTotal:1 OK:0 NG:0\n" + row.substr(0, 50);           // 19: cut off
    const Read r = readLog(text, "/logs/20240305_070809_result.log");
    EXPECT_TRUE(r.isLog);
    ASSERT_EQ(r.checks.size(), 1u);
    EXPECT_EQ(r.checks[0].verdict, "NO TEST");
    EXPECT_EQ(r.checks[0].exitCode, -1);
    EXPECT_EQ(r.checks[0].startUtc, "2024-03-05T07:00:00Z");
    EXPECT_EQ(r.checks[0].productId, "0B10");
    EXPECT_EQ(r.checks[0].recipeFile, "/srv/r6.ini");
    EXPECT_EQ(r.checks[0].logFolder, "/logs/");  // no LOG_RESULT line: the file's own folder
    EXPECT_EQ(r.problems, (std::vector<std::string>{
                              "/logs/20240305_070809_result.log:12: a line longer than 16384 bytes",
                              "/logs/20240305_070809_result.log:13: no valid date",
                              "/logs/20240305_070809_result.log:14: the columns do not line up",
                              "/logs/20240305_070809_result.log:15: no valid check number",
                              "/logs/20240305_070809_result.log:19: not a result row",
                          }));

    // What the command line gives wins over the log's head.
    const Read overridden = readLog(text, "/logs/x_result.log", {"st9", "", "other.ini", "0A52", "/elsewhere/"});
    ASSERT_EQ(overridden.checks.size(), 1u);
    EXPECT_EQ(overridden.checks[0].productId, "0A52");
    EXPECT_EQ(overridden.checks[0].recipeFile, "other.ini");
    EXPECT_EQ(overridden.checks[0].logFolder, "/elsewhere/");

    EXPECT_FALSE(readLog("{\"check\":1}\n", "x.log").isLog);
    EXPECT_FALSE(readLog("Date : 2024/03/05 07:08:09\n[DEVICE]\n", "x.log").isLog);
    EXPECT_FALSE(readLog("", "x.log").isLog);
}

std::string record(const char* check, const char* verdict, const char* code, const char* start, const char* detail) {
    return std::string("{\"check\":") + check + R"(,"retry":0,"serialNumber":"SN)" + check + R"(","verdict":")" +
           verdict + R"(","errorCode":)" + code + R"(,"exitCode":)" + (std::string(verdict) == "OK" ? "0" : "610") +
           R"(,"columns":{"RESULT":"OK"},"postProcessExitCode":null,"startTime":")" + start +
           R"(","endTime":"2024/03/05 08:00:27","elapsedSeconds":27.125,"detailCsv":)" + detail + "}";
}

TEST(CheckRecordReader, ReadsEachRecordAndNamesTheLinesItSkips) {
    TimeZone zone("XXX-1");
    const std::string ok = record("1", "OK", "null", "2024/03/05 08:00:00",
                                  R"("/srv/logs/log_20240305_070809/20240305_070809_SN1_OK_0001_00.csv")");
    const std::string error = record("2", "ERROR", "null", "2024/03/05 08:01:00", "null");
    const std::string text = record("0", "ERROR", "null", "2024/03/05 07:59:00", "null") + "\n" +  // 1: no folder yet
                             ok + "\r\n" +                                                         // 2
                             error + "\n\n" +                                                      // 3, 4 blank
                             record("-1", "OK", "null", "2024/03/05 08:02:00", "null") + "\n" +    // 5
                             record("5", "FINE", "null", "2024/03/05 08:02:00", "null") + "\n" +   // 6
                             record("6", "NG", "7", "2024/03/05 08:02:00", "null") + "\n" +        // 7
                             record("7", "OK", "null", "----/--/-- --:--:--", "null") + "\n" +     // 8
                             "not json\n" +                                                        // 9
                             std::string(300000, ' ') + "\n" +                                     // 10
                             ok.substr(0, 40);                                                     // 11: cut off
    const Read r = readRecords(text, {"st9", "st9-pc", "r6.ini", "0A52", std::nullopt});
    ASSERT_EQ(r.checks.size(), 2u);
    const CheckResult& c = r.checks[0];
    EXPECT_EQ(c.stationId, "st9");
    EXPECT_EQ(c.host, "st9-pc");
    EXPECT_EQ(c.recipeFile, "r6.ini");
    EXPECT_EQ(c.productId, "0A52");
    EXPECT_EQ(c.startUtc, "2024-03-05T07:00:00Z");
    EXPECT_EQ(c.endUtc, "2024-03-05T07:00:27Z");
    EXPECT_EQ(c.elapsedMs, 27125);
    EXPECT_EQ(c.logFolder, "/srv/logs/log_20240305_070809/");
    EXPECT_EQ(c.detailCsv, "/srv/logs/log_20240305_070809/20240305_070809_SN1_OK_0001_00.csv");
    EXPECT_EQ(c.recordJson, ok);
    // An ERROR names no detail file: the folder of the record before it.
    EXPECT_EQ(r.checks[1].verdict, "ERROR");
    EXPECT_EQ(r.checks[1].logFolder, "/srv/logs/log_20240305_070809/");
    EXPECT_EQ(r.checks[1].detailCsv, std::nullopt);
    EXPECT_EQ(r.where, (std::vector<std::string>{"checks.jsonl:2", "checks.jsonl:3"}));
    EXPECT_EQ(r.problems, (std::vector<std::string>{
                              "checks.jsonl:1: no log folder (the record names no detail CSV): give --log-folder",
                              "checks.jsonl:5: no valid \"check\"",
                              "checks.jsonl:6: no valid \"verdict\"",
                              "checks.jsonl:7: no valid \"errorCode\"",
                              "checks.jsonl:8: no valid \"startTime\"",
                              "checks.jsonl:9: not a JSON object",
                              "checks.jsonl:10: a line longer than 262144 bytes",
                              "checks.jsonl:11: not a JSON object",
                          }));

    // A folder given wins, and every record has one.
    const Read given = readRecords(text, {"st9", "", std::nullopt, std::nullopt, "/given/"});
    ASSERT_EQ(given.checks.size(), 3u);
    for (const CheckResult& check : given.checks) EXPECT_EQ(check.logFolder, "/given/");
}

TEST(Ingest, WritesEachCheckOnceHoweverOftenItIsIngested) {
    TimeZone zone("UTC0");
    ScratchFolder scratch;
    const std::string log = scratch.file("20240305_070809_result.log");
    std::filesystem::copy_file(VORLICK_SOURCE_DIR "/station/logs/tests/expected/full_result.log", log);
    const std::string records = scratch.file("checks.jsonl");
    std::ofstream(records) << record("1", "OK", "null", "2024/03/05 08:00:00", R"("/srv/a/SN1.csv")") << '\n'
                           << record("2", "NG", R"("E610")", "2024/03/05 08:01:00", R"("/srv/a/SN2.csv")") << '\n'
                           << "{}\n";
    std::string why;
    const std::string db = scratch.file("results.db");
    auto store = SqliteStore::open(db, "sqlite:" + db, why);
    ASSERT_TRUE(store) << why;

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> problems;
        Ingestor ingestor(*store, [&](const std::string& p) { problems.push_back(p); });
        IngestContext context;
        context.stationId = "st9";
        ASSERT_TRUE(ingestFile(log, IngestFormat::Auto, context, ingestor, why)) << why;
        ASSERT_TRUE(ingestFile(records, IngestFormat::Auto, context, ingestor, why)) << why;
        EXPECT_FALSE(ingestFile(scratch.file("absent.log"), IngestFormat::Auto, context, ingestor, why));
        EXPECT_EQ(why, scratch.file("absent.log") + ": not a readable file");
        ingestor.flush();
        const IngestCounts& n = ingestor.counts();
        EXPECT_EQ(n.read, 4);
        EXPECT_EQ(n.written, round == 0 ? 4 : 0);
        EXPECT_EQ(n.alreadyThere, round == 0 ? 0 : 4);
        EXPECT_EQ(n.skipped, 1);
        EXPECT_EQ(problems, (std::vector<std::string>{records + ":3: no valid \"check\""}));
    }

    // A check the store refuses is named with its line, and the others are written.
    std::ofstream(records) << record("3", "OK", "null", "2024/03/05 08:02:00", R"("/srv/a/SN3.csv")") << '\n'
                           << record("4", "OK", R"("E1234567890123456")", "2024/03/05 08:03:00", R"("/srv/a/SN4.csv")")
                           << '\n';
    std::vector<std::string> problems;
    Ingestor ingestor(*store, [&](const std::string& p) { problems.push_back(p); });
    ASSERT_TRUE(ingestFile(records, IngestFormat::Records, station9(), ingestor, why)) << why;
    ingestor.flush();
    EXPECT_EQ(ingestor.counts().written, 1);
    EXPECT_EQ(ingestor.counts().rejected, 1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].starts_with(records + ":2: refused by the store: ")) << problems[0];
    EXPECT_NE(problems[0].find("error_code_length"), std::string::npos) << problems[0];
}

}  // namespace
}  // namespace results
