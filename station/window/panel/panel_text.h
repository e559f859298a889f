#pragma once
// The status panel's word, as every front end shows it: the recipe's and the log's state
// first, then the station state of the check.
#include <cstdint>
#include <string_view>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/run_record.h"

namespace station {

class Station;

// What the panel shows besides the recipe's state.
struct PanelState {
    StationState state = StationState::Ready;
    bool logOpen = false;
    // The "NO DEVICE" blink while no recipe is loaded: 2 shows it, 1 shows "READ INI FILE".
    std::int32_t deviceWaitIndicator = 0;
    // A lost record waits for the operator ("LOG ERROR").
    bool recordFailureUnseen = false;
};

PanelState panelStateOf(const Station& s);

// The text of the panel on this repaint.
std::string_view panelStateText(const RecipeSettings& recipe, const PanelState& panel);

}  // namespace station
