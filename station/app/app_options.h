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
    std::string recipe;  // the station's command line: a recipe file, relative to the working directory
    std::string error;   // a usage error (exit 2), empty otherwise
};

AppOptions parseAppOptions(const std::vector<std::string>& args);
const char* appUsage();

// The version the records carry: the four-part program version without its last part
// ("1.25.4.0" gives "1.25.4"); "0.0.0" when the version is not four parts.
std::string programVersionText(const std::string& fourPartVersion);

}  // namespace station
