#pragma once
// A finished check as the line's results store keeps it: the check record's values in the
// store's columns, the times in UTC, and the station's JSON record of the check beside them.
#include <cstdint>
#include <string>
#include <string_view>

#include "results/check_result.h"
#include "station/sequence/check_record.h"

namespace station {

// What the check record does not carry: which station ran it, with which recipe, into which log.
struct StoreContext {
    std::string stationId;
    std::string host;
    std::string recipeFile;
    std::int32_t productId = 0;  // the recipe's PID
    std::string logFolder;
};

// `recordJson` is the check's --json record.
results::CheckResult storeRecord(const CheckRecord& check, const StoreContext& where, std::string recordJson);

// The panel's local "YYYY/MM/DD HH:MM:SS" as "YYYY-MM-DDTHH:MM:SSZ" in the time zone in force;
// empty for a text that is no such time. In the hour that a change back from summer time repeats,
// the local time is ambiguous and the zone's guess is taken.
std::string localTimeToUtc(std::string_view localTime);

}  // namespace station
