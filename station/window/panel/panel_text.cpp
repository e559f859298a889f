#include "station/window/panel/panel_text.h"

#include "station/sequence/station_state.h"

namespace station {

PanelState panelStateOf(const Station& s) {
    return {s.state, s.flags.logOpen, s.flags.deviceWaitIndicator, s.records.unseenFailure};
}

std::string_view panelStateText(const RecipeSettings& recipe, const PanelState& panel) {
    if (recipe.recipeFailed) return "INI ERROR";
    if (!recipe.recipeLoaded) return panel.deviceWaitIndicator >= 2 ? "NO DEVICE" : "READ INI FILE";
    // Over the verdict: a record is lost and no check starts until the operator has seen it.
    if (panel.recordFailureUnseen) return "LOG ERROR";
    if (!panel.logOpen) return "PRESS 'START'";
    return stationStateText(panel.state);
}

}  // namespace station
