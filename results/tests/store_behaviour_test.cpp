// What every engine of the results store must do alike, run against SQLite and PostgreSQL: the
// station's writer and the reports cannot tell which one they have.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "results/results_store.h"
#include "results/sqlite_db.h"
#include "results/tests/store_test_support.h"

namespace results {
namespace {

using testing::historyOf;
using testing::rowsOf;
using testing::sampleCheck;

struct SqliteEngine {
    testing::ScratchDir dir;
    bool ready(std::string&) { return true; }
    std::string url() const { return "sqlite:" + dir.file("results.db"); }
    // One statement on the store's file behind the store's back: the first value it gives.
    std::string sql(const std::string& statement) const {
        sqlite::Database db;
        std::string why;
        if (!db.open(dir.file("results.db"), why)) return "failed: " + why;
        sqlite::Statement s = db.prepare(statement, why);
        if (!s) return "failed: " + why;
        const int rc = s.step();
        if (rc == SQLITE_ROW) return s.columnText(0);
        return rc == SQLITE_DONE ? "" : "failed: " + db.lastError();
    }
};

struct PostgresEngine {
    std::string database;
    bool ready(std::string& why) {
        testing::PgServer& server = testing::sharedPgServer();
        if (!server.started()) {
            why = "no PostgreSQL server for the test (VORLICK_SKIP_POSTGRES=1 skips): " + server.url();
            return false;
        }
        database = server.newDatabase();
        return true;
    }
    std::string url() const { return testing::sharedPgServer().urlOf(database); }
    std::string sql(const std::string& statement) const { return testing::sharedPgServer().sql(statement, database); }
};

template <class Engine>
class StoreBehaviour : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (engine.ready(why)) return;
        if (testing::postgresMayBeSkipped()) GTEST_SKIP() << why;
        FAIL() << why;
    }
    std::unique_ptr<ResultsStore> open() {
        std::string why;
        auto store = openStore(engine.url(), why);
        EXPECT_TRUE(store) << why;
        return store;
    }
    Engine engine;
};

using Engines = ::testing::Types<SqliteEngine, PostgresEngine>;
class EngineNames {
public:
    template <class T>
    static std::string GetName(int) {
        return std::is_same_v<T, SqliteEngine> ? "Sqlite" : "Postgres";
    }
};
TYPED_TEST_SUITE(StoreBehaviour, Engines, EngineNames);

TYPED_TEST(StoreBehaviour, CreatesTheSchemaOnceAndFindsItsRecordsAfterReopening) {
    {
        auto store = this->open();
        ASSERT_TRUE(store);
        EXPECT_EQ(store->schemaVersion(), kSchemaVersion);
        EXPECT_EQ(store->describe(), this->engine.url());
        EXPECT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    }
    auto store = this->open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->schemaVersion(), kSchemaVersion);
    // Every column comes back as it went in, absent ones as absent.
    const auto checks = historyOf(*store, "SN0A52-000123");
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0], sampleCheck());
    EXPECT_EQ(rowsOf(*store, "SELECT count(*), max(version) FROM schema_version"),
              std::vector<std::string>{std::to_string(kSchemaVersion) + "|" + std::to_string(kSchemaVersion)});
}

TYPED_TEST(StoreBehaviour, WritesEachCheckExactlyOnce) {
    auto store = this->open();
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
        // The longest log folder a store takes is still told apart by its last character.
        {"a log folder of 4096 characters", [](CheckResult& c) { c.logFolder = std::string(4095, 'f') + "a"; },
         InsertStatus::Written},
        {"the next log folder of 4096 characters", [](CheckResult& c) { c.logFolder = std::string(4095, 'f') + "b"; },
         InsertStatus::Written},
        {"the first of those again", [](CheckResult& c) { c.logFolder = std::string(4095, 'f') + "a"; },
         InsertStatus::AlreadyThere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CheckResult check = sampleCheck();
        c.change(check);
        const InsertResult result = store->insert(check);
        EXPECT_EQ(result.status, c.expected) << result.reason;
    }
    const auto checks = historyOf(*store, "SN0A52-000123");
    ASSERT_EQ(checks.size(), 7u);
    EXPECT_EQ(checks[0].verdict, "NG");
}

