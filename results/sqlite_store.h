#pragma once
// The embedded results store: one SQLite file (WAL, so readers never stop the writer), created
// with the schema when missing and upgraded when older.
#include <memory>
#include <string>

#include "results/results_store.h"
#include "results/sqlite_db.h"

namespace results {

// A check's columns in the order `readCheck` takes them, for statements that read whole checks.
inline constexpr const char* kCheckColumns =
    "station_id, host, recipe_file, product_id, check_no, retry, serial_number, verdict, error_code, exit_code, "
    "start_utc, end_utc, elapsed_ms, firmware_version, hsync_version, log_folder, detail_csv, record";

// The check in the current row of `s`, its columns (kCheckColumns) from column `first` on.
CheckResult readCheck(const sqlite::Statement& s, int first);

class SqliteStore final : public ResultsStore {
public:
    // How long a write waits for another process's lock before the store counts as unavailable.
    static constexpr int kBusyTimeoutMs = 5000;

    // The store in `path`; null with the reason (which names the store as `shownAs`).
    static std::unique_ptr<SqliteStore> open(const std::string& path, const std::string& shownAs, std::string& why,
                                             int busyTimeoutMs = kBusyTimeoutMs);

    InsertResult insert(const CheckResult& check) override;
    std::vector<InsertResult> insertBatch(std::span<const CheckResult> checks) override;
    bool history(std::string_view serialNumber, std::vector<CheckResult>& checks, std::string& why) override;
    bool select(std::string_view sql, std::span<const std::string> params, const std::function<void(const Row&)>& onRow,
                std::string& why) override;
    int schemaVersion() const override { return version_; }
    const std::string& describe() const override { return shownAs_; }

private:
    SqliteStore() = default;
    bool migrate(std::string& why);
    bool readVersion(int& version, std::string& why);

    std::string shownAs_;
    int version_ = 0;
    // Declared before the statements: they are finalised before the connection closes.
    sqlite::Database db_;
    sqlite::Statement insert_;
};

}  // namespace results
