#include "tools/diag_commands.h"

namespace diag {

int runList(const std::vector<std::string>& args);
int runHex(const std::vector<std::string>& args);
int runRecipe(const std::vector<std::string>& args);

std::vector<Command> allCommands() {
    return {
        {"list", "list the HID collections the backend sees [--maker]", runList},
        {"hex", "show the image the writer and the station read from a HEX FILE", runHex},
        {"recipe", "load a recipe and print its messages [--dump] FILE", runRecipe},
    };
}

}  // namespace diag
