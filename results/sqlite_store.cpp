#include "results/sqlite_store.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "results/schema.h"

namespace results {

namespace {

constexpr const char* kInsert = R"sql(
INSERT INTO checks (station_id, host, recipe_file, product_id, check_no, retry, serial_number, verdict,
                    error_code, exit_code, start_utc, end_utc, elapsed_ms, firmware_version, hsync_version,
                    log_folder, detail_csv, record)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18)
ON CONFLICT (station_id, log_folder, check_no, retry, start_utc) DO NOTHING
)sql";

const std::string kHistory =
    std::string("SELECT ") + kCheckColumns + " FROM checks WHERE serial_number = ?1 ORDER BY start_utc, id";

// A failure that the same record will meet again, as opposed to one of the store itself.
bool refusesRecord(int extendedCode) {
    switch (extendedCode & 0xff) {
        case SQLITE_CONSTRAINT:
        case SQLITE_TOOBIG:
        case SQLITE_MISMATCH:
        case SQLITE_RANGE:
            return true;
        default:
            return false;
    }
}

// SQLite only says "unable to open database file"; the folder is what a site gets wrong.
std::string folderProblem(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return {};
    std::error_code ec;
    const auto status = std::filesystem::status(parent, ec);
    if (!std::filesystem::exists(status)) return "the folder " + parent.string() + " does not exist";
    if (!std::filesystem::is_directory(status)) return parent.string() + " is not a folder";
    return {};
}

}  // namespace

CheckResult readCheck(const sqlite::Statement& s, int first) {
    const auto text = [&](int i) { return s.columnText(first + i); };
    const auto optionalText = [&](int i) { return s.columnOptionalText(first + i); };
    CheckResult c;
    c.stationId = text(0);
    c.host = text(1);
    c.recipeFile = text(2);
    c.productId = text(3);
    c.checkNo = static_cast<std::int32_t>(s.columnInt(first + 4));
    c.retry = static_cast<std::int32_t>(s.columnInt(first + 5));
    c.serialNumber = text(6);
    c.verdict = text(7);
    c.errorCode = optionalText(8);
    c.exitCode = static_cast<std::int32_t>(s.columnInt(first + 9));
    c.startUtc = text(10);
    c.endUtc = text(11);
    c.elapsedMs = s.columnInt(first + 12);
    c.firmwareVersion = optionalText(13);
    c.hsyncVersion = optionalText(14);
    c.logFolder = text(15);
    c.detailCsv = optionalText(16);
    c.recordJson = text(17);
    return c;
}

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, const std::string& shownAs, std::string& why,
                                               int busyTimeoutMs) {
    std::unique_ptr<SqliteStore> store(new SqliteStore);
    store->shownAs_ = shownAs;
    const std::string prefix = "results store " + shownAs + ": ";
    if (const std::string problem = folderProblem(path); !problem.empty()) {
        why = prefix + problem;
        return nullptr;
    }
    std::string reason;
    if (!store->db_.open(path, reason)) {
        why = prefix + reason;
        return nullptr;
    }
    sqlite3_busy_timeout(store->db_.handle(), busyTimeoutMs);
    // WAL: the station's writer and an engineer's report read and write at once. A store that
    // cannot take it (a read-only folder) fails below with the reason when it is written.
    // Reports read a range of a large store at once: from the file mapped into memory, not through a
    // system call per page, and with a cache that holds an index's working set.
    if (!store->db_.exec("PRAGMA journal_mode=WAL", reason) ||
        !store->db_.exec("PRAGMA mmap_size=1073741824", reason) ||
        !store->db_.exec("PRAGMA cache_size=-32768", reason) || !store->migrate(reason)) {
        why = prefix + reason;
        return nullptr;
    }
    store->insert_ = store->db_.prepare(kInsert, reason);
    if (!store->insert_) {
        why = prefix + reason;
        return nullptr;
    }
    return store;
}

bool SqliteStore::readVersion(int& version, std::string& why) {
    sqlite::Statement has =
        db_.prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'", why);
    if (!has) return false;
    if (has.step() != SQLITE_ROW) {
        why = db_.lastError();
        return false;
    }
    version = 0;
    if (has.columnInt(0) == 0) return true;
    sqlite::Statement max = db_.prepare("SELECT coalesce(max(version), 0) FROM schema_version", why);
    if (!max) return false;
    if (max.step() != SQLITE_ROW) {
        why = db_.lastError();
        return false;
    }
    version = static_cast<int>(max.columnInt(0));
    return true;
}

