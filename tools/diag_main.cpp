// vorlick-diag: engineering command line for the station's HID link, controller commands,
// recipes and firmware images. Each subcommand lives in its own diag_<name>.cpp.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/diag_commands.h"

namespace {

void usage(const std::vector<diag::Command>& cmds, std::FILE* to) {
    std::fprintf(to, "usage: vorlick-diag <command> [options]\n       vorlick-diag --help | --version\n\ncommands:\n");
    for (const auto& c : cmds) std::fprintf(to, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(to,
                 "\nVORLICK_HID selects the controller: hidraw (default) or sim:<socket path>.\n"
                 "--trace (or VORLICK_HID_TRACE=1) hex-dumps every report on stderr.\n"
                 "Exit status: 0 done, 1 the device or file said no, 2 usage or backend error.\n");
}

}  // namespace

int main(int argc, char** argv) {
    const auto cmds = diag::allCommands();
    if (argc < 2) {
        usage(cmds, stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(cmds, stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("vorlick-diag %s\n", VORLICK_VERSION_STRING);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : cmds)
        if (argv[1] == std::string(c.name)) return c.run(args);
    std::fprintf(stderr, "vorlick-diag: unknown command '%s'\n", argv[1]);
    usage(cmds, stderr);
    return 2;
}
