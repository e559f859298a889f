#pragma once
// A thin owner of SQLite's connection and statement handles: closed and finalised on every path,
// each failure with SQLite's own message.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace results::sqlite {

class Statement;

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;

    // Opens (creating when missing) the file; false with the reason.
    bool open(const std::string& path, std::string& why);
    bool isOpen() const { return db_ != nullptr; }
    // Runs statements that return no rows; false with the reason.
    bool exec(const char* sql, std::string& why);
    // Prepares one statement; an empty Statement with the reason when it does not compile.
    Statement prepare(std::string_view sql, std::string& why);
    // The last failure's message and extended result code.
    std::string lastError() const;
    int lastErrorCode() const;
    // Rows the last INSERT/UPDATE/DELETE changed.
    std::int64_t changes() const;

    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;

    explicit operator bool() const { return stmt_ != nullptr; }

    // Parameters count from 1, as SQLite's do. The texts are copied.
    void bind(int index, std::string_view text);
    void bindOptional(int index, const std::optional<std::string>& text);  // NULL when absent
    void bind(int index, std::int64_t value);
    // SQLITE_ROW, SQLITE_DONE or the failure's code.
    int step();
    void reset();

    int columnCount() const;
    // The index of a named parameter ("$1"), 0 when the statement has none of that name.
    int parameterIndex(const char* name) const;
    std::int64_t columnInt(int column) const;
    std::string columnText(int column) const;
    std::optional<std::string> columnOptionalText(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace results::sqlite