TYPED_TEST(StoreBehaviour, ABatchAnswersEachCheckAndARefusedOneDoesNotUndoTheOthers) {
    auto store = this->open();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    std::vector<CheckResult> batch(5, sampleCheck());
    batch[1].retry = 1;
    batch[2].retry = 2;
    batch[2].serialNumber.assign(kMaxSerialNumberLength + 1, 'S');
    batch[3].retry = 3;
    batch[4].retry = 1;  // twice in one batch
    const auto answers = store->insertBatch(batch);
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[0].status, InsertStatus::AlreadyThere);
    EXPECT_EQ(answers[1].status, InsertStatus::Written);
    EXPECT_EQ(answers[2].status, InsertStatus::Rejected);
    EXPECT_NE(answers[2].reason.find("serial_number_length"), std::string::npos) << answers[2].reason;
    EXPECT_EQ(answers[3].status, InsertStatus::Written) << answers[3].reason;
    EXPECT_EQ(answers[4].status, InsertStatus::AlreadyThere) << answers[4].reason;
    EXPECT_EQ(historyOf(*store, "SN0A52-000123").size(), 3u);

    // Nothing refused: the same answers when the checks go in all at once.
    std::vector<CheckResult> again(3, sampleCheck());
    again[0].retry = 4;
    again[1].retry = 1;
    again[2].retry = 4;
    const auto second = store->insertBatch(again);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].status, InsertStatus::Written) << second[0].reason;
    EXPECT_EQ(second[1].status, InsertStatus::AlreadyThere) << second[1].reason;
    EXPECT_EQ(second[2].status, InsertStatus::AlreadyThere) << second[2].reason;
    EXPECT_EQ(historyOf(*store, "SN0A52-000123").size(), 4u);

    // A spool's worth, more than one transaction's: only the refused check is missing.
    std::vector<CheckResult> spool(2500, sampleCheck());
    for (std::size_t i = 0; i < spool.size(); ++i) {
        spool[i].serialNumber = "SPOOL";
        spool[i].checkNo = 1000 + static_cast<std::int32_t>(i);
    }
    spool[1500].verdict = "PASS";
    const auto spooled = store->insertBatch(spool);
    ASSERT_EQ(spooled.size(), spool.size());
    for (std::size_t i = 0; i < spool.size(); ++i) {
        ASSERT_EQ(spooled[i].status, i == 1500 ? InsertStatus::Rejected : InsertStatus::Written)
            << i << ": " << spooled[i].reason;
    }
    EXPECT_NE(spooled[1500].reason.find("verdict_known"), std::string::npos) << spooled[1500].reason;
    EXPECT_EQ(rowsOf(*store, "SELECT count(*), min(check_no), max(check_no) FROM checks WHERE serial_number = 'SPOOL'"),
              std::vector<std::string>{"2499|1000|3499"});
}

TYPED_TEST(StoreBehaviour, SelectsWithNumberedParametersAsTextsAndNullsAsAbsent) {
    auto store = this->open();
    ASSERT_TRUE(store);
    CheckResult ok = sampleCheck();
    ok.retry = 1;
    ok.verdict = "OK";
    ok.errorCode = std::nullopt;
    ASSERT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
    ASSERT_EQ(store->insert(ok).status, InsertStatus::Written);

    // The same parameter twice and an integer column compared with a text.
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
    EXPECT_NE(why.find(store->describe()), std::string::npos) << why;
    // A failed question leaves the store answering the next.
    EXPECT_EQ(rowsOf(*store, "SELECT count(*) FROM checks"), std::vector<std::string>{"2"});
}

TYPED_TEST(StoreBehaviour, RefusesARecordItCannotHoldWithTheReasonAndGoesOn) {
    auto store = this->open();
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
        {"a time with a line break after it", [](CheckResult& c) { c.endUtc = "2026-03-02T08:15:31Z\n"; },
         "end_utc_form"},
        {"a negative elapsed time", [](CheckResult& c) { c.elapsedMs = -1; }, "elapsed_ms_range"},
        {"a record that is no JSON", [](CheckResult& c) { c.recordJson = "{\"check\":17"; }, "record_is_json"},
        {"a log folder of 4097 characters", [](CheckResult& c) { c.logFolder.assign(4097, 'f'); }, "log_folder_length"},
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
            EXPECT_EQ(result.status, InsertStatus::Rejected) << result.reason;
            EXPECT_NE(result.reason.find(c.rule), std::string::npos) << result.reason;
        }
    }
    // A refused record leaves the store as it was for the next one.
    EXPECT_EQ(store->insert(sampleCheck()).status, InsertStatus::Written);
}

TYPED_TEST(StoreBehaviour, RefusesAStoreOfANewerSchemaAndLeavesItAlone) {
    ASSERT_TRUE(this->open());
    ASSERT_EQ(this->engine.sql("INSERT INTO schema_version (version) VALUES (7)"), "");
    std::string why;
    EXPECT_FALSE(openStore(this->engine.url(), why));
    EXPECT_NE(why.find("results store " + this->engine.url() + ": "), std::string::npos) << why;
    EXPECT_NE(why.find("schema version 7 is newer than version " + std::to_string(kSchemaVersion) +
                       ", the newest this program knows; use a newer program with this store"),
              std::string::npos)
        << why;
    EXPECT_EQ(this->engine.sql("SELECT max(version) || ':' || count(*) FROM schema_version"),
              "7:" + std::to_string(kSchemaVersion + 1));  // every version taken, and the newer one
}

}  // namespace
}  // namespace results
