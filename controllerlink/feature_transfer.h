#pragma once
// One feature report to or from the collection open under a key. Collections of usage 0x0A and
// 0x0B (the driver-mode pair) carry every report inside a 1024-byte wrapper; all others carry
// reports as they are.
#include <cstddef>
#include <cstdint>
#include <span>

#include "hidlink/device_table.h"

namespace controllerlink {

inline constexpr std::size_t kWrapperLength = 1024;
inline constexpr std::size_t kWrapperHeader = 3;  // tag, length high, length low

constexpr bool usesWrapper(std::uint32_t usage) { return usage == 0x0A || usage == 0x0B; }

// Reads report `reportId` of `length` bytes into buffer[0..length): buffer[0] is the report id,
// the rest is the answer. False when the key is not open, `length` is 0 or larger than the
// buffer or the wrapper can carry, or the transfer is refused. Nothing is retried.
bool getFeature(hidlink::DeviceTable& table, std::uint8_t reportId, std::size_t length, std::span<std::uint8_t> buffer,
                int key);

// Sends buffer[0..length) (buffer[0] is the report id). Same failure rules as getFeature.
bool setFeature(hidlink::DeviceTable& table, std::size_t length, std::span<const std::uint8_t> buffer, int key);

}  // namespace controllerlink
