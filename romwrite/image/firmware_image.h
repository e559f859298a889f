#pragma once
// The one flash image a writer job sends: read from an Intel HEX file or from the image linked
// into the program (embedded_image.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "intelhex/hex_reader.h"

namespace romwrite {

inline constexpr std::uint32_t kImageCapacity = 0x2C000;  // the controller's program flash
inline constexpr std::uint32_t kImageStart = 0x8000;      // behind the bootloader
inline constexpr std::uint32_t kImageBlock = 512;         // the bootloader writes whole blocks
// Largest HEX file read. The whole flash at one data byte per record (":01AAAA00DDCC" and CR LF,
// 15 bytes per image byte) is 2.6 MB; the rest covers address records and comments. Images
// as tools write them, 16 or 32 bytes per record, take a sixth of that.
inline constexpr std::size_t kMaxHexFileBytes = 4 << 20;

struct FirmwareImage {
    // Byte k goes to flash address start + k; gaps read 0xFF.
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kImageCapacity, 0xFF);
    std::uint32_t start = 0;
    std::uint32_t size = 0;       // a multiple of kImageBlock
    std::uint32_t checksum = 0;   // sum of bytes[0..size) modulo 65536, filler included
    std::uint32_t lockedPid = 0;  // product id the image is bound to
    std::uint32_t fileVersion = 0;
    bool encCapable = false;  // lockedPid and fileVersion known and non-zero
    bool valid = false;       // cleared at the start of every load
};

// Loads a HEX file. On failure returns false with the reason in errorText: "No such file.",
// "File size error." or "Start address error."; a malformed record sets no reason and leaves
// errorText as it was (the window shows "Hex file error." for every failure); when asked, the
// detail goes to *fault. A file that is not read (missing, unreadable, not a regular file, over
// kMaxHexFileBytes) is "No such file.", with the reason in fault->what.
bool loadHexImage(FirmwareImage& image, const std::string& path, std::string& errorText,
                  intelhex::HexFault* fault = nullptr);

// The same on file content already in memory; path only feeds the name rule.
bool loadHexImageText(FirmwareImage& image, std::string_view text, std::string_view path, std::string& errorText,
                      intelhex::HexFault* fault = nullptr);

// Name rule "..._PPPP_VVVV.hex": the product id and version an encrypted write needs. Both are
// stored whenever the two underscores sit in place; true only when both are non-zero.
bool parseImageName(std::string_view path, std::uint32_t& lockedPid, std::uint32_t& fileVersion);

// Sum of bytes modulo 65536, as the bootloader reports it.
std::uint32_t imageChecksum(const std::uint8_t* bytes, std::size_t size);

}  // namespace romwrite
