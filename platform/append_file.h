#pragma once
// Opens a file named from outside for appending records (the headless station's --json), as
// files are read elsewhere: only a regular file, and the open itself never waits. A FIFO would
// block the program for ever (holding its single-instance lock), a device such as /dev/full
// would swallow the records.
#include <cstdio>
#include <string>

#include "platform/failure.h"

namespace platform {

// The file, created when missing, open for appending (close-on-exec); null with the path and the
// reason in `failure` ("is not a regular file but a FIFO", "Permission denied").
std::FILE* openRegularFileForAppend(const std::string& path, Failure& failure);

}  // namespace platform
