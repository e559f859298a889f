#include "station/checks/logic/home_key_inputs.h"

#include <algorithm>

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/station_state.h"

namespace station::checks {
namespace {

HomeKeyLimits limits(const HomeKeyList& list, bool enabled) {
    HomeKeyLimits l;
    l.applies = enabled;
    const std::size_t n = std::min(l.values.size(), list.values.size());
    std::copy_n(list.values.begin(), n, l.values.begin());
    return l;
}

}  // namespace

HomeKeyInputs homeKeyInputs(const CheckWindowRequest& /*request*/, CheckContext& check, const Surface& surface) {
    const RecipeSettings& r = check.recipe;
    HomeKeyInputs in;
    in.surface = surface;
    in.driverMode = check.connect.driverMode != 0;
    in.pins = r.HK_NUM_PIN;
    // A list applies only with exactly one value per pin, as the recipe's load decided.
    in.removeHigh = limits(r.HK_REMOVE, r.hkRemoveEnabled && r.HK_REMOVE.count == r.HK_NUM_PIN);
    in.removeLow = limits(r.HK_REMOVE_LOW, r.hkRemoveLowEnabled && r.HK_REMOVE_LOW.count == r.HK_NUM_PIN);
    in.touch = limits(r.HK_TOUCH, r.hkTouchEnabled && r.HK_TOUCH.count == r.HK_NUM_PIN);
    in.removeTimeMs = r.HK_REMOVE_TIME;
    in.limitTimeMs = r.HK_LIMIT_TIME;
    in.averageWindow = r.HK_AVE_WINDOW;
    in.okCountThreshold = r.HK_OK_COUNT_THRESHOLD;
    DeviceLink& touch = check.touch;
    in.setReportType = [&touch](std::uint8_t type) { return touch.setReportType(type); };
    in.homeKeyFlags = &check.record.detail.homeKeyFlags;
    in.results = &check.record.results;
    return in;
}

}  // namespace station::checks
