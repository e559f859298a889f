#pragma once
// The status panel's word, as every front end shows it: the recipe's and the log's state
// first, then the station state of the check.
#include <string_view>

#include "station/sequence/station_state.h"

namespace station {

// The text of the panel on this repaint ("NO DEVICE" blinks: deviceWaitIndicator 2 shows it,
// 1 shows "READ INI FILE"; "LOG ERROR" while a lost record waits for the operator).
std::string_view panelStateText(const Station& s);

}  // namespace station
