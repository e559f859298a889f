#pragma once
// The controller's program flash as its bootloader sees it: a window of 0x2C000 bytes from
// address 0x8000 (the bootloader itself lives below). It leaves the factory holding the factory
// firmware, bytes of a fixed pattern rather than erased ones, so a block programmed without an
// erase first shows. Whether the main firmware may start follows the flash: an erase leaves
// nothing to run until the first block is programmed again.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

class FlashModel {
public:
    static constexpr std::uint32_t kBase = 0x8000;
    static constexpr std::uint32_t kSize = 0x2C000;
    static constexpr std::uint8_t kErased = 0xFF;

    FlashModel();

    // Byte `offset` of the factory firmware.
    static std::uint8_t factoryByte(std::uint32_t offset);

    // Every byte back to 0xFF; nothing to run until the first block is programmed.
    void erase();
    // `data` at `address`; false (and nothing changed) when it does not lie inside the window.
    // A block at kBase starts a new image. `andWithFlash` programs as NOR flash does, clearing
    // bits only, so writing over data that was never erased leaves a mix.
    bool program(std::uint32_t address, std::span<const std::uint8_t> data, bool andWithFlash);

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    // Bytes from kBase to the end of the furthest block of the image being (or last) written;
    // 0 while the flash holds the factory firmware or lies erased.
    std::uint32_t extent() const { return extent_; }
    // Sum of the first `size` bytes modulo 65536 (size held to the window).
    std::uint16_t checksum(std::uint32_t size) const;
    // The main firmware starts only from a programmed flash.
    bool runnable() const { return runnable_; }
    // The little-endian word at `address`; nothing outside the window or when it reads erased.
    std::optional<std::uint16_t> word(std::uint32_t address) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t extent_ = 0;
    bool runnable_ = true;  // the factory firmware
};

}  // namespace sim
