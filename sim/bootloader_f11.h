#pragma once
// Bootloader generation F11 (usage page 0xFF11, product id 0x0094): 257-byte commands, 136-byte
// responses, 128-byte blocks, an erase of the whole program flash (command 0x90) before a
// write, and blocks programmed as NOR flash programs them. Its flash ends at 0x2C000.
#include "sim/bootloader.h"

namespace sim {

class BootloaderF11 final : public Bootloader {
public:
    static constexpr std::uint8_t kWriteBlock = 0x01;
    static constexpr std::uint8_t kEraseAll = 0x90;
    static constexpr std::uint32_t kFlashEnd = 0x2C000;

    BootloaderF11(const BootloaderConfig& config, FlashModel& flash, BootloaderShape shape)
        : Bootloader(config, flash, shape) {}

    std::size_t commandLength() const override { return 257; }
    std::size_t responseLength() const override { return 136; }
    std::uint32_t blockBytes() const override { return 128; }

protected:
    bool isBlockCode(std::uint8_t code) const override { return code == kWriteBlock; }
    std::uint32_t flashEnd() const override { return kFlashEnd; }
    bool command(std::span<const std::uint8_t> frame, Reply& reply) override;
};

}  // namespace sim
