#pragma once
// The controller maker's two USB vendor ids. A site build overrides them at configure time
// (-DVORLICK_VID_PRIMARY=0x.... -DVORLICK_VID_SECONDARY=0x....).
#include <cstdint>

#ifndef VORLICK_VID_PRIMARY_VALUE
#define VORLICK_VID_PRIMARY_VALUE 0x3A1C
#endif
#ifndef VORLICK_VID_SECONDARY_VALUE
#define VORLICK_VID_SECONDARY_VALUE 0x3A1D
#endif

namespace controllerlink {

inline constexpr std::uint32_t VID_PRIMARY = VORLICK_VID_PRIMARY_VALUE;
inline constexpr std::uint32_t VID_SECONDARY = VORLICK_VID_SECONDARY_VALUE;

inline constexpr bool isMakerVendor(std::uint32_t vendorId) {
    return vendorId == VID_PRIMARY || vendorId == VID_SECONDARY;
}

}  // namespace controllerlink
