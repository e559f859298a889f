#pragma once
// Other programs on this machine: which ones run (by the files they were started from and have
// mapped), and starting one that lives on after us.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace platform {

// A maps line longer than this is skipped: a path is at most 4096 bytes, the fields before it
// are well under 200.
inline constexpr std::size_t kMaxMapsLine = 8192;

// For every process below `procRoot` (a /proc layout) that this user may inspect: the target of
// its "exe" link and every file named in its "maps", each path listed once. Processes that
// vanish or refuse to be read are skipped; there is no limit on their number.
std::vector<std::string> runningModulePaths(const std::string& procRoot = "/proc");

// Starts the program at `path` with no arguments, in its own session, standard input from
// /dev/null, the working directory and environment unchanged, no descriptor of ours beyond
// standard output and error, default signal handling. The program is not our child (no zombie
// is left to reap). No failure only when the program image was executed; otherwise why not
// (the system's reason for the exec, the fork or the pipe).
Failure startDetached(const std::string& path);

}  // namespace platform
