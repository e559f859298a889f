#include "station/window/headless/headless_command.h"

#include <array>
#include <string>

namespace station {
namespace {

constexpr std::string_view kCommandList = "start, sn TEXT, enter, reset, load FILE, quit, key NAME, esc";
// An unknown word is echoed up to this length: the line itself may be megabytes.
constexpr std::size_t kEchoLimit = 40;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct Word {
    std::string_view name;
    HeadlessCommand::Kind kind;
    bool takesArgument;
    std::string_view argumentName;
};
constexpr std::array<Word, 8> kWords{{
    {"start", HeadlessCommand::Kind::Start, false, {}},
    {"sn", HeadlessCommand::Kind::SerialNumber, true, "TEXT"},
    {"enter", HeadlessCommand::Kind::Enter, false, {}},
    {"reset", HeadlessCommand::Kind::Reset, false, {}},
    {"load", HeadlessCommand::Kind::Load, true, "FILE"},
    {"quit", HeadlessCommand::Kind::Quit, false, {}},
    {"key", HeadlessCommand::Kind::Key, true, "NAME"},
    {"esc", HeadlessCommand::Kind::Key, false, {}},
}};

std::string keyList() {
    std::string list;
    for (const std::string_view k : kWindowKeys) {
        if (!list.empty()) list += ", ";
        list += k;
    }
    return list;
}

}  // namespace

ParsedLine parseHeadlessCommand(std::string_view line) {
    std::size_t begin = 0;
    while (begin < line.size() && isBlank(line[begin])) ++begin;
    std::size_t wordEnd = begin;
    while (wordEnd < line.size() && !isBlank(line[wordEnd])) ++wordEnd;
    const std::string_view word = line.substr(begin, wordEnd - begin);
    if (word.empty()) return {};

    std::size_t argBegin = wordEnd;
    while (argBegin < line.size() && isBlank(line[argBegin])) ++argBegin;
    std::string_view argument = line.substr(argBegin);
    if (argument.find_first_not_of(" \t") == std::string_view::npos) argument = {};

    for (const Word& w : kWords) {
        if (word != w.name) continue;
        if (w.takesArgument && argument.empty())
            return {std::nullopt, "command ignored: " + std::string(w.name) + " needs " + std::string(w.argumentName) +
                                      " (" + std::string(w.name) + " " + std::string(w.argumentName) + ")"};
        if (!w.takesArgument && !argument.empty())
            return {std::nullopt, "command ignored: " + std::string(w.name) + " takes nothing after it"};
        if (w.name == "esc") return {HeadlessCommand{w.kind, "Esc"}, {}};
        if (w.kind == HeadlessCommand::Kind::Key) {
            for (const std::string_view k : kWindowKeys)
                if (argument == k) return {HeadlessCommand{w.kind, std::string(k)}, {}};
            std::string shown(argument.substr(0, kEchoLimit));
            if (argument.size() > kEchoLimit) shown += "...";
            return {std::nullopt, "command ignored: unknown key '" + shown + "' (keys: " + keyList() + ")"};
        }
        return {HeadlessCommand{w.kind, std::string(argument)}, {}};
    }
    std::string shown(word.substr(0, kEchoLimit));
    if (word.size() > kEchoLimit) shown += "...";
    return {std::nullopt,
            "command ignored: unknown command '" + shown + "' (commands: " + std::string(kCommandList) + ")"};
}

}  // namespace station
