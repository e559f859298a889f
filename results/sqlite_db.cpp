#include "results/sqlite_db.h"

#include <sqlite3.h>

#include <utility>

namespace results::sqlite {

Database::~Database() {
    // Statements are finalised by their owners first; close_v2 waits for any that are not.
    if (db_ != nullptr) sqlite3_close_v2(db_);
}

Database::Database(Database&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        if (db_ != nullptr) sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

bool Database::open(const std::string& path, std::string& why) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        why = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_extended_result_codes(db, 1);
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = db;
    return true;
}

bool Database::exec(const char* sql, std::string& why) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    why = message != nullptr ? message : lastError();
    sqlite3_free(message);
    return false;
}

Statement Database::prepare(std::string_view sql, std::string& why) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        why = lastError();
        sqlite3_finalize(stmt);
        return Statement{};
    }
    return Statement{stmt};
}

std::string Database::lastError() const { return db_ != nullptr ? sqlite3_errmsg(db_) : "not open"; }

int Database::lastErrorCode() const { return db_ != nullptr ? sqlite3_extended_errcode(db_) : SQLITE_MISUSE; }

std::int64_t Database::changes() const { return sqlite3_changes64(db_); }

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept : stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

void Statement::bind(int index, std::string_view text) {
    sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::bindOptional(int index, const std::optional<std::string>& text) {
    if (text)
        bind(index, std::string_view(*text));
    else
        sqlite3_bind_null(stmt_, index);
}

void Statement::bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

int Statement::step() { return sqlite3_step(stmt_); }

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int Statement::columnCount() const { return sqlite3_column_count(stmt_); }

int Statement::parameterIndex(const char* name) const { return sqlite3_bind_parameter_index(stmt_, name); }

std::int64_t Statement::columnInt(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::columnText(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    if (text == nullptr) return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::optional<std::string> Statement::columnOptionalText(int column) const {
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
    return columnText(column);
}

}  // namespace results::sqlite
