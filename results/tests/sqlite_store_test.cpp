#include "results/sqlite_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "results/sqlite_db.h"

namespace results {
namespace {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-results-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

CheckResult sampleCheck() {
    CheckResult c;
    c.stationId = "line2-st04";
    c.host = "st04";
    c.recipeFile = "recipe/0A52.ini";
    c.productId = "0A52";
    c.checkNo = 17;
    c.retry = 0;
    c.serialNumber = "SN0A52-000123";
    c.verdict = "NG";
    c.errorCode = "E201";
    c.exitCode = 0;
    c.startUtc = "2026-03-02T08:15:04Z";
    c.endUtc = "2026-03-02T08:15:31Z";
    c.elapsedMs = 27120;
    c.firmwareVersion = "0102.07";
    c.hsyncVersion = std::nullopt;
    c.logFolder = "/srv/station/log/20260302_081000/";
    c.detailCsv = "/srv/station/log/20260302_081000/SN0A52-000123_17.csv";
    c.recordJson = R"({"check":17,"retry":0,"serialNumber":"SN0A52-000123","verdict":"NG"})";
    return c;
}

std::unique_ptr<SqliteStore> openOrFail(const std::string& path) {
    std::string why;
    auto store = SqliteStore::open(path, "sqlite:" + path, why);
    EXPECT_TRUE(store) << why;
    return store;
}

std::vector<CheckResult> historyOf(ResultsStore& store, const std::string& serial) {
    std::vector<CheckResult> checks;
    std::string why;
    EXPECT_TRUE(store.history(serial, checks, why)) << why;
    return checks;
}

// One value of the first column of the first row.
std::string queryText(const std::string& path, const char* sql) {
    sqlite::Database db;
    std::string why;
    if (!db.open(path, why)) return "open failed: " + why;
    sqlite::Statement s = db.prepare(sql, why);
    if (!s) return "prepare failed: " + why;
    return s.step() == SQLITE_ROW ? s.columnText(0) : "no row";
}

TEST(SqliteStore, CreatesTheSchemaOnceAndFindsItsRecordsAfterReopening) {
    ScratchDir dir;
    const std::string path = dir.file("results.db");
    {
        auto store = openOrFail(path);
        ASSERT_TRUE(store);
        EXPECT_EQ(store->schemaVersion(), kSchemaVersion);
        EXPECT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    }
    auto store = openOrFail(path);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->schemaVersion(), kSchemaVersion);
    // Every column comes back as it went in, absent ones as absent.
    const auto checks = historyOf(*store, "SN0A52-000123");
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0], sampleCheck());

    EXPECT_EQ(queryText(path, "SELECT count(*) || ':' || max(version) FROM schema_version"),
              std::to_string(kSchemaVersion) + ":" + std::to_string(kSchemaVersion));
    EXPECT_EQ(queryText(path, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(queryText(path,
                        "SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_master "
                        "WHERE type = 'index' AND tbl_name = 'checks' AND name NOT LIKE 'sqlite_%' ORDER BY name)"),
              "checks_by_product,checks_by_serial_number,checks_by_start,checks_for_yield");
}

TEST(SqliteStore, WritesEachCheckExactlyOnce) {
    ScratchDir dir;
    auto store = openOrFail(dir.file("results.db"));
    ASSERT_TRUE(store);
    ASSERT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);

    struct Case {
        const char* what;
        void (*change)(CheckResult&);
        InsertStatus expected;
    };
    const Case cases[] = {
        {"the same record again", [](CheckResult&) {}, InsertStatus::AlreadyThere},
        // The key is the check, not its content: a record sent again after an edit is no new check.
        {"the same check with other values", [](CheckResult& c) { c.verdict = "OK"; }, InsertStatus::AlreadyThere},
        {"its retry", [](CheckResult& c) { c.retry = 1; }, InsertStatus::Written},
        // A check that ended in ERROR leaves its number and retry to the next attempt.
        {"the same number and retry started later", [](CheckResult& c) { c.startUtc = "2026-03-02T08:16:10Z"; },
         InsertStatus::Written},
        {"the same number in the next log folder", [](CheckResult& c) { c.logFolder += "next/"; },
         InsertStatus::Written},
        {"the same number at another station", [](CheckResult& c) { c.stationId = "line2-st05"; },
         InsertStatus::Written},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CheckResult check = sampleCheck();
        c.change(check);
        const InsertResult result = store->insert(check);
        EXPECT_EQ(result.status, c.expected) << result.reason;
    }
    const auto checks = historyOf(*store, "SN0A52-000123");
    ASSERT_EQ(checks.size(), 5u);
    EXPECT_EQ(checks[0].verdict, "NG");
}

