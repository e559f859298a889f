#include "results/postgres_store.h"

#include <algorithm>
#include <map>
#include <pqxx/pqxx>

#include "results/schema.h"

namespace results {

namespace {

constexpr const char* kInsertName = "insert_check";
constexpr const char* kInsert = R"sql(
INSERT INTO checks (station_id, host, recipe_file, product_id, check_no, retry, serial_number, verdict,
                    error_code, exit_code, start_utc, end_utc, elapsed_ms, firmware_version, hsync_version,
                    log_folder, detail_csv, record)
VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, $17, $18)
ON CONFLICT (station_id, md5(log_folder), check_no, retry, start_utc) DO NOTHING
)sql";

constexpr const char* kHistory = R"sql(
SELECT station_id, host, recipe_file, product_id, check_no, retry, serial_number, verdict, error_code, exit_code,
       start_utc, end_utc, elapsed_ms, firmware_version, hsync_version, log_folder, detail_csv, record
FROM checks WHERE serial_number = $1 ORDER BY start_utc, id
)sql";

// One lock for every program that upgrades a results store: two stations starting at once against
// an empty database take turns, the second finding the schema made.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(x'766f726c69636b52'::bigint)";

constexpr std::size_t kBatchChunk = 1000;
// Rows of one statement: its text and parameters stay small, and the round trips are already few.
constexpr std::size_t kRowsPerStatement = 100;

// libpq waits for an unreachable host as long as the system's TCP does (minutes).
constexpr int kConnectTimeoutSeconds = 10;

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const std::string hex(text.substr(i + 1, 2));
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
        out += static_cast<char>(std::stoi(hex, nullptr, 16));
        i += 2;
    }
    return out;
}

