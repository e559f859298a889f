#pragma once
// Reads a whole file named from outside (a recipe, a table, a HEX image, a scenario) without
// trusting what the name stands for: a FIFO would block the program for ever and a device such
// as /dev/zero would fill memory, so only a regular file no larger than the caller's limit is
// read, and the open itself never waits.
#include <cstddef>
#include <string>

namespace platform {

// Why a file was not read: the path and the operating system's reason or the refusal
// ("is a directory", "is not a regular file but a FIFO", "is larger than N bytes").
struct FileReadError {
    std::string path;
    std::string why;
    std::string text() const { return path + ": " + why; }
};

// Fills `content` with the file's bytes and returns true; otherwise returns false with the
// reason in *error (when given) and `content` empty.
bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& content,
                     FileReadError* error = nullptr);

}  // namespace platform
