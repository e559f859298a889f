#pragma once
// A plant's results store on a PostgreSQL server: the stations of a line write to one database.
// The connection is opened again when it was lost, so a server restart costs the writer a few
// Unavailable answers, never a store to reopen.
#include <memory>
#include <string>
#include <vector>

#include "results/results_store.h"

namespace results {

class PostgresStore final : public ResultsStore {
public:
    // The store at the libpq URI `uri`; null with the reason (which names it only as `shownAs`).
    static std::unique_ptr<PostgresStore> open(const std::string& uri, const std::string& shownAs, std::string& why);
    ~PostgresStore() override;
    PostgresStore(const PostgresStore&) = delete;
    PostgresStore& operator=(const PostgresStore&) = delete;

    InsertResult insert(const CheckResult& check) override;
    std::vector<InsertResult> insertBatch(std::span<const CheckResult> checks) override;
    bool history(std::string_view serialNumber, std::vector<CheckResult>& checks, std::string& why) override;
    bool select(std::string_view sql, std::span<const std::string> params, const std::function<void(const Row&)>& onRow,
                std::string& why) override;
    int schemaVersion() const override { return version_; }
    const std::string& describe() const override { return shownAs_; }

private:
    PostgresStore() = default;
    // A connection with the insert prepared, made when there is none; false with the reason.
    bool connect(std::string& why);
    bool migrate(std::string& why);
    // The server's or the client library's message, with the password gone and the store named.
    std::string message(const std::exception& e) const;

    std::string uri_;
    std::string shownAs_;
    // The password as the URI spells it and as it means it: a libpq message may quote either.
    std::vector<std::string> secrets_;
    int version_ = 0;
    // libpqxx's connection, kept out of this header (its own names clash with a declaration).
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

}  // namespace results
