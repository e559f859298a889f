#pragma once
// The store's schema as forward migrations: version N's statements turn a store of version N-1
// into one of version N. A store records each version it took in schema_version.
#include <span>

namespace results {

struct Migration {
    int version;
    const char* sql;
};

// SQLite's statements, oldest first; the last one's version is kSchemaVersion.
std::span<const Migration> sqliteMigrations();
// PostgreSQL's, the same versions with the same tables, rules and names.
std::span<const Migration> postgresMigrations();

}  // namespace results
