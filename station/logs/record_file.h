#pragma once
// Writing the station's record files: text is built with "\n" and reaches the disk with CR LF,
// as the tools on the station PCs read it. Every write reports failure, a full disk included
// (the data is flushed and the close checked), so a lost row is never taken for a written one.
#include <string>
#include <string_view>

namespace station {

// "\n" → "\r\n" (a "\r\n" already present is kept as it is).
std::string withCrLf(std::string_view text);

// Creates or truncates `path` and writes `text` with CR LF line ends.
bool writeRecordFile(const std::string& path, std::string_view text);
// Appends to an existing file; false when it does not exist (it is not created).
bool appendRecordFile(const std::string& path, std::string_view text);
// Copies `from` to `to`, overwriting; false on any failure (`to` is then removed).
bool copyRecordFile(const std::string& from, const std::string& to);

}  // namespace station
