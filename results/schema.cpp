#include "results/schema.h"

namespace results {

namespace {

// Times are UTC texts of one fixed form, so that their order as texts is their order in time.
// The constraints are named: a refused record's reason names the rule it broke.
constexpr const char* kSqliteVersion1 = R"sql(
CREATE TABLE checks (
    id               INTEGER PRIMARY KEY,
    station_id       TEXT    NOT NULL CONSTRAINT station_id_length CHECK (length(station_id) BETWEEN 1 AND 64),
    host             TEXT    NOT NULL CONSTRAINT host_length CHECK (length(host) <= 255),
    recipe_file      TEXT    NOT NULL CONSTRAINT recipe_file_length CHECK (length(recipe_file) <= 4096),
    product_id       TEXT    NOT NULL CONSTRAINT product_id_length CHECK (length(product_id) <= 16),
    check_no         INTEGER NOT NULL CONSTRAINT check_no_range CHECK (check_no >= 0),
    retry            INTEGER NOT NULL CONSTRAINT retry_range CHECK (retry >= 0),
    serial_number    TEXT    NOT NULL CONSTRAINT serial_number_length CHECK (length(serial_number) <= 64),
    verdict          TEXT    NOT NULL CONSTRAINT verdict_known CHECK (verdict IN ('OK', 'NG', 'NO TEST', 'ERROR')),
    error_code       TEXT             CONSTRAINT error_code_length CHECK (length(error_code) <= 16),
    exit_code        INTEGER NOT NULL,
    start_utc        TEXT    NOT NULL CONSTRAINT start_utc_form
                     CHECK (start_utc GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]Z'),
    end_utc          TEXT    NOT NULL CONSTRAINT end_utc_form
                     CHECK (end_utc GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]Z'),
    elapsed_ms       INTEGER NOT NULL CONSTRAINT elapsed_ms_range CHECK (elapsed_ms >= 0),
    firmware_version TEXT             CONSTRAINT firmware_version_length CHECK (length(firmware_version) <= 64),
    hsync_version    TEXT             CONSTRAINT hsync_version_length CHECK (length(hsync_version) <= 64),
    log_folder       TEXT    NOT NULL CONSTRAINT log_folder_length CHECK (length(log_folder) <= 4096),
    detail_csv       TEXT             CONSTRAINT detail_csv_length CHECK (length(detail_csv) <= 4096),
    record           TEXT    NOT NULL CONSTRAINT record_is_json CHECK (json_valid(record)),
    -- With its start: a check that ended in ERROR leaves its number to the next attempt, and a log
    -- folder without a timestamp takes the numbers of every session again.
    CONSTRAINT one_row_per_check UNIQUE (station_id, log_folder, check_no, retry, start_utc)
);
CREATE INDEX checks_by_serial_number ON checks (serial_number, start_utc);
CREATE INDEX checks_by_start ON checks (start_utc);
CREATE INDEX checks_by_product ON checks (product_id, start_utc);
)sql";

// Yield reads every attempt of a range in time order with the columns that make a device: from this
// index alone, without a look into the table per attempt (a million checks in well under a second).
constexpr const char* kSqliteVersion2 = R"sql(
CREATE INDEX checks_for_yield ON checks (start_utc, station_id, log_folder, check_no, retry, verdict, product_id,
                                         recipe_file);
)sql";

// The same table, rules and names as SQLite's: the reports run one SQL on both, and a refused
// record names the same rule. Texts stay texts (the record too, so it comes back byte for byte).
// PostgreSQL 15 has no IS JSON, and a failed cast would name no rule: json_valid catches it.
// The key takes the log folder's digest: a btree entry holds at most about 2,700 bytes.
constexpr const char* kPostgresVersion1 = R"sql(
CREATE FUNCTION json_valid(document text) RETURNS boolean
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
BEGIN
    PERFORM document::json;
    RETURN true;
EXCEPTION WHEN others THEN
    RETURN false;
END
$$;
CREATE TABLE checks (
    id               BIGINT  GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    station_id       TEXT    NOT NULL CONSTRAINT station_id_length CHECK (char_length(station_id) BETWEEN 1 AND 64),
    host             TEXT    NOT NULL CONSTRAINT host_length CHECK (char_length(host) <= 255),
    recipe_file      TEXT    NOT NULL CONSTRAINT recipe_file_length CHECK (char_length(recipe_file) <= 4096),
    product_id       TEXT    NOT NULL CONSTRAINT product_id_length CHECK (char_length(product_id) <= 16),
    check_no         INTEGER NOT NULL CONSTRAINT check_no_range CHECK (check_no >= 0),
    retry            INTEGER NOT NULL CONSTRAINT retry_range CHECK (retry >= 0),
    serial_number    TEXT    NOT NULL CONSTRAINT serial_number_length CHECK (char_length(serial_number) <= 64),
    verdict          TEXT    NOT NULL CONSTRAINT verdict_known CHECK (verdict IN ('OK', 'NG', 'NO TEST', 'ERROR')),
    error_code       TEXT             CONSTRAINT error_code_length CHECK (char_length(error_code) <= 16),
    exit_code        INTEGER NOT NULL,
    start_utc        TEXT    NOT NULL CONSTRAINT start_utc_form
                     CHECK (start_utc ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$'),
    end_utc          TEXT    NOT NULL CONSTRAINT end_utc_form
                     CHECK (end_utc ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$'),
    elapsed_ms       BIGINT  NOT NULL CONSTRAINT elapsed_ms_range CHECK (elapsed_ms >= 0),
    firmware_version TEXT             CONSTRAINT firmware_version_length CHECK (char_length(firmware_version) <= 64),
    hsync_version    TEXT             CONSTRAINT hsync_version_length CHECK (char_length(hsync_version) <= 64),
    log_folder       TEXT    NOT NULL CONSTRAINT log_folder_length CHECK (char_length(log_folder) <= 4096),
    detail_csv       TEXT             CONSTRAINT detail_csv_length CHECK (char_length(detail_csv) <= 4096),
    record           TEXT    NOT NULL CONSTRAINT record_is_json CHECK (json_valid(record))
);
CREATE UNIQUE INDEX one_row_per_check ON checks (station_id, md5(log_folder), check_no, retry, start_utc);
CREATE INDEX checks_by_serial_number ON checks (serial_number, start_utc);
CREATE INDEX checks_by_start ON checks (start_utc);
CREATE INDEX checks_by_product ON checks (product_id, start_utc);
)sql";

constexpr Migration kSqlite[] = {
    {1, kSqliteVersion1},
    {2, kSqliteVersion2},
};

// Yield's range in time order with the columns that make a device. Not the log folder nor the
// recipe: a btree entry holds at most about 2,700 bytes, and the table gives those for the range.
constexpr const char* kPostgresVersion2 = R"sql(
CREATE INDEX checks_for_yield ON checks (start_utc, station_id, check_no, retry, verdict, product_id);
)sql";

constexpr Migration kPostgres[] = {
    {1, kPostgresVersion1},
    {2, kPostgresVersion2},
};

}  // namespace

std::span<const Migration> sqliteMigrations() { return kSqlite; }

std::span<const Migration> postgresMigrations() { return kPostgres; }

}  // namespace results
