#pragma once
// The writer's command line. Each argument is one token (the shell has split them; a file name
// may hold spaces). A token that starts with '-', or with '/' and holds no other '/', is a switch
// named by its second character in either case:
//   /A autoApply   /Cxxxx checksum job, silent, autoExit   /F0 /F1 /F2 write kinds, autoExit
//   /L log   /S silent   /Vxxxx version check, silent
// Any other token names the HEX file (the last one wins), except with an embedded image, where
// such tokens are ignored.
//
// Refused, so that nothing runs on a misread request:
//   - a command line longer than 127 characters (the tokens joined by single spaces): a cut
//     line could name another file or number;
//   - a /C or /V number that is empty, longer than 15 characters, holds a character that is not
//     a hex digit, or does not fit the 16-bit checksum or version it is compared with;
//   - switches asking for different jobs (/F1 with /C5F64, /F0 with /F2, /C1 with /C2): one
//     of them would be dropped without a word;
//   - without an embedded image, a switch the writer does not know (/Z, /F9, /F): a mistyped
//     job would otherwise run nothing and end as if it had succeeded. An embedded image keeps
//     reading leniently, as its words "forcerestart" and "silent" pass through the same reader.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "romwrite/writer/write_job.h"

namespace romwrite {

inline constexpr std::size_t kCommandLineMax = 127;
inline constexpr std::size_t kNumberMax = 15;

struct CommandLine {
    std::vector<std::string> tokens;
    // The text after the program name as the tokens form it.
    std::string text() const;
    bool empty() const { return tokens.empty(); }
};

struct SwitchResult {
    bool ok = true;
    std::string error;        // "Command line too long." or "Command line error." and why
    std::int32_t result = 0;  // the writer's result for a refusal (5, 6 or 7)
    std::optional<std::string> file;
};

bool isSwitchToken(const std::string& token);

// Applies the switches to `job`. With `embedded` other tokens are ignored.
SwitchResult readSwitches(const CommandLine& line, WriteJob& job, bool embedded);

// EMBEDDED_MODE's words "forcerestart" and "silent" after '/' or '-', any case.
void readEmbeddedWords(const CommandLine& line, WriteJob& job);

}  // namespace romwrite
