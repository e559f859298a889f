#include "results/results_spool.h"

#include <sqlite3.h>
#include <sys/stat.h>

namespace results {

namespace {

// No rules here: a refused check is kept as it came, whatever it holds.
constexpr const char* kRefusedTable = R"sql(
CREATE TABLE IF NOT EXISTS refused (
    id INTEGER PRIMARY KEY,
    refused_utc TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')),
    reason TEXT NOT NULL,
    station_id TEXT, host TEXT, recipe_file TEXT, product_id TEXT, check_no INTEGER, retry INTEGER,
    serial_number TEXT, verdict TEXT, error_code TEXT, exit_code INTEGER, start_utc TEXT, end_utc TEXT,
    elapsed_ms INTEGER, firmware_version TEXT, hsync_version TEXT, log_folder TEXT, detail_csv TEXT, record TEXT
))sql";

bool fileIdentity(const std::string& path, std::uint64_t& device, std::uint64_t& inode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    device = static_cast<std::uint64_t>(st.st_dev);
    inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

void bindCheck(sqlite::Statement& s, int first, const CheckResult& c) {
    s.bind(first + 0, c.stationId);
    s.bind(first + 1, c.host);
    s.bind(first + 2, c.recipeFile);
    s.bind(first + 3, c.productId);
    s.bind(first + 4, std::int64_t{c.checkNo});
    s.bind(first + 5, std::int64_t{c.retry});
    s.bind(first + 6, c.serialNumber);
    s.bind(first + 7, c.verdict);
    s.bindOptional(first + 8, c.errorCode);
    s.bind(first + 9, std::int64_t{c.exitCode});
    s.bind(first + 10, c.startUtc);
    s.bind(first + 11, c.endUtc);
    s.bind(first + 12, c.elapsedMs);
    s.bindOptional(first + 13, c.firmwareVersion);
    s.bindOptional(first + 14, c.hsyncVersion);
    s.bind(first + 15, c.logFolder);
    s.bindOptional(first + 16, c.detailCsv);
    s.bind(first + 17, c.recordJson);
}

}  // namespace

std::unique_ptr<ResultsSpool> ResultsSpool::open(const std::string& path, std::string& why) {
    std::unique_ptr<ResultsSpool> spool(new ResultsSpool);
    spool->path_ = path;
    // A spool waits for nobody long: a locked one is an unusable one, the checks stay in memory.
    spool->store_ = SqliteStore::open(path, "spool " + path, why, 1000);
    if (!spool->store_) return nullptr;
    std::string reason;
    if (!spool->db_.open(path, reason)) {
        why = "spool " + path + ": " + reason;
        return nullptr;
    }
    sqlite3_busy_timeout(spool->db_.handle(), 1000);
    if (!spool->db_.exec(kRefusedTable, reason)) {
        why = "spool " + path + ": " + reason;
        return nullptr;
    }
    if (!fileIdentity(path, spool->device_, spool->inode_)) {
        why = "spool " + path + ": gone as soon as it was made";
        return nullptr;
    }
    return spool;
}

InsertResult ResultsSpool::add(const CheckResult& check) { return store_->insert(check); }

bool ResultsSpool::addRefused(const CheckResult& check, const std::string& reason, std::string& why) {
    sqlite::Statement s = db_.prepare(
        std::string("INSERT INTO refused (reason, ") + kCheckColumns +
            ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19)",
        why);
    if (!s) return false;
    s.bind(1, reason);
    bindCheck(s, 2, check);
    if (s.step() != SQLITE_DONE) {
        why = "spool " + path_ + ": " + db_.lastError();
        return false;
    }
    return true;
}

bool ResultsSpool::oldest(std::size_t limit, std::vector<SpooledCheck>& checks, std::string& why) {
    checks.clear();
    sqlite::Statement s =
        db_.prepare(std::string("SELECT id, ") + kCheckColumns + " FROM checks ORDER BY id LIMIT ?1", why);
    if (!s) return false;
    s.bind(1, static_cast<std::int64_t>(limit));
    int rc = SQLITE_ROW;
    while ((rc = s.step()) == SQLITE_ROW) checks.push_back({s.columnInt(0), readCheck(s, 1)});
    if (rc != SQLITE_DONE) {
        why = "spool " + path_ + ": " + db_.lastError();
        return false;
    }
    return true;
}

bool ResultsSpool::remove(const std::vector<std::int64_t>& ids, std::string& why) {
    if (ids.empty()) return true;
    if (!db_.exec("BEGIN IMMEDIATE", why)) return false;
    sqlite::Statement s = db_.prepare("DELETE FROM checks WHERE id = ?1", why);
    bool ok = static_cast<bool>(s);
    for (std::size_t i = 0; ok && i < ids.size(); ++i) {
        s.bind(1, ids[i]);
        ok = s.step() == SQLITE_DONE;
        s.reset();
    }
    if (ok && db_.exec("COMMIT", why)) return true;
    if (why.empty()) why = db_.lastError();
    why = "spool " + path_ + ": " + why;
    std::string ignored;
    db_.exec("ROLLBACK", ignored);
    return false;
}

namespace {

std::int64_t countOf(sqlite::Database& db, const char* sql) {
    std::string why;
    sqlite::Statement s = db.prepare(sql, why);
    if (!s || s.step() != SQLITE_ROW) return -1;
    return s.columnInt(0);
}

}  // namespace

std::int64_t ResultsSpool::count() { return countOf(db_, "SELECT count(*) FROM checks"); }

std::int64_t ResultsSpool::refusedCount() { return countOf(db_, "SELECT count(*) FROM refused"); }

bool ResultsSpool::detached() const {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    return !fileIdentity(path_, device, inode) || device != device_ || inode != inode_;
}

bool ResultsSpool::readAll(std::vector<CheckResult>& checks, std::vector<RefusedCheck>& refused, std::string& why) {
    std::vector<SpooledCheck> spooled;
    if (!oldest(static_cast<std::size_t>(INT64_MAX), spooled, why)) return false;
    checks.clear();
    for (SpooledCheck& s : spooled) checks.push_back(std::move(s.check));
    refused.clear();
    sqlite::Statement s =
        db_.prepare(std::string("SELECT reason, ") + kCheckColumns + " FROM refused ORDER BY id", why);
    if (!s) return false;
    int rc = SQLITE_ROW;
    while ((rc = s.step()) == SQLITE_ROW) refused.push_back({readCheck(s, 1), s.columnText(0)});
    if (rc != SQLITE_DONE) {
        why = "spool " + path_ + ": " + db_.lastError();
        return false;
    }
    return true;
}

}  // namespace results
