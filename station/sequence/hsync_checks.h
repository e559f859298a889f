#pragma once
// The Hsync MCU checks of a check: the MCU's product id and firmware version, the Hsync signal
// samples, the noise measurement, and the direct read of the signal on devices without the
// MCU. Everything goes through the pen collection.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/step_outcome.h"
#include "station/sequence/ui_port.h"

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

// Reads the MCU's product id, then its firmware version (three attempts each) into `info`.
// True only when both were read. Also used when the pen collection is opened with HSYNC_INFO.
// `pump` runs while the tunnel is waited for; may be empty.
bool readHsyncInfo(DeviceLink& pen, HsyncInfo& info, const std::function<void()>& pump = {});

// The numeric value of an MCU text, read as hexadecimal as far as it goes ("OLD FW" reads 0).
std::uint16_t hsyncTextValue(const std::string& text);

// Every Hsync check the recipe enables, in the sequence's order; stops at the first NG.
// Clears `result` first. NG codes: 694 (PID), 693 (communication), 691 (version), 690 (signal
// off, direct signal off, or a signal read failing with HSYNC_CHK_RES_LIMIT), 695 (noise); the
// caller adds result.hsyncFlags to ngTotal. A refused direct read aborts with "Failed to check
// hsync signal (direct connection).". Waits pump the front end through `ui`.
StepOutcome runHsyncChecks(const RecipeSettings& settings, DeviceLink& pen, UiPort& ui, HsyncInfo& info,
                           HsyncCheckResult& result);

}  // namespace station