// Every spelling of the URI's password: in its user part and as a "password=" parameter.
std::vector<std::string> secretsOf(std::string_view uri) {
    std::vector<std::string> secrets;
    const auto add = [&](std::string_view raw) {
        if (raw.empty()) return;
        secrets.emplace_back(raw);
        if (const auto decoded = percentDecoded(raw); decoded && !decoded->empty()) secrets.push_back(*decoded);
    };
    if (const std::size_t scheme = uri.find("://"); scheme != std::string_view::npos) {
        const std::size_t authority = scheme + 3;
        std::size_t end = uri.find_first_of("/?#", authority);
        if (end == std::string_view::npos) end = uri.size();
        const std::string_view auth = uri.substr(authority, end - authority);
        const std::size_t at = auth.rfind('@');
        const std::size_t colon = at == std::string_view::npos ? std::string_view::npos : auth.find(':');
        if (colon != std::string_view::npos && colon < at) add(auth.substr(colon + 1, at - colon - 1));
    }
    if (const std::size_t query = uri.find('?'); query != std::string_view::npos) {
        std::size_t pos = query + 1;
        while (pos < uri.size()) {
            std::size_t end = uri.find('&', pos);
            if (end == std::string_view::npos) end = uri.size();
            const std::string_view param = uri.substr(pos, end - pos);
            if (param.substr(0, 9) == "password=") add(param.substr(9));
            pos = end + 1;
        }
    }
    // The longest first: a password that holds a shorter spelling of itself is hidden whole.
    std::sort(secrets.begin(), secrets.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    return secrets;
}

// What the store counts on unless the URL says otherwise: texts in UTF-8 (as the station writes
// them), a bounded wait for the server, and a name a site sees among the server's sessions.
std::string withClientDefaults(std::string uri) {
    const std::pair<const char*, std::string> defaults[] = {
        {"connect_timeout=", std::to_string(kConnectTimeoutSeconds)},
        {"client_encoding=", "UTF8"},
        {"application_name=", "vorlick"},
    };
    for (const auto& [key, value] : defaults) {
        if (uri.find(key) != std::string::npos) continue;
        uri += uri.find('?') == std::string::npos ? '?' : '&';
        uri += key;
        uri += value;
    }
    return uri;
}

// A failure of the record itself (class 22 data exception, 23 integrity constraint): the same
// record meets it again. Anything else is the server's or the link's.
bool refusesRecord(const pqxx::sql_error& e) {
    const std::string& state = e.sqlstate();
    return state.rfind("22", 0) == 0 || state.rfind("23", 0) == 0;
}

// The link is gone or the server is going (class 08 connection exception, 57 operator
// intervention such as a shutdown), or the client could not tell.
bool connectionLost(const pqxx::sql_error& e) {
    const std::string& state = e.sqlstate();
    return state.empty() || state.rfind("08", 0) == 0 || state.rfind("57", 0) == 0;
}

const char* nullable(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

pqxx::result execInsert(pqxx::transaction_base& tx, const CheckResult& c) {
    return tx.exec_prepared(kInsertName, c.stationId, c.host, c.recipeFile, c.productId, c.checkNo, c.retry,
                            c.serialNumber, c.verdict, nullable(c.errorCode), c.exitCode, c.startUtc, c.endUtc,
                            c.elapsedMs, nullable(c.firmwareVersion), nullable(c.hsyncVersion), c.logFolder,
                            nullable(c.detailCsv), c.recordJson);
}

// The highest $N the statement names outside its quoted texts and names: PostgreSQL takes no
// parameter the statement does not use, SQLite leaves it unbound.
std::size_t parametersUsed(std::string_view sql) {
    std::size_t highest = 0;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char ch = sql[i];
        if (quote != 0) {
            if (ch == quote) quote = 0;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else if (ch == '$') {
            std::size_t n = 0;
            std::size_t j = i + 1;
            for (; j < sql.size() && sql[j] >= '0' && sql[j] <= '9' && n < 100000; ++j)
                n = n * 10 + static_cast<std::size_t>(sql[j] - '0');
            highest = std::max(highest, n);
            i = j - 1;
        }
    }
    return highest;
}

// Names a check as the store's key does.
std::string keyOf(std::string_view station, std::string_view folder, std::string_view checkNo, std::string_view retry,
                  std::string_view start) {
    std::string key;
    for (const std::string_view part : {station, folder, checkNo, retry, start}) {
        key += std::to_string(part.size());
        key += ':';
        key += part;
    }
    return key;
}

// Many checks in one statement, one round trip: each answered Written when the server returns its
// key, AlreadyThere otherwise (also the second of two equal checks in the rows). Throws what the
// server says; the caller's transaction then holds nothing of them.
void insertRows(pqxx::transaction_base& tx, std::span<const CheckResult> rows, std::span<InsertResult> answers) {
    std::string sql =
        "INSERT INTO checks (station_id, host, recipe_file, product_id, check_no, retry, serial_number, verdict, "
        "error_code, exit_code, start_utc, end_utc, elapsed_ms, firmware_version, hsync_version, log_folder, "
        "detail_csv, record) VALUES ";
    std::vector<std::optional<std::string>> values;
    values.reserve(rows.size() * 18);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CheckResult& c = rows[i];
        sql += i == 0 ? "(" : ",(";
        for (int p = 0; p < 18; ++p) sql += (p == 0 ? "$" : ",$") + std::to_string(values.size() + 1 + p);
        sql += ')';
        values.insert(values.end(), {c.stationId, c.host, c.recipeFile, c.productId, std::to_string(c.checkNo),
                                     std::to_string(c.retry), c.serialNumber, c.verdict, c.errorCode,
                                     std::to_string(c.exitCode), c.startUtc, c.endUtc, std::to_string(c.elapsedMs),
                                     c.firmwareVersion, c.hsyncVersion, c.logFolder, c.detailCsv, c.recordJson});
    }
    sql +=
        " ON CONFLICT (station_id, md5(log_folder), check_no, retry, start_utc) DO NOTHING"
        " RETURNING station_id, log_folder, check_no, retry, start_utc";
    std::vector<const char*> params;
    params.reserve(values.size());
    for (const auto& v : values) params.push_back(nullable(v));
    const pqxx::result written = tx.exec_params(sql, pqxx::prepare::make_dynamic_params(params));

    std::multimap<std::string, std::size_t> byKey;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CheckResult& c = rows[i];
        byKey.emplace(keyOf(c.stationId, c.logFolder, std::to_string(c.checkNo), std::to_string(c.retry), c.startUtc),
                      i);
        answers[i] = InsertResult{InsertStatus::AlreadyThere, {}};
    }
    for (const pqxx::row& r : written) {
        const std::string key = keyOf(r[0].c_str(), r[1].c_str(), r[2].c_str(), r[3].c_str(), r[4].c_str());
        // Equal checks in the rows: the first one is the one written.
        const auto [from, to] = byKey.equal_range(key);
        for (auto it = from; it != to; ++it) {
            if (answers[it->second].status == InsertStatus::AlreadyThere) {
                answers[it->second].status = InsertStatus::Written;
                break;
            }
        }
    }
}

