#include "sim/flash_model.h"

#include <algorithm>

namespace sim {

FlashModel::FlashModel() : bytes_(kSize) {
    for (std::uint32_t k = 0; k < kSize; ++k) bytes_[k] = factoryByte(k);
}

// Every value occurs, few bits are set everywhere, and no 512-byte block repeats its neighbour.
std::uint8_t FlashModel::factoryByte(std::uint32_t offset) {
    return static_cast<std::uint8_t>(offset * 0x9D + (offset >> 9) * 0x3B + 0x5C);
}

void FlashModel::erase() {
    std::fill(bytes_.begin(), bytes_.end(), kErased);
    extent_ = 0;
    runnable_ = false;
}

bool FlashModel::program(std::uint32_t address, std::span<const std::uint8_t> data, bool andWithFlash) {
    if (address < kBase || data.size() > kSize || address - kBase > kSize - data.size()) return false;
    const std::uint32_t offset = address - kBase;
    for (std::size_t i = 0; i < data.size(); ++i)
        bytes_[offset + i] = andWithFlash ? static_cast<std::uint8_t>(bytes_[offset + i] & data[i]) : data[i];
    const auto end = static_cast<std::uint32_t>(offset + data.size());
    extent_ = offset == 0 ? end : std::max(extent_, end);
    if (offset == 0) runnable_ = true;
    return true;
}

std::uint16_t FlashModel::checksum(std::uint32_t size) const {
    std::uint32_t sum = 0;
    const std::uint32_t n = std::min(size, kSize);
    for (std::uint32_t i = 0; i < n; ++i) sum += bytes_[i];
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::optional<std::uint16_t> FlashModel::word(std::uint32_t address) const {
    if (address < kBase || address - kBase > kSize - 2) return std::nullopt;
    const std::uint32_t o = address - kBase;
    const auto w = static_cast<std::uint16_t>(bytes_[o] | (bytes_[o + 1] << 8));
    if (w == 0xFFFF) return std::nullopt;
    return w;
}

}  // namespace sim