bool SqliteStore::migrate(std::string& why) {
    // Read first: a store that is current (or too new) is not written at all.
    if (!readVersion(version_, why)) return false;
    const auto newerThanKnown = [&] {
        why = "schema version " + std::to_string(version_) + " is newer than version " +
              std::to_string(kSchemaVersion) + ", the newest this program knows; use a newer program with this store";
        return false;
    };
    if (version_ > kSchemaVersion) return newerThanKnown();
    if (version_ == kSchemaVersion) return true;

    // Another station may upgrade the same file at once: the write lock first, then read again.
    if (!db_.exec("BEGIN IMMEDIATE", why)) return false;
    const auto rollback = [&] {
        std::string ignored;
        db_.exec("ROLLBACK", ignored);
        return false;
    };
    if (!readVersion(version_, why)) return rollback();
    if (version_ > kSchemaVersion) {
        rollback();
        return newerThanKnown();
    }
    if (!db_.exec("CREATE TABLE IF NOT EXISTS schema_version ("
                  " version INTEGER PRIMARY KEY,"
                  " applied_utc TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')))",
                  why))
        return rollback();
    for (const Migration& m : sqliteMigrations()) {
        if (m.version <= version_) continue;
        if (!db_.exec(m.sql, why)) {
            why = "upgrading to schema version " + std::to_string(m.version) + ": " + why;
            return rollback();
        }
        sqlite::Statement record = db_.prepare("INSERT INTO schema_version (version) VALUES (?1)", why);
        if (!record) return rollback();
        record.bind(1, std::int64_t{m.version});
        if (record.step() != SQLITE_DONE) {
            why = db_.lastError();
            return rollback();
        }
    }
    if (!db_.exec("COMMIT", why)) return rollback();
    version_ = kSchemaVersion;
    return true;
}

InsertResult SqliteStore::insert(const CheckResult& c) {
    sqlite::Statement& s = insert_;
    s.bind(1, c.stationId);
    s.bind(2, c.host);
    s.bind(3, c.recipeFile);
    s.bind(4, c.productId);
    s.bind(5, std::int64_t{c.checkNo});
    s.bind(6, std::int64_t{c.retry});
    s.bind(7, c.serialNumber);
    s.bind(8, c.verdict);
    s.bindOptional(9, c.errorCode);
    s.bind(10, std::int64_t{c.exitCode});
    s.bind(11, c.startUtc);
    s.bind(12, c.endUtc);
    s.bind(13, c.elapsedMs);
    s.bindOptional(14, c.firmwareVersion);
    s.bindOptional(15, c.hsyncVersion);
    s.bind(16, c.logFolder);
    s.bindOptional(17, c.detailCsv);
    s.bind(18, c.recordJson);
    const int rc = s.step();
    InsertResult result;
    if (rc == SQLITE_DONE) {
        result.status = db_.changes() == 0 ? InsertStatus::AlreadyThere : InsertStatus::Written;
    } else {
        const int code = db_.lastErrorCode();
        result.status = refusesRecord(code) ? InsertStatus::Rejected : InsertStatus::Unavailable;
        result.reason = db_.lastError();
    }
    s.reset();
    return result;
}

std::vector<InsertResult> SqliteStore::insertBatch(std::span<const CheckResult> checks) {
    std::vector<InsertResult> results;
    results.reserve(checks.size());
    // One transaction: a store on a disk takes thousands of rows in the time of one synced commit.
    // A refused row fails only its own statement, the others still commit.
    std::string why;
    const bool inTransaction = db_.exec("BEGIN IMMEDIATE", why);
    for (const CheckResult& check : checks) results.push_back(insert(check));
    if (inTransaction && !db_.exec("COMMIT", why)) {
        std::string ignored;
        db_.exec("ROLLBACK", ignored);
        for (InsertResult& r : results) {
            if (r.status == InsertStatus::Rejected) continue;
            r = InsertResult{InsertStatus::Unavailable, why};
        }
    }
    return results;
}

bool SqliteStore::select(std::string_view sql, std::span<const std::string> params,
                         const std::function<void(const Row&)>& onRow, std::string& why) {
    std::string reason;
    sqlite::Statement s = db_.prepare(sql, reason);
    if (!s) {
        why = "results store " + shownAs_ + ": " + reason;
        return false;
    }
    // "$1" is a named parameter to SQLite: bound by its name, the same text runs on both engines.
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string name = "$" + std::to_string(i + 1);
        if (const int index = s.parameterIndex(name.c_str()); index > 0) s.bind(index, std::string_view(params[i]));
    }
    Row row(static_cast<std::size_t>(s.columnCount()));
    int rc = SQLITE_ROW;
    while ((rc = s.step()) == SQLITE_ROW) {
        for (std::size_t c = 0; c < row.size(); ++c) row[c] = s.columnOptionalText(static_cast<int>(c));
        onRow(row);
    }
    if (rc != SQLITE_DONE) {
        why = "results store " + shownAs_ + ": " + db_.lastError();
        return false;
    }
    return true;
}

bool SqliteStore::history(std::string_view serialNumber, std::vector<CheckResult>& checks, std::string& why) {
    sqlite::Statement s = db_.prepare(kHistory, why);
    if (!s) return false;
    s.bind(1, serialNumber);
    checks.clear();
    int rc = SQLITE_ROW;
    while ((rc = s.step()) == SQLITE_ROW) {
        checks.push_back(readCheck(s, 0));
    }
    if (rc != SQLITE_DONE) {
        why = "results store " + shownAs_ + ": " + db_.lastError();
        return false;
    }
    return true;
}

}  // namespace results
