#pragma once
// The VorlickR6X command line, the version texts and the process exit status.
#include <cstdint>
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

// What the shell sees of the station's exit code: the code modulo 256 (-1 gives 255, 610 gives
// 98), except that a failure whose low byte is 0 gives 1, so no failure reaches the shell as 0.
int shellExitStatus(std::int32_t exitCode);

}  // namespace station
