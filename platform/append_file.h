#pragma once
// Opens a file named from outside for appending records (the headless station's --json), as
// files are read elsewhere: only a regular file, and the open itself never waits. A FIFO would
// block the program for ever (holding its single-instance lock), a device such as /dev/full
// would swallow the records.
#include <cstdio>
#include <string>

namespace platform {

// The file, created when missing, open for appending (close-on-exec); null with the reason in
// `why` ("is not a regular file but a FIFO", "Permission denied").
std::FILE* openRegularFileForAppend(const std::string& path, std::string& why);

}  // namespace platform
