#pragma once
#include <string>

namespace station {

// The result log in force: named at its opening, shown by the status panel, used by the detail
// CSV and the drawing screenshots. logFolder is empty until the first opening and ends in '/'.
struct LogFiles {
    std::string logTimestamp;  // "%04d%02d%02d_%02d%02d%02d"
    std::string logFolder;
    std::string resultLogPath;
    std::string detailCsvHeader;
};

}  // namespace station