TEST(SqliteStore, ABatchAnswersEachCheckAndARefusedOneDoesNotUndoTheOthers) {
    ScratchDir dir;
    auto store = openOrFail(dir.file("results.db"));
    ASSERT_TRUE(store);
    ASSERT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    std::vector<CheckResult> batch(4, sampleCheck());
    batch[1].retry = 1;
    batch[2].retry = 2;
    batch[2].serialNumber.assign(kMaxSerialNumberLength + 1, 'S');
    batch[3].retry = 3;
    const auto answers = store->insertBatch(batch);
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0].status, InsertStatus::AlreadyThere);
    EXPECT_EQ(answers[1].status, InsertStatus::Written);
    EXPECT_EQ(answers[2].status, InsertStatus::Rejected);
    EXPECT_NE(answers[2].reason.find("serial_number_length"), std::string::npos) << answers[2].reason;
    EXPECT_EQ(answers[3].status, InsertStatus::Written);
    EXPECT_EQ(historyOf(*store, "SN0A52-000123").size(), 3u);
}

TEST(SqliteStore, SelectsWithNumberedParametersAsTextsAndNullsAsAbsent) {
    ScratchDir dir;
    auto store = openOrFail(dir.file("results.db"));
    ASSERT_TRUE(store);
    CheckResult ok = sampleCheck();
    ok.retry = 1;
    ok.verdict = "OK";
    ok.errorCode = std::nullopt;
    ASSERT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    ASSERT_EQ(store->insert(ok).status, InsertStatus::Written);

    // The same parameter twice and an integer column compared with a text: as PostgreSQL takes them.
    const std::string params[] = {"0A52", "0"};
    std::vector<ResultsStore::Row> rows;
    std::string why;
    ASSERT_TRUE(store->select(
        "SELECT retry, error_code, product_id FROM checks "
        "WHERE product_id = $1 AND retry >= $2 AND $1 <> '' ORDER BY retry",
        params, [&](const ResultsStore::Row& r) { rows.push_back(r); }, why))
        << why;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (ResultsStore::Row{"0", "E201", "0A52"}));
    EXPECT_EQ(rows[1], (ResultsStore::Row{"1", std::nullopt, "0A52"}));

    EXPECT_FALSE(store->select(
        "SELECT missing FROM nowhere", {}, [](const ResultsStore::Row&) {}, why));
    EXPECT_NE(why.find("nowhere"), std::string::npos) << why;
}

