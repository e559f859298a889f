#pragma once
#include <string>
#include <vector>

namespace diag {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>& args);
};

// Every subcommand, in the order the usage lists them (diag_registry.cpp).
std::vector<Command> allCommands();

}  // namespace diag