std::optional<std::string> fieldText(const pqxx::field& f) {
    if (f.is_null()) return std::nullopt;
    return std::string(f.c_str(), f.size());
}

int readVersion(pqxx::transaction_base& tx) {
    // The catalog itself, not to_regclass: its cache may not yet know a table that the station
    // which held the lock before has just made.
    if (!tx.exec(
               "SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n"
               " ON n.oid = c.relnamespace WHERE c.relname = 'schema_version' AND n.nspname = current_schema())")[0][0]
             .as<bool>())
        return 0;
    return tx.exec("SELECT coalesce(max(version), 0) FROM schema_version")[0][0].as<int>();
}

}  // namespace

// libpqxx 6.4 keeps the PGresult of a statement whose connection broke under it (about 2 KB each
// time the server goes away); it is not ours to free, so a sanitized build does not count it.
#if defined(__SANITIZE_ADDRESS__)
#define VORLICK_LSAN_HOOK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLICK_LSAN_HOOK 1
#endif
#endif
#ifdef VORLICK_LSAN_HOOK
extern "C" const char* __lsan_default_suppressions() { return "leak:libpqxx\n"; }
#endif

struct PostgresStore::Connection {
    explicit Connection(const std::string& uri) : db(uri) {}
    pqxx::connection db;
};

PostgresStore::~PostgresStore() = default;

std::unique_ptr<PostgresStore> PostgresStore::open(const std::string& uri, const std::string& shownAs,
                                                   std::string& why) {
    std::unique_ptr<PostgresStore> store(new PostgresStore);
    store->uri_ = withClientDefaults(uri);
    store->shownAs_ = shownAs;
    store->secrets_ = secretsOf(uri);
    if (!store->connect(why) || !store->migrate(why)) return nullptr;
    return store;
}

