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
#include "station/sequence/hsync_result.h"
#include "station/sequence/step_outcome.h"
#include "station/sequence/ui_port.h"

namespace station {

// Reads the MCU's product id, then its firmware version (three attempts each) into `info`.
// True only when both were read. Also used when the pen collection is opened with HSYNC_INFO.
// `pump` runs while the tunnel is waited for; may be empty.
bool readHsyncInfo(DeviceLink& pen, HsyncInfo& info, const std::function<void()>& pump = {});

// The numeric value of an MCU text, read as hexadecimal as far as it goes ("OLD FW" reads 0).
std::uint16_t hsyncTextValue(const std::string& text);

// Every Hsync check the recipe enables, in the sequence's order; stops at the first NG.
// Clears `result` first. NG errors: HsyncPid, HsyncComm, HsyncVersion, HsyncDisable,
// HsyncDisableDirect, HsyncCommResLimit (a signal read failing with HSYNC_CHK_RES_LIMIT),
// HsyncNoise; the caller adds result.hsyncFlags to ngTotal. A refused direct read aborts with "Failed to check
// hsync signal (direct connection).". Waits pump the front end through `ui`.
StepOutcome runHsyncChecks(const RecipeSettings& settings, DeviceLink& pen, UiPort& ui, HsyncInfo& info,
                           HsyncCheckResult& result);

}  // namespace station
