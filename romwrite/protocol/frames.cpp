#include "romwrite/protocol/frames.h"

#include <algorithm>

namespace romwrite {

void addCheckBytes(std::span<std::uint8_t> frame) {
    if (frame.size() < 74) return;
    unsigned head = 0x51, data = 0;
    for (std::size_t i = 0; i < 8; ++i) head += frame[i];
    for (std::size_t i = 8; i < 72; ++i) data += frame[i];
    frame[72] = static_cast<std::uint8_t>(0u - head);
    frame[73] = static_cast<std::uint8_t>(0u - data);
}

std::vector<std::uint8_t> buildCommand(FrameKind kind, std::uint8_t code, std::uint8_t byte2,
                                       std::array<std::uint8_t, 4> params) {
    std::vector<std::uint8_t> f(shapeOf(kind).command, 0);
    f[0] = kCommandReport;
    f[1] = code;
    f[2] = byte2;
    std::copy(params.begin(), params.end(), f.begin() + 3);
    if (kind == FrameKind::Short) addCheckBytes(f);
    return f;
}

std::vector<std::uint8_t> buildBlock(FrameKind kind, std::uint8_t code, std::uint8_t sequence, std::uint32_t address,
                                     std::span<const std::uint8_t> data) {
    const FrameShape shape = shapeOf(kind);
    std::vector<std::uint8_t> f(shape.command, 0);
    f[0] = kCommandReport;
    f[1] = code;
    f[2] = sequence;
    for (int i = 0; i < 4; ++i) f[3 + i] = static_cast<std::uint8_t>(address >> (8 * i));
    f[7] = static_cast<std::uint8_t>(shape.block / 8);
    const std::size_t n = std::min(data.size(), shape.block);
    std::copy_n(data.begin(), n, f.begin() + 8);
    std::fill(f.begin() + 8 + static_cast<std::ptrdiff_t>(n), f.begin() + 8 + static_cast<std::ptrdiff_t>(shape.block),
              std::uint8_t{0xFF});
    if (kind == FrameKind::Short) addCheckBytes(f);
    return f;
}

}  // namespace romwrite
