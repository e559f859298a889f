#pragma once
// The station's spool: checks the results store could not take yet, kept in a local SQLite file
// until they are forwarded, oldest first. The file is a results store of the same schema (its
// `checks` table), so `vorlick-results sync` and any SQLite reader see it as one; beside them,
// the `refused` table keeps the checks a store refused, with the reason, for a person to look at.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "results/check_result.h"
#include "results/results_store.h"
#include "results/sqlite_db.h"
#include "results/sqlite_store.h"

namespace results {

// The spool's file name in the station folder.
inline constexpr const char* kSpoolFileName = "results-spool.db";

struct SpooledCheck {
    std::int64_t id = 0;  // the spool's own row id: its order is the order of arrival
    CheckResult check;
};

struct RefusedCheck {
    CheckResult check;
    std::string reason;
};

class ResultsSpool {
public:
    // The spool in `path`, created when missing; null with the reason.
    static std::unique_ptr<ResultsSpool> open(const std::string& path, std::string& why);

    const std::string& path() const { return path_; }
    // Into the spool: Written, AlreadyThere (spooled before), Rejected (the schema refuses the
    // record: no store will take it) or Unavailable (the spool cannot be written).
    InsertResult add(const CheckResult& check);
    // A check a store refused, kept with its reason; false with the reason when it cannot be.
    bool addRefused(const CheckResult& check, const std::string& reason, std::string& why);
    // Up to `limit` of the oldest spooled checks; false with the reason.
    bool oldest(std::size_t limit, std::vector<SpooledCheck>& checks, std::string& why);
    // Forgets spooled checks (once a store holds them), in one transaction; false with the reason.
    bool remove(const std::vector<std::int64_t>& ids, std::string& why);
    // Checks waiting in the spool, -1 when it cannot be read.
    std::int64_t count();
    // Checks kept as refused, -1 when it cannot be read.
    std::int64_t refusedCount();
    // The file at the spool's path is no longer the one this spool writes (deleted or replaced):
    // what is written here would be lost when the spool closes.
    bool detached() const;
    // Everything the spool holds, for moving it into a new file; false with the reason.
    bool readAll(std::vector<CheckResult>& checks, std::vector<RefusedCheck>& refused, std::string& why);

private:
    ResultsSpool() = default;

    std::string path_;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
    // Writes checks with the store's own rules; the spool's other statements use `db_`.
    std::unique_ptr<SqliteStore> store_;
    sqlite::Database db_;
};

}  // namespace results
