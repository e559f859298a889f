#pragma once
// Writing a user's record so that it is on the disk whole or not changed at all: a file is
// replaced through a temporary file in its own folder, flushed and renamed over it; an append
// that fails is cut back to the length the file had before. Every failure says why, in the
// operating system's words, so a lost record is never taken for a written one.
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace platform {

// Written whole when the failure has no reason; otherwise the file and the reason ("No space
// left on device", "File too large", "is not a regular file", ...).
struct RecordWrite {
    Failure failure;
    explicit operator bool() const { return !failure.failed(); }
};

// Creates `path` or replaces it whole with `bytes`. A path that names something other than a
// regular file (a folder, a device, a FIFO) is refused. On failure `path` is as it was and no
// temporary file is left behind.
RecordWrite replaceFileWhole(const std::string& path, std::string_view bytes);

// Appends `bytes` to the regular file `path`, which must exist (it is never created). On
// failure the file keeps its length and content from before the append.
RecordWrite appendToFileWhole(const std::string& path, std::string_view bytes);

// The same for a descriptor opened for appending. A file that is not regular (a pipe, a device)
// cannot be cut back: the failure is still reported.
RecordWrite appendToDescriptorWhole(int fd, std::string_view bytes);

// Copies the regular file `from` (at most `maxBytes`) to `to` as replaceFileWhole does.
RecordWrite copyFileWhole(const std::string& from, const std::string& to, std::size_t maxBytes);

// A write past the file-size limit (ulimit -f) fails with EFBIG instead of killing the process
// with SIGXFSZ, so the record's failure can be reported and the file cut back.
void ignoreFileSizeSignal();

}  // namespace platform
