#pragma once
// The 16-bit image checksum the station compares with the recipe's CHECKSUM before it writes
// firmware. It reads the HEX file with the writer's record rules but keeps its own image: no
// start-address requirement, no 0x2C000 limit, so a recipe can be checked before any device is
// attached and the value matches what the writer shows for the same file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_reader.h"

namespace station {

// Largest HEX file the station sums: its 0x60000-byte work area at one data byte per record
// (15 bytes of text per image byte with CR LF) is 5.9 MB, plus address records and comments.
inline constexpr std::size_t kMaxStationHexBytes = 8 << 20;

// Fills hexChecksum and returns true, except when the file exists but is not a well-formed HEX
// file (bad record, record checksum, record type, line end, or data the image cannot hold). A
// NUL byte between records is skipped like any other text there. A file that cannot be opened checksums as an empty
// image, 0xFE00, so a missing image surfaces as a checksum mismatch (E604) rather than as an error.
// Only a regular file within kMaxStationHexBytes is read; why another was not goes to *readError.
bool computeHexChecksum(const std::string& hexFile, std::uint16_t& hexChecksum, platform::Failure* readError = nullptr);

// The same on file content already in memory.
bool computeHexChecksumOfText(std::string_view text, std::uint16_t& hexChecksum);

}  // namespace station
