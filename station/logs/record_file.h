#pragma once
// Writing the station's record files: text is built with "\n" and reaches the disk with CR LF,
// as the tools on the station PCs read it. A record is on the disk whole or not at all (a file
// is replaced through a temporary one; a failed append is cut back), and every failure carries
// the system's reason, so a lost record is never taken for a written one.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/record_write.h"

namespace station {

// The largest file the station copies (a firmware image, the result log at shutdown).
inline constexpr std::size_t kMaxCopiedRecordBytes = 64 << 20;

// "\n" → "\r\n" (a "\r\n" already present is kept as it is).
std::string withCrLf(std::string_view text);

// Creates or replaces `path` with `text` with CR LF line ends.
platform::RecordWrite writeRecordFile(const std::string& path, std::string_view text);
// Appends to an existing file (it is never created).
platform::RecordWrite appendRecordFile(const std::string& path, std::string_view text);
// Copies `from` to `to`, replacing it.
platform::RecordWrite copyRecordFile(const std::string& from, const std::string& to);

}  // namespace station
