#pragma once
// One finished check as the results store keeps it: the columns a line's questions select and
// sort by, and the station's whole check record as JSON beside them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace results {

// The longest texts a store takes; longer ones are a record the store refuses (and says why).
inline constexpr std::size_t kMaxStationIdLength = 64;
inline constexpr std::size_t kMaxSerialNumberLength = 64;

struct CheckResult {
    std::string stationId;
    std::string host;
    std::string recipeFile;
    std::string productId;  // "%04X", the product the recipe was chosen for
    std::int32_t checkNo = 0;
    std::int32_t retry = 0;
    std::string serialNumber;
    std::string verdict;  // "OK", "NG", "NO TEST", "ERROR"
    std::optional<std::string> errorCode;
    std::int32_t exitCode = 0;
    std::string startUtc;  // "YYYY-MM-DDTHH:MM:SSZ"
    std::string endUtc;
    std::int64_t elapsedMs = 0;
    std::optional<std::string> firmwareVersion;
    std::optional<std::string> hsyncVersion;
    // The station's log folder of the check: with the station id, check number, retry and start it
    // names the check once and for all.
    std::string logFolder;
    std::optional<std::string> detailCsv;
    std::string recordJson;

    bool operator==(const CheckResult&) const = default;
};

}  // namespace results
