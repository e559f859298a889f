#pragma once
// The settings text at the top of every detail CSV of a result log.
#include "station/sequence/station_state.h"

namespace station {

// Builds Station::logFiles.detailCsvHeader from the recipe and the log just opened (its folder
// and timestamp), dated with the time of building. Called right after OpenResultLog succeeded.
void BuildDetailCsvHeader(Station& station);

}  // namespace station
