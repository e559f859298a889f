#pragma once
// What the shell sees of a program's exit code: Linux keeps 8 bits of it.
#include <cstdint>

namespace platform {

// The code modulo 256 (-1 gives 255, 610 gives 98), except that a non-zero code whose low byte
// is 0 gives 1: a failure never reaches the shell as success.
int shellExitStatus(std::int32_t code);

}  // namespace platform
