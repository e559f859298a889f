#include "station/sequence/hsync_checks.h"

#include <cstdio>
#include <cstdlib>

#include "station/device/hsync_tunnel.h"

namespace station {
namespace {

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// One MCU value into its text; `valid` follows the outcome except that an MCU too old for
// the command leaves it as it was.
HsyncStatus readInfoValue(DeviceLink& pen, std::uint16_t command, HsyncInfo& info, std::string& text,
                          const std::function<void()>& pump) {
    std::uint16_t value = 0;
    const HsyncStatus s = hsyncRequestWithRetries(pen, command, value, pump);
    if (s == HsyncStatus::Ok) {
        text = hex4(value);
        info.hsyncInfoValid = 1;
    } else if (s != HsyncStatus::OldFirmware) {
        info.hsyncInfoValid = 0;
    }
    return s;
}

StepOutcome ngWith(UiPort& ui, ErrorId error) {
    ui.appendMessage(errorEntry(error).message);
    return StepOutcome::ng(error);
}

}  // namespace

bool readHsyncInfo(DeviceLink& pen, HsyncInfo& info, const std::function<void()>& pump) {
    HsyncStatus s = readInfoValue(pen, kHsyncProductId, info, info.hsyncPidText, pump);
    if (s == HsyncStatus::Ok) s = readInfoValue(pen, kHsyncFirmwareVersion, info, info.hsyncVerText, pump);
    if (s == HsyncStatus::Ok) return true;
    info.hsyncPidText = info.hsyncVerText = hsyncFailureText(s);
    return false;
}

std::uint16_t hsyncTextValue(const std::string& text) {
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
}

StepOutcome runHsyncChecks(const RecipeSettings& s, DeviceLink& pen, UiPort& ui, HsyncInfo& info,
                           HsyncCheckResult& result) {
    result = HsyncCheckResult{};
    const std::function<void()> pump = [&ui] { ui.pumpMessages(); };
    const auto comError = [&] {
        result.hsyncFlags = kHsyncComError;
        return ngWith(ui, ErrorId::HsyncComm);
    };

    if ((s.HSYNC_PID != 0 || s.HSYNC_VER != 0) && s.HSYNC_INFO != 0 && info.hsyncInfoValid == 0)
        (void)readHsyncInfo(pen, info, pump);

    if (s.HSYNC_PID != 0) {
        if (s.HSYNC_INFO == 0) (void)readHsyncInfo(pen, info, pump);
        if (info.hsyncInfoValid == 0) return comError();
        if (hsyncTextValue(info.hsyncPidText) != s.HSYNC_PID) {
            result.hsyncFlags |= kHsyncPidDiffers;
            return ngWith(ui, ErrorId::HsyncPid);
        }
        ui.appendMessage("HSYNC MCU PID ... OK");
    }

    if (s.HSYNC_VER != 0) {
        if (s.HSYNC_INFO == 0 && s.HSYNC_PID == 0) (void)readHsyncInfo(pen, info, pump);
        if (info.hsyncInfoValid == 0) return comError();
        if (hsyncTextValue(info.hsyncVerText) != s.HSYNC_VER) {
            result.hsyncFlags |= kHsyncVersionDiffers;
            return ngWith(ui, ErrorId::HsyncVersion);
        }
        ui.appendMessage("HSYNC MCU FW ver ... OK");
    }

    if (s.HSYNC_CHECK >= 1) {
        for (std::int32_t i = 0; i < s.HSYNC_CHECK_COUNT; ++i) {
            std::uint16_t value = 0;
            if (hsyncRequestWithRetries(pen, kHsyncSample, value, pump) != HsyncStatus::Ok) {
                // A site that limits the signal check's resources judges a silent MCU as no signal.
                const bool asDisabled = s.HSYNC_CHK_RES_LIMIT != 0;
                if (asDisabled)
                    result.hsyncFlags |= kHsyncDisabled;
                else
                    result.hsyncFlags = kHsyncComError;
                return ngWith(ui, asDisabled ? ErrorId::HsyncCommResLimit : ErrorId::HsyncComm);
            }
            // The MCU sends the sample high byte first.
            result.hsyncSample = static_cast<std::uint16_t>((value >> 8) | (value << 8));
            result.hsyncSamples.push_back(result.hsyncSample);
        }
        for (std::uint16_t sample : result.hsyncSamples)
            if (sample > s.HSYNC_CHECK) ++result.hsyncOkCount;
        if (result.hsyncOkCount < s.HSYNC_CHECK_THRESHOLD) {
            result.hsyncFlags |= kHsyncDisabled;
            return ngWith(ui, ErrorId::HsyncDisable);
        }
        ui.appendMessage("HSYNC enable.");
    }

    if (s.HSYNC_MEASURING != 0) {
        if (s.HSYNC_INFO == 0 && s.HSYNC_PID == 0 && s.HSYNC_VER == 0 && s.HSYNC_CHECK == 0)
            (void)readHsyncInfo(pen, info, pump);
        for (std::int32_t i = 0; i < s.HSYNC_MEAS_COUNT; ++i) {
            std::uint16_t value = 0;
            if (hsyncRequestWithRetries(pen, kHsyncNoise, value, pump) != HsyncStatus::Ok) {
                info.hsyncInfoValid = 0;
                result.hsyncFlags |= kHsyncComError;
                return ngWith(ui, ErrorId::HsyncComm);
            }
            result.noiseSample = static_cast<std::int16_t>(value);
            result.noiseSamples.push_back(result.noiseSample);
            if (s.HSYNC_MEAS_MIN <= result.noiseSample && result.noiseSample <= s.HSYNC_MEAS_MAX) ++result.noiseInRange;
        }
        if (result.noiseInRange < s.HSYNC_MEAS_THRESHOLD) {
            result.hsyncFlags |= kHsyncNoiseFailed;
            return ngWith(ui, ErrorId::HsyncNoise);
        }
        ui.appendMessage("HSYNC Noise Measuring ... OK");
    }

    if (s.HSYNC_CHECK_NO_MCU != 0) {
        const std::optional<HsyncDirectWords> direct = pen.readHsyncDirect();
        if (!direct) {
            const char* message = "Failed to check hsync signal (direct connection).";
            ui.appendMessage(message);
            return StepOutcome::abort(message);
        }
        if (((*direct)[8] & 1u) == 0) {
            result.hsyncFlags |= kHsyncDisabled;
            return ngWith(ui, ErrorId::HsyncDisableDirect);
        }
        ui.appendMessage("HSYNC enable. (direct connection)");
    }
    return StepOutcome::pass();
}

}  // namespace station
