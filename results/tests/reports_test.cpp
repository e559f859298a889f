#include "results/reports.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "results/schema.h"
#include "results/sqlite_db.h"
#include "results/sqlite_store.h"
#include "results/tests/report_fixture.h"
#include "results/tests/store_test_support.h"

namespace results {

// Printed by gtest when a comparison fails.
void PrintTo(const YieldRow& r, std::ostream* os) {
    *os << r.group << ": " << r.devices << " devices, " << r.firstPassOk << " first pass, " << r.finalOk << " final";
}
bool operator==(const YieldRow& a, const YieldRow& b) {
    return a.group == b.group && a.devices == b.devices && a.firstPassOk == b.firstPassOk && a.finalOk == b.finalOk;
}
void PrintTo(const ParetoRow& r, std::ostream* os) {
    *os << r.group << '/' << r.errorCode.value_or("(none)") << ": " << r.count << " of " << r.groupTotal;
}
bool operator==(const ParetoRow& a, const ParetoRow& b) {
    return a.group == b.group && a.errorCode == b.errorCode && a.count == b.count && a.groupTotal == b.groupTotal;
}

namespace {

using testing::ScratchFolder;

// A store for the reports in a scratch folder; another engine's suite instantiates the tests with
// its own.
using StoreFactory = std::unique_ptr<ResultsStore> (*)(const ScratchFolder& scratch);

std::unique_ptr<ResultsStore> sqliteStore(const ScratchFolder& scratch) {
    std::string why;
    const std::string path = scratch.file("results.db");
    auto store = SqliteStore::open(path, "sqlite:" + path, why);
    EXPECT_TRUE(store) << why;
    return store;
}

// A database of its own on the tests' PostgreSQL server; null when there is none and it may be skipped.
std::unique_ptr<ResultsStore> postgresStore(const ScratchFolder&) {
    testing::PgServer& server = testing::sharedPgServer();
    if (!server.started()) {
        if (!testing::postgresMayBeSkipped()) ADD_FAILURE() << "no PostgreSQL server for the test: " << server.url();
        return nullptr;
    }
    std::string why;
    auto store = openStore(server.urlOf(server.newDatabase()), why);
    EXPECT_TRUE(store) << why;
    return store;
}

class Reports : public ::testing::TestWithParam<StoreFactory> {
protected:
    void SetUp() override {
        store_ = GetParam()(scratch_);
        if (!store_ && !HasFailure()) GTEST_SKIP() << "no store of this engine here";
        ASSERT_TRUE(store_);
        ASSERT_NO_FATAL_FAILURE(testing::fillReportFixture(*store_));
    }

