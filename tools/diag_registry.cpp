#include "tools/diag_commands.h"

namespace diag {

int runList(const std::vector<std::string>& args);
int runDevice(const std::vector<std::string>& args);

std::vector<Command> allCommands() {
    return {
        {"list", "list the HID collections the backend sees [--maker]", runList},
        {"device", "one controller command: registers, version, query, raw|cal|actual|sd, pincheck, hsync", runDevice},
    };
}

}  // namespace diag
