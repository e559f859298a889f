#pragma once
// Command (report 7) and response (report 8) frames of the bootloader protocols:
//   F11         257-byte commands, 136-byte responses, 128 data bytes a block;
//   F09 long    520 / 136 bytes, 512 data bytes a block;
//   F09 short   74 / 4 bytes, 64 data bytes a block and two check bytes at 72 and 73.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace romwrite {

enum class FrameKind : std::uint8_t { F11, Long, Short };

struct FrameShape {
    std::size_t command;
    std::size_t response;
    std::size_t block;  // data bytes of a block write
};

constexpr FrameShape shapeOf(FrameKind kind) {
    switch (kind) {
        case FrameKind::F11:
            return {257, 136, 128};
        case FrameKind::Long:
            return {520, 136, 512};
        case FrameKind::Short:
            return {74, 4, 64};
    }
    return {257, 136, 128};
}

inline constexpr std::uint8_t kCommandReport = 7;
inline constexpr std::uint8_t kResponseReport = 8;
inline constexpr std::uint8_t kStatusBusy = 0x80;

// Command codes.
inline constexpr std::uint8_t CMD_WRITE = 0x01;
inline constexpr std::uint8_t CMD_EXIT = 0x03;
inline constexpr std::uint8_t CMD_UBL_VERSION = 0x04;
inline constexpr std::uint8_t CMD_MPU_TYPE = 0x05;
inline constexpr std::uint8_t CMD_MODE = 0x07;
inline constexpr std::uint8_t CMD_FORCE_WRITE = 0x80;
inline constexpr std::uint8_t CMD_SECURITY = 0x81;
inline constexpr std::uint8_t CMD_CHECKSUM = 0x83;
inline constexpr std::uint8_t CMD_ENC_WRITE = 0x84;
inline constexpr std::uint8_t CMD_DATA_MATCH = 0x85;
inline constexpr std::uint8_t CMD_CONFIRM = 0x86;
inline constexpr std::uint8_t CMD_ERASE = 0x90;

inline constexpr std::uint8_t kBootloaderMode = 6;  // answer of CMD_MODE inside the bootloader

// A non-block command: byte 2 and bytes 3..6 as given, the rest 0 (check bytes on short frames).
std::vector<std::uint8_t> buildCommand(FrameKind kind, std::uint8_t code, std::uint8_t byte2 = 0,
                                       std::array<std::uint8_t, 4> params = {});

// A block write: sequence, address, length byte = data bytes / 8, the data (filled up with
// 0xFF when fewer than a block), check bytes on short frames.
std::vector<std::uint8_t> buildBlock(FrameKind kind, std::uint8_t code, std::uint8_t sequence, std::uint32_t address,
                                     std::span<const std::uint8_t> data);

// Short frames: byte 72 = -(sum of bytes 0..7 + 0x51), byte 73 = -(sum of bytes 8..71).
void addCheckBytes(std::span<std::uint8_t> frame);

}  // namespace romwrite
