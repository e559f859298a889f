#pragma once
// Bootloader generation F09 (product id 0x0112): it answers on the main firmware's own
// collection. Long frames (520-byte commands, 136-byte responses, 512-byte blocks) directly on
// usage 0x11 or inside the wrapper on usage 0x0B; short frames (74 / 4 bytes, 64-byte blocks,
// two check bytes) on usage 0x01. Blocks overwrite (the bootloader erases as it goes); normal,
// forced and encrypted writes, security, checksum comparison, data matching and confirmation.
// A normal write matches the image with the device: the block holding the image's version word
// (at the scenario's version address) is refused with 0x0E when that version is older than the
// main firmware's; a forced write takes it.
#include "sim/bootloader.h"

namespace sim {

class BootloaderF09 final : public Bootloader {
public:
    static constexpr std::uint8_t kWriteBlock = 0x01;
    static constexpr std::uint8_t kForceWriteBlock = 0x80;
    static constexpr std::uint8_t kSecurity = 0x81;
    static constexpr std::uint8_t kCompareChecksum = 0x83;
    static constexpr std::uint8_t kEncryptedBlock = 0x84;
    static constexpr std::uint8_t kDataMatching = 0x85;
    static constexpr std::uint8_t kConfirm = 0x86;
    static constexpr std::uint8_t kSecurityOn = 0x0F;
    static constexpr std::uint8_t kWriteProtectError = 0x40;
    static constexpr std::uint8_t kVersionOlder = 0x0E;
    // Versions up to this one know only writes, security and the queries.
    static constexpr std::uint8_t kOldVersion = 0x53;

    BootloaderF09(const BootloaderConfig& config, FlashModel& flash, BootloaderShape shape)
        : Bootloader(config, flash, shape) {}

    std::size_t commandLength() const override { return shape().shortFrames ? 74 : 520; }
    std::size_t responseLength() const override { return shape().shortFrames ? 4 : 136; }
    std::uint32_t blockBytes() const override { return shape().shortFrames ? 64 : 512; }

protected:
    bool isBlockCode(std::uint8_t code) const override {
        return code == kWriteBlock || code == kForceWriteBlock || code == kEncryptedBlock;
    }
    std::uint32_t flashEnd() const override { return FlashModel::kBase + FlashModel::kSize; }
    bool frameIntact(std::span<const std::uint8_t> frame) const override;
    bool command(std::span<const std::uint8_t> frame, Reply& reply) override;

private:
    // The block carries an image version (not 0xFFFF) older than the main firmware's.
    bool olderImage(std::span<const std::uint8_t> frame) const;
};

}  // namespace sim
