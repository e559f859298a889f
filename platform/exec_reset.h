#pragma once
// The child's side of starting another program: what it must not inherit from the station.

namespace platform {

// Marks every descriptor from 3 up close-on-exec, puts every signal back to its default
// disposition and then clears the signal mask, so the program starts as a fresh one although
// the station holds device nodes, locks and logs open, blocks its stop signals and ignores
// SIGPIPE. Called in a forked child before exec: async-signal-safe, no allocation, no lock.
// Descriptors that must reach the program are put at 0..2 before the call.
void resetForExec() noexcept;

}  // namespace platform
