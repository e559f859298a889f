#pragma once
// The 16-bit image checksum the station compares with the recipe's CHECKSUM before it writes
// firmware. It reads the HEX file with the writer's record rules but keeps its own image: no
// start-address requirement, no 0x2C000 limit, so a recipe can be checked before any device is
// attached and the value matches what the writer shows for the same file.
#include <cstdint>
#include <string>
#include <string_view>

namespace station {

// Fills hexChecksum and returns true, except when the file exists but is not a well-formed HEX
// file (bad record, record checksum, record type, line end, or data the image cannot hold). A
// NUL byte between records is skipped like any other text there. A file that cannot be opened checksums as an empty
// image, 0xFE00, so a missing image surfaces as a checksum mismatch (E604) rather than as an error.
bool computeHexChecksum(const std::string& hexFile, std::uint16_t& hexChecksum);

// The same on file content already in memory.
bool computeHexChecksumOfText(std::string_view text, std::uint16_t& hexChecksum);

}  // namespace station
