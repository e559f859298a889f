#pragma once
// The operator's keyboard of the headless station: one command per line of standard input.
#include <optional>
#include <string>
#include <string_view>

namespace station {

struct HeadlessCommand {
    enum class Kind { Start, SerialNumber, Enter, Reset, Load, Quit, Key };
    Kind kind;
    std::string argument;  // the scanned text (sn), the recipe file (load) or the key's name (key, esc)
};

// The keys the check windows and dialogs handle, as `key NAME` names them.
inline constexpr std::string_view kWindowKeys[] = {"Enter", "Esc", "Space", "B", "C", "D", "G", "S", "Plus", "Minus"};

struct ParsedLine {
    std::optional<HeadlessCommand> command;
    std::string error;  // one line for stderr when the line is not a command; empty otherwise
};

// An empty or blank line is nothing (no command, no error). The argument of `sn` and `load` is
// the rest of the line after the blanks that follow the word, kept whole.
ParsedLine parseHeadlessCommand(std::string_view line);

}  // namespace station
