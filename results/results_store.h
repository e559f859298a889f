#pragma once
// A results store: where the station's writer puts each finished check and where the line's
// questions are answered. Used from one thread at a time.
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/check_result.h"
#include "results/store_url.h"

namespace results {

// The schema this program writes and reads. A store of a newer one is refused: the older program
// cannot know what the newer columns mean.
inline constexpr int kSchemaVersion = 2;

enum class InsertStatus {
    Written,
    // The same check (station, log folder, check number, retry, start) is in the store: nothing written,
    // which is what a record sent twice must give.
    AlreadyThere,
    // The store refuses this record (a text too long, a value out of range): sending it again
    // gives the same answer, so it must be kept and reported, not retried.
    Rejected,
    // The store could not be written now (gone, busy, full, read-only): worth retrying later.
    Unavailable,
};

struct InsertResult {
    InsertStatus status = InsertStatus::Written;
    std::string reason;  // why, for Rejected and Unavailable
};

class ResultsStore {
public:
    virtual ~ResultsStore() = default;

    virtual InsertResult insert(const CheckResult& check) = 0;
    // Many checks at once, in as few transactions as the engine allows (ingesting a history, forwarding a
    // spool); one answer per check, in order. A refused check does not undo the others.
    virtual std::vector<InsertResult> insertBatch(std::span<const CheckResult> checks);
    // Every check of a device, oldest first; false with the reason when the store cannot answer.
    virtual bool history(std::string_view serialNumber, std::vector<CheckResult>& checks, std::string& why) = 0;
    // One row of a report: each column as text, absent for NULL.
    using Row = std::vector<std::optional<std::string>>;
    // Runs one read-only statement in the SQL both engines share, its parameters written $1, $2, …
    // and given as texts; `onRow` sees each row in turn. False with the reason.
    virtual bool select(std::string_view sql, std::span<const std::string> params,
                        const std::function<void(const Row&)>& onRow, std::string& why) = 0;
    // The schema version the store holds.
    virtual int schemaVersion() const = 0;
    // The store's URL with any password hidden, for messages.
    virtual const std::string& describe() const = 0;
};

// Opens (and creates or upgrades) the store the URL names; null with the reason otherwise.
std::unique_ptr<ResultsStore> openStore(std::string_view url, std::string& why);

}  // namespace results
