#pragma once
// The store's times are UTC texts "YYYY-MM-DDTHH:MM:SSZ"; the station's files and an engineer's
// command line speak local time as well. Local times are read in the time zone in force (TZ).
#include <optional>
#include <string>
#include <string_view>

namespace results {

// The station's "YYYY/MM/DD HH:MM:SS" (local) as UTC; nullopt for a text that is no such time. In the
// hour a change back from summer time repeats, the zone's guess is taken.
std::optional<std::string> stationTimeToUtc(std::string_view localTime);

// A range bound as an engineer writes it, as UTC:
//   "YYYY-MM-DD"                                the UTC day's first second
//   "YYYY-MM-DDTHH:MM[:SS]Z"                     UTC
//   "YYYY-MM-DDTHH:MM[:SS]", "YYYY-MM-DD HH:MM[:SS]", "YYYY/MM/DD HH:MM[:SS]"   local time
// nullopt for anything else (a month 13, a 25th hour).
std::optional<std::string> parseTimeBound(std::string_view text);

}  // namespace results
