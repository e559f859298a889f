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
#include "results/tests/store_test_support.h"

namespace results {
namespace {

using testing::historyOf;
using testing::sampleCheck;
using testing::ScratchDir;

std::unique_ptr<SqliteStore> openOrFail(const std::string& path) {
    std::string why;
    auto store = SqliteStore::open(path, "sqlite:" + path, why);
    EXPECT_TRUE(store) << why;
    return store;
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

// The engine-alike behaviours are in store_behaviour_test.cpp; these are the file's own.
TEST(SqliteStore, KeepsAWriteAheadLogAndTheIndexesTheReportsUse) {
    ScratchDir dir;
    const std::string path = dir.file("results.db");
    ASSERT_TRUE(openOrFail(path));
    EXPECT_EQ(queryText(path, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(queryText(path,
                        "SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_master "
                        "WHERE type = 'index' AND tbl_name = 'checks' AND name NOT LIKE 'sqlite_%' ORDER BY name)"),
              "checks_by_product,checks_by_serial_number,checks_by_start,checks_for_yield");
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
