#include "results/results_store.h"

#include "results/sqlite_store.h"

namespace results {

std::unique_ptr<ResultsStore> openStore(std::string_view url, std::string& why) {
    const std::optional<StoreUrl> parsed = parseStoreUrl(url, why);
    if (!parsed) return nullptr;
    if (parsed->kind == StoreKind::Postgresql) {
        why = "results store " + parsed->redacted + ": this build has no PostgreSQL client";
        return nullptr;
    }
    return SqliteStore::open(parsed->target, parsed->redacted, why);
}

}  // namespace results
