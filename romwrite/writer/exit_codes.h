#pragma once
// The writer's exit codes (platform/exit_status.h says how they reach the shell).
//   0 success, EXIT, equal version        1 failed job with exitOnError; /V without a device
//   2 3 4 16 17 48 50 a command-line job's result                       49 /V: version differs
//   -1 another instance, or the embedded confirmation declined          -2 embedded, silent, no mains
//   1 also: the single-instance lock file cannot be made or used
//   -6 embedded mode: results 3 4 5 16 17 32 48 49 50

namespace romwrite {

inline constexpr int kExitAlreadyRunning = -1;
inline constexpr int kExitLockFailed = 1;
inline constexpr int kExitDeclined = -1;
inline constexpr int kExitNoMains = -2;

// EMBEDDED_MODE's mapping of a result to the exit code.
int embeddedExitCode(int code);

}  // namespace romwrite
