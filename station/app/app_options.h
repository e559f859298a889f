#pragma once
// The VorlickR6X command line and the version texts.
#include <string>
#include <vector>

namespace station {

struct AppOptions {
    enum class Mode { Help, Version, Headless, Window };
    Mode mode = Mode::Window;
    bool pressStart = false;
    int checkLimit = 0;
    std::string jsonPath;
    std::string resultsUrl;  // --results: the line's results store, empty for none
    std::string stationId;   // --station-id: how this station is named in the store
    std::string recipe;      // the station's command line: a recipe file, relative to the working directory
    std::string error;       // a usage error (exit 2), empty otherwise
};

AppOptions parseAppOptions(const std::vector<std::string>& args);

// The results store and station id from the environment (VORLICK_RESULTS, VORLICK_STATION_ID)
// where the command line names none, the station id being the host's name without either; then
// checked: empty when the station can write with them, else why not (a URL shown only redacted).
std::string settleResultsOptions(AppOptions& options, const char* resultsVariable, const char* stationIdVariable,
                                 const std::string& hostName);
const char* appUsage();

// The version the records carry: the four-part program version without its last part
// ("1.25.4.0" gives "1.25.4"); "0.0.0" when the version is not four parts.
std::string programVersionText(const std::string& fourPartVersion);

}  // namespace station
