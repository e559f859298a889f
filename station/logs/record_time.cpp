#include "station/logs/record_time.h"

#include <cstdio>

namespace station {

std::string recordTimeText(const platform::TimeOfDay& t) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string logTimestampText(const platform::TimeOfDay& t) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

}  // namespace station
