#include "results/results_store.h"

#include "results/postgres_store.h"
#include "results/sqlite_store.h"

namespace results {

std::vector<InsertResult> ResultsStore::insertBatch(std::span<const CheckResult> checks) {
    std::vector<InsertResult> results;
    results.reserve(checks.size());
    for (const CheckResult& check : checks) results.push_back(insert(check));
    return results;
}

std::unique_ptr<ResultsStore> openStore(std::string_view url, std::string& why) {
    const std::optional<StoreUrl> parsed = parseStoreUrl(url, why);
    if (!parsed) return nullptr;
    if (parsed->kind == StoreKind::Postgresql) return PostgresStore::open(parsed->target, parsed->redacted, why);
    return SqliteStore::open(parsed->target, parsed->redacted, why);
}

}  // namespace results
