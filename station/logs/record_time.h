#pragma once
// The time texts of the station's records.
#include <string>

#include "platform/clock.h"

namespace station {

// "YYYY/MM/DD HH:MM:SS": dates in the records and rows.
std::string recordTimeText(const platform::TimeOfDay& t);
// "YYYYMMDD_HHMMSS": names the log, its folder and its detail files.
std::string logTimestampText(const platform::TimeOfDay& t);

}  // namespace station
