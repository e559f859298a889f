#pragma once
// What the Hsync MCU checks know and measure: the MCU's texts between checks and one check's
// flags and samples.
#include <cstdint>
#include <string>
#include <vector>

namespace station {

// What the station knows about the MCU between checks (the status panel shows the texts).
struct HsyncInfo {
    std::int32_t hsyncInfoValid = 0;  // 1 when the last MCU exchange succeeded
    // "0x%04X" when read; "COM ERR", "STS ERR", "T/O ERR" or "OLD FW" after a failure.
    std::string hsyncPidText = "---";
    std::string hsyncVerText = "---";
};

// hsyncFlags bits (the run detail's Hsync field).
inline constexpr std::int32_t kHsyncComError = 1;
inline constexpr std::int32_t kHsyncDisabled = 2;
inline constexpr std::int32_t kHsyncVersionDiffers = 4;
inline constexpr std::int32_t kHsyncPidDiffers = 8;
inline constexpr std::int32_t kHsyncNoiseFailed = 16;

// What one check measured, for the detail CSV.
struct HsyncCheckResult {
    std::int32_t hsyncFlags = 0;
    std::uint16_t hsyncSample = 0;  // last signal sample, bytes swapped back
    std::vector<std::uint16_t> hsyncSamples;
    std::int32_t hsyncOkCount = 0;  // samples greater than HSYNC_CHECK
    std::int16_t noiseSample = 0;
    std::vector<std::int16_t> noiseSamples;
    std::int32_t noiseInRange = 0;  // samples inside [HSYNC_MEAS_MIN, HSYNC_MEAS_MAX]
};

}  // namespace station
