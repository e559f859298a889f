// vorlick-diag: engineering command line for the station's HID link, controller commands,
// recipes and firmware images. Each subcommand lives in its own diag_<name>.cpp.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/diag_commands.h"

namespace {

void usage(const std::vector<diag::Command>& cmds) {
    std::fprintf(stderr, "usage: vorlick-diag <command> [options]\n\ncommands:\n");
    for (const auto& c : cmds) std::fprintf(stderr, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(stderr,
                 "\nVORLICK_HID selects the controller: hidraw (default) or sim:<socket path>.\n"
                 "--trace (or VORLICK_HID_TRACE=1) hex-dumps every report on stderr.\n");
}

}  // namespace

int main(int argc, char** argv) {
    const auto cmds = diag::allCommands();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(cmds);
        return argc < 2 ? 2 : 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : cmds)
        if (argv[1] == std::string(c.name)) return c.run(args);
    std::fprintf(stderr, "vorlick-diag: unknown command '%s'\n", argv[1]);
    usage(cmds);
    return 2;
}