TEST(SqliteStore, RefusesARecordItCannotHoldWithTheReasonAndGoesOn) {
    ScratchDir dir;
    auto store = openOrFail(dir.file("results.db"));
    ASSERT_TRUE(store);

    struct Case {
        const char* what;
        void (*change)(CheckResult&);
        const char* rule;  // empty: the record is taken
    };
    const Case cases[] = {
        {"a serial number of 65 characters", [](CheckResult& c) { c.serialNumber.assign(65, 'S'); },
         "serial_number_length"},
        {"a serial number of 64 characters", [](CheckResult& c) { c.serialNumber.assign(64, 'S'); }, ""},
        // Characters, not bytes: 64 two-byte characters fit.
        {"64 accented characters",
         [](CheckResult& c) {
             c.serialNumber.clear();
             for (int i = 0; i < 64; ++i) c.serialNumber += "\xC3\xA9";
         },
         ""},
        {"no station id", [](CheckResult& c) { c.stationId.clear(); }, "station_id_length"},
        {"an unknown verdict", [](CheckResult& c) { c.verdict = "PASS"; }, "verdict_known"},
        {"the panel's local time", [](CheckResult& c) { c.startUtc = "2026/03/02 09:15:04"; }, "start_utc_form"},
        {"a negative elapsed time", [](CheckResult& c) { c.elapsedMs = -1; }, "elapsed_ms_range"},
        {"a record that is no JSON", [](CheckResult& c) { c.recordJson = "{\"check\":17"; }, "record_is_json"},
    };
    int checkNo = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CheckResult check = sampleCheck();
        check.checkNo = ++checkNo;
        c.change(check);
        const InsertResult result = store->insert(check);
        if (*c.rule == '\0') {
            EXPECT_EQ(result.status, InsertStatus::Written) << result.reason;
        } else {
            EXPECT_EQ(result.status, InsertStatus::Rejected);
            EXPECT_NE(result.reason.find(c.rule), std::string::npos) << result.reason;
        }
    }
    // A refused record leaves the store as it was for the next one.
    EXPECT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
}

// A store that another process holds locked is unavailable for now, not a refusal of the record:
// the writer keeps it to send again, and the same record goes in once the lock is gone.
TEST(SqliteStore, ALockedStoreIsUnavailableNotARefusal) {
    ScratchDir dir;
    const std::string path = dir.file("results.db");
    std::string why;
    auto store = SqliteStore::open(path, "sqlite:" + path, why, 0);
    ASSERT_TRUE(store) << why;
    sqlite::Database other;
    ASSERT_TRUE(other.open(path, why)) << why;
    ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE", why)) << why;

    const InsertResult locked = store->insert(sampleCheck());
    EXPECT_EQ(locked.status, InsertStatus::Unavailable);
    EXPECT_NE(locked.reason.find("locked"), std::string::npos) << locked.reason;

    ASSERT_TRUE(other.exec("COMMIT", why)) << why;
    EXPECT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    EXPECT_EQ(historyOf(*store, "SN0A52-000123").size(), 1u);
}

TEST(SqliteStore, RefusesAStoreOfANewerSchemaAndLeavesItAlone) {
    ScratchDir dir;
    const std::string path = dir.file("results.db");
    ASSERT_TRUE(openOrFail(path));
    {
        sqlite::Database db;
        std::string why;
        ASSERT_TRUE(db.open(path, why)) << why;
        ASSERT_TRUE(db.exec("INSERT INTO schema_version (version) VALUES (7)", why)) << why;
    }
    std::string why;
    EXPECT_FALSE(SqliteStore::open(path, "sqlite:" + path, why));
    EXPECT_NE(why.find("sqlite:" + path), std::string::npos) << why;
    EXPECT_NE(why.find("schema version 7 is newer than version " + std::to_string(kSchemaVersion)), std::string::npos)
        << why;
    EXPECT_EQ(queryText(path, "SELECT max(version) FROM schema_version"), "7");
}

TEST(SqliteStore, NamesWhyTheFileCannotBeAStore) {
    ScratchDir dir;
    std::ofstream(dir.file("notes.txt")) << "not a folder";
    std::ofstream(dir.file("results.db")) << "this is a text file, not a database, and it is long enough";

    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {dir.file("missing/results.db"), "does not exist"},
        {dir.file("notes.txt/results.db"), "is not a folder"},
        {dir.file("results.db"), "file is not a database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string why;
        EXPECT_FALSE(SqliteStore::open(c.path, "sqlite:" + c.path, why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_NE(why.find("sqlite:" + c.path), std::string::npos) << why;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(SqliteStore, ANewStoreInAReadOnlyFolderIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
    ScratchDir dir;
    const std::string folder = dir.file("ro");
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::string why;
    EXPECT_FALSE(SqliteStore::open(folder + "/results.db", "sqlite:" + folder + "/results.db", why));
    EXPECT_FALSE(why.empty());
}

}  // namespace
}  // namespace results
