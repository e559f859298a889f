#pragma once
// One check of one device: its start (the row and the counters), the sequence of the checks the
// recipe enables with its verdict, and its end.
#include <optional>
#include <string_view>

#include "station/sequence/station_state.h"

namespace station {

// The first check the recipe enables that this station has no part wired for, by its name.
std::optional<std::string_view> missingCheck(const Station& s);

// Opens the check's row and clears its detail. False, after one message and with nothing
// changed, when the result table is full or the recipe asks for a check this station cannot
// run; the run control then starts no check.
bool beginCheck(Station& s, bool isRetry);
// True: the check ended with a verdict (OK, NG or NO TEST) and its row is counted in. False:
// it was aborted by a communication failure or a stop signal, without verdict and row.
bool runCheckSequence(Station& s);
// Stamps the end time and the elapsed time.
void finishCheck(Station& s);
// What the run control does after a sequence without verdict: ERROR, exitCode -1, end stamped.
void endWithoutVerdict(Station& s);

}  // namespace station
