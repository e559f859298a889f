#pragma once
// The Hsync MCU's command tunnel on feature report 0x12 of the pen collection: a request is
// taken (state 0x43), acknowledged (0x83 with 0x06) and answered (0x83 with the data word).
#include <cstdint>
#include <functional>

#include "station/device/device_link.h"

namespace station {

inline constexpr std::uint16_t kHsyncProductId = 0x7121;
inline constexpr std::uint16_t kHsyncFirmwareVersion = 0x7122;
inline constexpr std::uint16_t kHsyncSample = 0x7102;
inline constexpr std::uint16_t kHsyncNoise = 0x7104;
inline constexpr std::uint16_t kHsyncOldFirmwareValue = 0xFECA;
inline constexpr std::uint32_t kHsyncWaitLimitMs = 5000;
inline constexpr std::size_t kHsyncReportLength = 262;

enum class HsyncStatus : int {
    Ok = 0,
    SendRefused = 1,
    ReadRefused = 2,
    NotAcknowledged = 3,
    Timeout = 4,
    OldFirmware = 5
};

// One MCU command through the pen collection of `pen`. `pump` runs between reads while
// waiting (the station keeps its window alive with it); may be empty.
HsyncStatus hsyncRequest(DeviceLink& pen, std::uint16_t command, std::uint16_t& value,
                         const std::function<void()>& pump = {});

// Up to three requests until one succeeds; the status of the last one.
HsyncStatus hsyncRequestWithRetries(DeviceLink& pen, std::uint16_t command, std::uint16_t& value,
                                    const std::function<void()>& pump = {});

// "COM ERR", "STS ERR", "T/O ERR", "OLD FW" (and "---" for success, which shows no failure).
const char* hsyncFailureText(HsyncStatus status);

}  // namespace station