std::string PostgresStore::message(const std::exception& e) const {
    std::string text = redactUrl(e.what());
    for (const std::string& secret : secrets_) {
        for (std::size_t pos = 0; (pos = text.find(secret, pos)) != std::string::npos; pos += 3)
            text.replace(pos, secret.size(), "***");
    }
    // The server's lines as one: a reason goes into a single line of the station's log.
    std::string line;
    for (const char ch : text) {
        if (ch == '\n' || ch == '\t' || ch == '\r') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += ch;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    for (const std::string_view severity : {"ERROR:  ", "FATAL:  "}) {
        if (line.rfind(severity, 0) == 0) line.erase(0, severity.size());
    }
    // A refused row's DETAIL repeats the whole record; the rule it broke is already named.
    if (const std::size_t detail = line.find(" DETAIL:  Failing row contains"); detail != std::string::npos)
        line.erase(detail);
    return "results store " + shownAs_ + ": " + line;
}

bool PostgresStore::connect(std::string& why) {
    if (connection_ && connection_->db.is_open()) return true;
    connection_.reset();
    try {
        auto connection = std::make_unique<Connection>(uri_);
        connection->db.prepare(kInsertName, kInsert);
        connection_ = std::move(connection);
        return true;
    } catch (const std::exception& e) {
        why = message(e);
        return false;
    }
}

bool PostgresStore::migrate(std::string& why) {
    const auto newerThanKnown = [&] {
        why = "results store " + shownAs_ + ": schema version " + std::to_string(version_) + " is newer than version " +
              std::to_string(kSchemaVersion) + ", the newest this program knows; use a newer program with this store";
        return false;
    };
    try {
        // Read first: a store that is current (or too new) is not written at all.
        {
            pqxx::read_transaction tx(connection_->db);
            version_ = readVersion(tx);
        }
        if (version_ > kSchemaVersion) return newerThanKnown();
        if (version_ == kSchemaVersion) return true;

        pqxx::work tx(connection_->db);
        tx.exec(kMigrationLock);
        version_ = readVersion(tx);
        if (version_ > kSchemaVersion) return newerThanKnown();
        tx.exec(
            "CREATE TABLE IF NOT EXISTS schema_version ("
            " version INTEGER PRIMARY KEY,"
            " applied_utc TEXT NOT NULL"
            " DEFAULT to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"'))");
        for (const Migration& m : postgresMigrations()) {
            if (m.version <= version_) continue;
            try {
                tx.exec(m.sql);
            } catch (const pqxx::sql_error& e) {
                why = message(e) + " (upgrading to schema version " + std::to_string(m.version) + ")";
                return false;
            }
            tx.exec_params("INSERT INTO schema_version (version) VALUES ($1)", m.version);
        }
        tx.commit();
        version_ = kSchemaVersion;
        return true;
    } catch (const std::exception& e) {
        why = message(e);
        connection_.reset();
        return false;
    }
}

InsertResult PostgresStore::insert(const CheckResult& check) {
    InsertResult result;
    if (!connect(result.reason)) {
        result.status = InsertStatus::Unavailable;
        return result;
    }
    try {
        // One statement, committed on its own: no BEGIN and COMMIT round trips.
        pqxx::nontransaction tx(connection_->db);
        const pqxx::result r = execInsert(tx, check);
        result.status = r.affected_rows() == 0 ? InsertStatus::AlreadyThere : InsertStatus::Written;
    } catch (const pqxx::sql_error& e) {
        result.reason = message(e);
        if (refusesRecord(e)) {
            result.status = InsertStatus::Rejected;
        } else {
            result.status = InsertStatus::Unavailable;
            connection_.reset();
        }
    } catch (const std::exception& e) {
        // Lost on the way (broken connection, commit in doubt): sent again later, the key tells
        // whether it had arrived.
        result = InsertResult{InsertStatus::Unavailable, message(e)};
        connection_.reset();
    }
    return result;
}

std::vector<InsertResult> PostgresStore::insertBatch(std::span<const CheckResult> checks) {
    std::vector<InsertResult> results(checks.size());
    // A chunk goes in as few statements, a round trip each; when the store refuses one of its rows,
    // the chunk is sent again a row at a time with a savepoint each (three round trips a row), so
    // that the refused row is undone alone. A chunk stays well within the 65535 parameters of a
    // statement and within what the server tracks of one transaction's savepoints cheaply.
    struct RowRefused {};
    for (std::size_t first = 0; first < checks.size(); first += kBatchChunk) {
        const std::size_t end = std::min(checks.size(), first + kBatchChunk);
        for (const bool savepoints : {false, true}) {
            std::string why;
            if (!connect(why)) {
                for (std::size_t i = first; i < end; ++i) results[i] = InsertResult{InsertStatus::Unavailable, why};
                break;
            }
            try {
                pqxx::work tx(connection_->db);
                if (!savepoints) {
                    try {
                        for (std::size_t from = first; from < end; from += kRowsPerStatement) {
                            const std::size_t n = std::min(kRowsPerStatement, end - from);
                            insertRows(tx, checks.subspan(from, n), std::span(results).subspan(from, n));
                        }
                    } catch (const pqxx::sql_error& e) {
                        if (refusesRecord(e)) throw RowRefused{};
                        throw;
                    }
                }
                for (std::size_t i = first; savepoints && i < end; ++i) {
                    tx.exec("SAVEPOINT one_check");
                    try {
                        const pqxx::result r = execInsert(tx, checks[i]);
                        tx.exec("RELEASE SAVEPOINT one_check");
                        results[i].status = r.affected_rows() == 0 ? InsertStatus::AlreadyThere : InsertStatus::Written;
                    } catch (const pqxx::sql_error& e) {
                        if (!refusesRecord(e)) throw;
                        results[i] = InsertResult{InsertStatus::Rejected, message(e)};
                        tx.exec("ROLLBACK TO SAVEPOINT one_check");
                        tx.exec("RELEASE SAVEPOINT one_check");
                    }
                }
                tx.commit();
                break;
            } catch (const RowRefused&) {
                std::fill(results.begin() + static_cast<std::ptrdiff_t>(first),
                          results.begin() + static_cast<std::ptrdiff_t>(end), InsertResult{});
            } catch (const std::exception& e) {
                // Nothing of the chunk is written (or, commit in doubt, sent again it is there).
                const std::string reason = message(e);
                for (std::size_t i = first; i < end; ++i) {
                    if (results[i].status != InsertStatus::Rejected)
                        results[i] = InsertResult{InsertStatus::Unavailable, reason};
                }
                connection_.reset();
                break;
            }
        }
    }
    return results;
}

bool PostgresStore::select(std::string_view sql, std::span<const std::string> params,
                           const std::function<void(const Row&)>& onRow, std::string& why) {
    if (!connect(why)) return false;
    try {
        pqxx::read_transaction tx(connection_->db);
        const std::size_t used = parametersUsed(sql);
        if (used > params.size()) {
            why = "results store " + shownAs_ + ": the statement takes $" + std::to_string(used) + " but is given " +
                  std::to_string(params.size()) + " parameters";
            return false;
        }
        const std::vector<std::string> values(params.begin(), params.begin() + static_cast<std::ptrdiff_t>(used));
        const pqxx::result r = tx.exec_params(std::string(sql), pqxx::prepare::make_dynamic_params(values));
        Row row(static_cast<std::size_t>(r.columns()));
        for (const pqxx::row& fields : r) {
            for (std::size_t c = 0; c < row.size(); ++c)
                row[c] = fieldText(fields[static_cast<pqxx::row::size_type>(c)]);
            onRow(row);
        }
        return true;
    } catch (const pqxx::sql_error& e) {
        why = message(e);
        if (connectionLost(e)) connection_.reset();
    } catch (const std::exception& e) {
        why = message(e);
        connection_.reset();
    }
    return false;
}

bool PostgresStore::history(std::string_view serialNumber, std::vector<CheckResult>& checks, std::string& why) {
    checks.clear();
    if (!connect(why)) return false;
    try {
        pqxx::read_transaction tx(connection_->db);
        const pqxx::result r = tx.exec_params(kHistory, std::string(serialNumber));
        for (const pqxx::row& f : r) {
            CheckResult c;
            c.stationId = f[0].as<std::string>();
            c.host = f[1].as<std::string>();
            c.recipeFile = f[2].as<std::string>();
            c.productId = f[3].as<std::string>();
            c.checkNo = f[4].as<std::int32_t>();
            c.retry = f[5].as<std::int32_t>();
            c.serialNumber = f[6].as<std::string>();
            c.verdict = f[7].as<std::string>();
            c.errorCode = fieldText(f[8]);
            c.exitCode = f[9].as<std::int32_t>();
            c.startUtc = f[10].as<std::string>();
            c.endUtc = f[11].as<std::string>();
            c.elapsedMs = f[12].as<std::int64_t>();
            c.firmwareVersion = fieldText(f[13]);
            c.hsyncVersion = fieldText(f[14]);
            c.logFolder = f[15].as<std::string>();
            c.detailCsv = fieldText(f[16]);
            c.recordJson = f[17].as<std::string>();
            checks.push_back(std::move(c));
        }
        return true;
    } catch (const pqxx::sql_error& e) {
        why = message(e);
        if (connectionLost(e)) connection_.reset();
    } catch (const std::exception& e) {
        why = message(e);
        connection_.reset();
    }
    checks.clear();
    return false;
}

}  // namespace results
