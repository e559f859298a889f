#include "station/window/panel/panel_text.h"

namespace station {

std::string_view panelStateText(const Station& s) {
    if (s.recipe.recipeFailed) return "INI ERROR";
    if (!s.recipe.recipeLoaded) return s.flags.deviceWaitIndicator >= 2 ? "NO DEVICE" : "READ INI FILE";
    // Over the verdict: a record is lost and no check starts until the operator has seen it.
    if (s.records.unseenFailure) return "LOG ERROR";
    if (s.flags.logOpen == 0) return "PRESS 'START'";
    return stationStateText(s.state);
}

}  // namespace station
