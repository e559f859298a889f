#pragma once
// The controller's home key raw report: report id 3, every pin's base, then every pin's value,
// 32-bit little-endian each.
#include <cstdint>
#include <vector>

namespace station::checks {

inline std::vector<std::uint8_t> hkReport(const std::vector<std::int32_t>& bases,
                                          const std::vector<std::int32_t>& values) {
    std::vector<std::uint8_t> r{3};
    const auto put = [&r](std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int b = 0; b < 4; ++b) r.push_back(static_cast<std::uint8_t>(u >> (8 * b)));
    };
    for (const auto b : bases) put(b);
    for (const auto v : values) put(v);
    return r;
}

}  // namespace station::checks