    ScratchFolder scratch_;
    std::unique_ptr<ResultsStore> store_;
};

TimeRange range(const char* from, const char* to) {
    TimeRange r;
    if (from != nullptr) r.from = from;
    if (to != nullptr) r.to = to;
    return r;
}

// The devices (see report_fixture.h): st1 A, B, C, D, E, J and st2 G, H, L (product 0A52), the two
// without serial number (0B10); F judged nothing. First pass: A, D (ERROR before, then OK), G, L,
// the first 0B10. Final: all but C and the second 0B10 (and J, when its retry is out of range).
TEST_P(Reports, YieldCountsEachDeviceOnceByItsFirstAndLastAttemptWithAVerdict) {
    struct Case {
        const char* what;
        GroupBy by;
        TimeRange range;
        std::vector<YieldRow> expected;
    };
    const Case cases[] = {
        {"by day", GroupBy::Day, {}, {{"2026-03-02", 8, 3, 6}, {"2026-03-03", 3, 2, 3}}},
        {"by product", GroupBy::Product, {}, {{"0A52", 9, 4, 8}, {"0B10", 2, 1, 1}}},
        {"by station", GroupBy::Station, {}, {{"st1", 6, 2, 5}, {"st2", 5, 3, 4}}},
        {"by recipe",
         GroupBy::Recipe,
         {},
         {{"/srv/st1/R6_full.ini", 6, 2, 5}, {"/srv/st2/B10.ini", 2, 1, 1}, {"/srv/st2/R6_full.ini", 3, 2, 3}}},
        {"by hour",
         GroupBy::Hour,
         {},
         {{"2026-03-02T08:00Z", 5, 2, 4},
          {"2026-03-02T09:00Z", 2, 1, 1},
          {"2026-03-02T23:00Z", 1, 0, 1},
          {"2026-03-03T00:00Z", 1, 1, 1},
          {"2026-03-03T10:00Z", 1, 0, 1},
          {"2026-03-03T11:00Z", 1, 1, 1}}},
        // J's OK retry lies after the end: its last attempt in range is NG. G starts at the end: out.
        {"the first day only",
         GroupBy::Day,
         range("2026-03-02T00:00:00Z", "2026-03-03T00:00:00Z"),
         {{"2026-03-02", 8, 3, 5}}},
        // J's retry alone belongs to a device that began before: not counted. G starts at the start: in.
        {"from the second day", GroupBy::Day, range("2026-03-03T00:00:00Z", nullptr), {{"2026-03-03", 3, 2, 3}}},
        {"D's ERROR alone is no device", GroupBy::Station, range("2026-03-02T08:20:00Z", "2026-03-02T08:21:00Z"), {}},
        {"nothing in range", GroupBy::Day, range("2027-01-01", nullptr), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<YieldRow> rows;
        std::string why;
        ASSERT_TRUE(yieldReport(*store_, c.range, c.by, rows, why)) << why;
        EXPECT_EQ(rows, c.expected);
    }
}

// NG attempts: B E610 twice, C E201 twice, E E305, J E201, H E610, the second 0B10 E610.
TEST_P(Reports, ParetoCountsEveryNgAttemptByItsCode) {
    struct Case {
        const char* what;
        GroupBy by;
        TimeRange range;
        std::vector<ParetoRow> expected;
    };
    const Case cases[] = {
        {"all", GroupBy::None, {}, {{"", "E610", 4, 8}, {"", "E201", 3, 8}, {"", "E305", 1, 8}}},
        {"by product",
         GroupBy::Product,
         {},
         {{"0A52", "E201", 3, 7}, {"0A52", "E610", 3, 7}, {"0A52", "E305", 1, 7}, {"0B10", "E610", 1, 1}}},
        {"by station",
         GroupBy::Station,
         {},
         {{"st1", "E201", 3, 6}, {"st1", "E610", 2, 6}, {"st1", "E305", 1, 6}, {"st2", "E610", 2, 2}}},
        {"the second day", GroupBy::None, range("2026-03-03", nullptr), {{"", "E610", 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ParetoRow> rows;
        std::string why;
        ASSERT_TRUE(paretoReport(*store_, c.range, c.by, rows, why)) << why;
        EXPECT_EQ(rows, c.expected);
    }
}

TEST_P(Reports, HistoryFollowsASerialNumberAcrossStationsOldestFirst) {
    const std::vector<CheckResult> fixture = testing::reportFixture();
    std::vector<CheckResult> checks;
    std::string why;
    ASSERT_TRUE(historyReport(*store_, "SN-A", checks, why)) << why;
    // Every column as it went in.
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0], fixture[1]);
    EXPECT_EQ(checks[1], fixture[0]);

    ASSERT_TRUE(historyReport(*store_, "SN-E", checks, why)) << why;
    std::vector<std::string> seen;
    seen.reserve(checks.size());
    for (const CheckResult& c : checks) seen.push_back(c.verdict + " " + std::to_string(c.retry));
    EXPECT_EQ(seen, (std::vector<std::string>{"ERROR 0", "NG 1", "OK 2"}));

    ASSERT_TRUE(historyReport(*store_, "SN-Z", checks, why)) << why;
    EXPECT_TRUE(checks.empty());
}

TEST_P(Reports, ExportWritesEachCheckOfTheRangeAsItIs) {
    struct Case {
        const char* what;
        ExportFormat format;
        TimeRange range;
        std::string expected;
    };
    const std::string csvHeader =
        "station_id,host,recipe_file,product_id,check_no,retry,serial_number,verdict,error_code,exit_code,start_utc,"
        "end_utc,elapsed_ms,firmware_version,hsync_version,log_folder,detail_csv,record\r\n";
    const Case cases[] = {
        {"an ERROR and the attempt after it; absent values empty, quotes doubled", ExportFormat::Csv,
         range("2026-03-02T08:20:00Z", "2026-03-02T08:21:01Z"),
         csvHeader +
             "st1,st1-pc,/srv/st1/R6_full.ini,0A52,4,0,SN-D,ERROR,,-1,2026-03-02T08:20:00Z,2026-03-02T08:20:00Z,0,,,"
             "/srv/st1/log/r6_20260302_075500/,,\"{\"\"check\"\":4,\"\"retry\"\":0,\"\"verdict\"\":\"\"ERROR\"\"}\"\r\n"
             "st1,st1-pc,/srv/st1/R6_full.ini,0A52,4,0,SN-D,OK,,0,2026-03-02T08:21:00Z,2026-03-02T08:21:00Z,0,0102.07,,"
             "/srv/st1/log/r6_20260302_075500/,/srv/st1/log/r6_20260302_075500/SN-D_4.csv,"
             "\"{\"\"check\"\":4,\"\"retry\"\":0,\"\"verdict\"\":\"\"OK\"\"}\"\r\n"},
        {"empty texts are not absent ones", ExportFormat::Csv, range("2026-03-02T09:00:00Z", "2026-03-02T09:00:01Z"),
         csvHeader +
             "st2,\"\",/srv/st2/B10.ini,0B10,7,0,\"\",OK,,0,2026-03-02T09:00:00Z,2026-03-02T09:00:00Z,0,0102.07,,"
             "/srv/st2/log-b10/,/srv/st2/log-b10/"
             "_7.csv,\"{\"\"check\"\":7,\"\"retry\"\":0,\"\"verdict\"\":\"\"OK\"\"}\"\r\n"},
        {"JSON lines, the record as an object", ExportFormat::JsonLines,
         range("2026-03-02T08:20:00Z", "2026-03-02T08:21:00Z"),
         R"({"station_id":"st1","host":"st1-pc","recipe_file":"/srv/st1/R6_full.ini","product_id":"0A52",)"
         R"("check_no":4,"retry":0,"serial_number":"SN-D","verdict":"ERROR","error_code":null,"exit_code":-1,)"
         R"("start_utc":"2026-03-02T08:20:00Z","end_utc":"2026-03-02T08:20:00Z","elapsed_ms":0,)"
         R"("firmware_version":null,"hsync_version":null,"log_folder":"/srv/st1/log/r6_20260302_075500/",)"
         R"("detail_csv":null,"record":{"check":4,"retry":0,"verdict":"ERROR"}})"
         "\n"},
        {"an empty range: the header alone", ExportFormat::Csv, range("2027-01-01", nullptr), csvHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream out;
        std::int64_t rows = -1;
        std::string why;
        ASSERT_TRUE(exportChecks(*store_, c.range, c.format, out, rows, why)) << why;
        EXPECT_EQ(out.str(), c.expected);
    }

    // Every check, oldest first; a failing output stops the export with the reason.
    std::ostringstream all;
    std::int64_t rows = 0;
    std::string why;
    ASSERT_TRUE(exportChecks(*store_, {}, ExportFormat::JsonLines, all, rows, why)) << why;
    EXPECT_EQ(rows, static_cast<std::int64_t>(testing::reportFixture().size()));
    EXPECT_EQ(all.str().substr(0, 40), R"({"station_id":"st1","host":"st1-pc","rec)");
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_FALSE(exportChecks(*store_, {}, ExportFormat::Csv, broken, rows, why));
    EXPECT_EQ(why, "the output cannot be written");
}

INSTANTIATE_TEST_SUITE_P(Sqlite, Reports, ::testing::Values(&sqliteStore));
INSTANTIATE_TEST_SUITE_P(Postgres, Reports, ::testing::Values(&postgresStore));

}  // namespace
}  // namespace results

namespace results {
namespace {

// A store written before the yield's index: upgraded on opening, its checks kept and reported.
TEST(ReportsOnAnOlderStore, AStoreOfVersionOneTakesTheYieldIndexAndKeepsItsChecks) {
    testing::ScratchFolder scratch;
    const std::string path = scratch.file("results.db");
    {
        sqlite::Database db;
        std::string why;
        ASSERT_TRUE(db.open(path, why)) << why;
        ASSERT_TRUE(db.exec("CREATE TABLE schema_version (version INTEGER PRIMARY KEY, applied_utc TEXT)", why)) << why;
        ASSERT_TRUE(db.exec(sqliteMigrations()[0].sql, why)) << why;
        ASSERT_TRUE(db.exec("INSERT INTO schema_version (version) VALUES (1)", why)) << why;
        ASSERT_TRUE(
            db.exec("INSERT INTO checks (station_id, host, recipe_file, product_id, check_no, retry, "
                    "serial_number, verdict, exit_code, start_utc, end_utc, elapsed_ms, log_folder, record) "
                    "VALUES ('st1', '', 'r.ini', '0A52', 1, 0, 'SN1', 'OK', 0, '2026-03-02T08:00:00Z', "
                    "'2026-03-02T08:00:27Z', 27000, '/log/', '{}')",
                    why))
            << why;
    }
    std::string why;
    auto store = SqliteStore::open(path, "sqlite:" + path, why);
    ASSERT_TRUE(store) << why;
    EXPECT_EQ(store->schemaVersion(), 2);
    std::vector<YieldRow> rows;
    ASSERT_TRUE(yieldReport(*store, {}, GroupBy::Product, rows, why)) << why;
    EXPECT_EQ(rows, (std::vector<YieldRow>{{"0A52", 1, 1, 1}}));
    std::vector<std::string> plan;
    const std::string params[] = {"2026-03-01T00:00:00Z", "2026-03-03T00:00:00Z"};
    ASSERT_TRUE(store->select(
        "EXPLAIN QUERY PLAN SELECT station_id, log_folder, check_no, retry, verdict, product_id "
        "FROM checks WHERE start_utc >= $1 AND start_utc < $2 "
        "ORDER BY start_utc, station_id, log_folder, check_no, retry",
        params, [&](const ResultsStore::Row& r) { plan.push_back(r.back().value_or("")); }, why))
        << why;
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_NE(plan[0].find("USING COVERING INDEX checks_for_yield"), std::string::npos) << plan[0];
}

}  // namespace
}  // namespace results
