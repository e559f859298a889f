#pragma once
// The settings text at the top of every detail CSV of a result log.
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/log_files.h"
#include "station/sequence/station_state.h"

namespace station {

// The header for the log just opened (its folder and timestamp), from the recipe, dated `now`
// and naming the program's version ("1.25.4").
std::string detailCsvHeader(const RecipeSettings& recipe, const LogFiles& log, std::string_view programVersion,
                            const platform::TimeOfDay& now);

// Builds Station::logFiles.detailCsvHeader, dated with the time of building. Called right
// after OpenResultLog succeeded.
void BuildDetailCsvHeader(Station& station);

}  // namespace station
