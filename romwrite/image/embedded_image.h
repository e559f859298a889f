#pragma once
// The firmware image linked into the writer (resource "BIN_DAT"). A site build links its image
// (CMake option VORLICK_EMBEDDED_IMAGE); the delivered program carries a placeholder that
// counts as absent, so the writer then runs from HEX files.
//
// Resource layout, little-endian: u32 payload length (0: no image), u32 start address,
// u16 locked product id, u16 file version, u16 reserved, u16 flags, then the payload.
#include <cstdint>
#include <span>
#include <string>

#include "romwrite/image/firmware_image.h"

namespace romwrite {

// Write kinds a job can carry (values shared with the bootloader job).
enum JobKind : std::uint32_t {
    JOB_WRITE = 1,
    JOB_FORCE_WRITE = 2,
    JOB_ENC_WRITE = 3,
};

// Flag bits of the resource header.
inline constexpr std::uint16_t kEmbForceWrite = 0x0001;
inline constexpr std::uint16_t kEmbRequireEnc = 0x0002;
inline constexpr std::uint16_t kEmbSetSecurity = 0x0004;
inline constexpr std::uint16_t kEmbAutoApply = 0x0008;
inline constexpr std::uint16_t kEmbLog = 0x0010;
inline constexpr std::uint16_t kEmbAutoExit = 0x0020;
inline constexpr std::uint16_t kEmbCompletionBox = 0x0040;
inline constexpr std::uint16_t kEmbPidLock = 0x0080;
inline constexpr std::uint16_t kEmbExitOnError = 0x0100;
inline constexpr std::uint16_t kEmbEmbeddedMode = 0x0200;

inline constexpr std::size_t kEmbHeaderSize = 16;

// The job options an embedded image sets.
struct EmbeddedOptions {
    std::uint32_t kind = JOB_WRITE;
    std::uint16_t flags = 0;  // as read from the header
    bool setSecurity = false;
    bool autoApply = false;
    bool log = false;
    bool autoExit = false;
    bool completionBox = false;
    bool pidLock = false;
    bool exitOnError = false;
    bool embeddedMode = false;  // EMBEDDED_MODE
};

// The resource linked into this program: the placeholder or the site's image.
std::span<const std::uint8_t> embeddedResource();

bool hasEmbeddedImage(std::span<const std::uint8_t> resource);
bool hasEmbeddedImage();

// Fills image and options from the resource; on failure errorText is "No embedded data.",
// "Data size error.", "Start address error." or "EMB data error.".
bool loadEmbeddedImage(std::span<const std::uint8_t> resource, FirmwareImage& image, EmbeddedOptions& options,
                       std::string& errorText);
bool loadEmbeddedImage(FirmwareImage& image, EmbeddedOptions& options, std::string& errorText);

}  // namespace romwrite
