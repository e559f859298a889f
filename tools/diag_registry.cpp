#include "tools/diag_commands.h"

namespace diag {

int runList(const std::vector<std::string>& args);

std::vector<Command> allCommands() {
    return {
        {"list", "list the HID collections the backend sees [--maker]", runList},
    };
}

}  // namespace diag
