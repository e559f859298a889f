#pragma once
// Reads a whole file named from outside (a recipe, a table, a HEX image, a scenario) without
// trusting what the name stands for: a FIFO would block the program for ever and a device such
// as /dev/zero would fill memory, so only a regular file no larger than the caller's limit is
// read, and the open itself never waits.
#include <cstddef>
#include <string>

#include "platform/failure.h"

namespace platform {

// Fills `content` with the file's bytes and returns true; otherwise returns false with the path
// and the reason in *error (when given: the operating system's words, or "is a directory", "is
// not a regular file but a FIFO", "is larger than N bytes") and `content` empty.
bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& content, Failure* error = nullptr);

}  // namespace platform
