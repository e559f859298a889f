#include "station/checks/logic/tkp_inputs.h"

#include <algorithm>

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/station_state.h"

namespace station::checks {

TkpInputs tkpInputs(CheckContext& check) {
    const RecipeSettings& r = check.recipe;
    TkpInputs in;
    // A window beyond what the statistics keep never completes: the noise phase times out.
    in.noiseCount = static_cast<std::uint32_t>(std::max(r.TKP_NOISE_COUNT, 0));
    in.noiseCheckCount = r.TKP_NOISE_CHECK_COUNT;
    in.noiseLimitX = r.TKP_NOISE_LIMIT_X;
    in.noiseLimitY = r.TKP_NOISE_LIMIT_Y;
    std::copy_n(r.TKP_NOISE_THRE_SP_X.begin(), in.noiseLimitsX.size(), in.noiseLimitsX.begin());
    std::copy_n(r.TKP_NOISE_THRE_SP_Y.begin(), in.noiseLimitsY.size(), in.noiseLimitsY.begin());
    in.signalLimitX = r.TKP_SIGNAL_LIMIT_X;
    in.signalLimitY = r.TKP_SIGNAL_LIMIT_Y;
    in.averageOnly = r.TKP_CHECK_ONLY_AVE != 0;
    in.judgeFirstY = r.TKP_TMP_LMT_OFF != 0;
    in.logOnly = r.TKP_LOG_ONLY != 0;
    in.skipSignal = r.SKIP_TKP_SIGNAL != 0;
    in.touchExitDisabled = r.TKP_TOUCH_EXIT_DISABLE != 0;
    in.startWaitMs = r.TKP_START_WAIT;
    in.debug = r.TKP_DBG != 0;
    in.driverMode = check.connect.driverMode != 0;
    in.scan = &check.tkpScan;
    in.tkpFlags = &check.record.detail.tkpFlags;
    in.results = &check.record.results;
    return in;
}

bool PenLinkDevice::startPenMaintenance() { return pen_.startPenMaintenance(); }

bool PenLinkDevice::setPenScan(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) {
    return pen_.setPenScan(gainX, gainY, enable, blank);
}

bool PenLinkDevice::sendScanReport(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) {
    return pen_.sendPenScanReport(gainX, gainY, enable, blank);
}

bool PenLinkDevice::stopPenMaintenance() { return pen_.stopPenMaintenance(); }

void PenLinkDevice::resetLineStatistics(std::uint32_t window) { pen_.resetLineStatistics(window); }

void PenLinkDevice::addLineReport(std::span<const std::uint8_t> report) { pen_.addLineReport(report); }

const controllerlink::LineStatistics& PenLinkDevice::lineStatistics() const { return pen_.lineStatistics(); }

}  // namespace station::checks
