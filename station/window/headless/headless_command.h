#pragma once
// The operator's keyboard of the headless station: one command per line of standard input.
#include <optional>
#include <string>
#include <string_view>

namespace station {

struct HeadlessCommand {
    enum class Kind { Start, SerialNumber, Enter, Reset, Load, Quit };
    Kind kind;
    std::string argument;  // the scanned text (sn) or the recipe file (load)
};

struct ParsedLine {
    std::optional<HeadlessCommand> command;
    std::string error;  // one line for stderr when the line is not a command; empty otherwise
};

// An empty or blank line is nothing (no command, no error). The argument of `sn` and `load` is
// the rest of the line after the blanks that follow the word, kept whole.
ParsedLine parseHeadlessCommand(std::string_view line);

}  // namespace station
