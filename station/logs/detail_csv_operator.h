#pragma once
// The detail CSV's sections for the operator checks that measure per line or per pin: the TKP
// pen check and the home key check, from what those checks left in Station::results.
#include <string>

#include "station/sequence/station_state.h"

namespace station {

// ">>>>> TKP Pen Check <<<<<" and its body; always present.
void appendTkpSection(std::string& out, const Station& s, bool failedSoFar);
// ">>>>> Home Key Check <<<<<" and its body; only with HOMEKEY_CHECK.
void appendHomeKeySection(std::string& out, const Station& s, bool failedSoFar);

}  // namespace station
