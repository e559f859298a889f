#pragma once
// Preparing the controller for the raw data judgement and reading the averaged frames it
// judges: raw, calibration, actual (filtered scan) and standard deviation. The frames go into the
// check's record (SensorFrames), where the judgement and the detail CSV read them.
#include <array>
#include <cstdint>

#include "platform/clock.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/step_outcome.h"
#include "station/sequence/ui_port.h"

namespace station {

// The two register images the maintenance set-up keeps: the one captured when the controller
// came up in normal mode, and the one derived from it for testing. normalScanCaptured is false
// while no controller has shown its normal scan (normalScanRegisters then holds nothing real).
struct ScanRegisterImages {
    const std::array<std::uint8_t, kRegisterBytes>& normalScanRegisters;
    const std::array<std::uint8_t, kRegisterBytes>& testRegisters;
    bool normalScanCaptured;
};

// For a recipe with RAW_CHECK. Brings the controller's scan registers back to the test image
// when they drifted and reads what the recipe's judgement needs into `frames` (its read flags
// cleared first). A refused
// exchange aborts with its message ("Failed to get register.", "Failed to set register.",
// "Failed to disable auto calib switch.", "Failed to get raw data", "Failed to get calibration
// data", "Failed to set register for test.", "Failed to get Standard Deviation Data"). The
// actual data: a failed read aborts with "not get actual data" when the calibration judgement
// needs them, and is only that message when they are only logged. A step that needs the normal
// scan image while none was captured aborts with "Failed to get normal scan register.". Never
// NG: a read that ran out of retries shows in readFlags and is judged later.
StepOutcome readRawData(const RecipeSettings& settings, DeviceLink& touch, platform::Clock& clock, UiPort& ui,
                        const ScanRegisterImages& images, SensorFrames& frames);

}  // namespace station
