#pragma once
// Firmware images for the writer's tests.
#include <cstdint>

#include "romwrite/image/firmware_image.h"

namespace romwrite::testing {

// size bytes at 0x8000, byte k = (k * 7 + seed) & 0xFF; the rest of the buffer 0xFF.
inline FirmwareImage makeImage(std::uint32_t size, std::uint8_t seed = 0, std::uint32_t lockedPid = 0x0123,
                               std::uint32_t fileVersion = 0x0204) {
    FirmwareImage img;
    for (std::uint32_t k = 0; k < size && k < img.bytes.size(); ++k)
        img.bytes[k] = static_cast<std::uint8_t>(k * 7 + seed);
    img.start = kImageStart;
    img.size = size;
    img.checksum = imageChecksum(img.bytes.data(), size);
    img.lockedPid = lockedPid;
    img.fileVersion = fileVersion;
    img.encCapable = lockedPid != 0 && fileVersion != 0;
    img.valid = true;
    return img;
}

// True when the flash holds the image at its place.
inline bool flashHolds(const std::vector<std::uint8_t>& flash, const FirmwareImage& img) {
    if (flash.size() < img.size) return false;
    for (std::uint32_t k = 0; k < img.size; ++k)
        if (flash[k] != img.bytes[k]) return false;
    return true;
}

}  // namespace romwrite::testing
