#pragma once
// A program started as our child and waited for until it ends: the station's firmware writers.
#include <string>
#include <vector>

#include "platform/failure.h"

namespace platform {

// How a child ended. `started` false: the program image was never executed (`startError` is
// the system's errno for the exec, the fork or the pipe). `waitError` non-zero: the wait itself
// failed (errno). Otherwise it either exited (`exitCode`) or was killed (`signal`).
struct ChildEnd {
    bool started = false;
    int startError = 0;
    Failure startFailure;
    int waitError = 0;
    bool exited = false;
    int exitCode = 0;
    int signal = 0;
};

// Runs argv[0] with the arguments argv[1..] (no shell: a path with spaces is one argument) in
// `workDir`, and waits for it without a time limit. The child gets standard input from
// /dev/null, its standard output on our standard error, our standard error, no other
// descriptor of ours, an empty signal mask and every signal at its default disposition, and
// our environment. A relative argv[0] is taken from `workDir`.
ChildEnd runChild(const std::vector<std::string>& argv, const std::string& workDir);

}  // namespace platform
