#include "station/window/panel/panel_text.h"

#include <gtest/gtest.h>

#include "station/window/headless/headless_front_end.h"

namespace station {
namespace {

// The panel's conditions in their order: each row would show a later text if the order broke.
TEST(PanelText, ConditionsInOrder) {
    struct Case {
        bool failed, loaded;
        int logOpen, indicator;
        StationState state;
        const char* panel;
        const char* headless;  // the blink's dark phase is still "NO DEVICE" there
    };
    const Case cases[] = {
        {true, true, 1, 2, StationState::Ok, "INI ERROR", "INI ERROR"},
        {true, false, 0, 2, StationState::Ready, "INI ERROR", "INI ERROR"},
        {false, false, 0, 2, StationState::Ng, "NO DEVICE", "NO DEVICE"},
        {false, false, 0, 1, StationState::Ng, "READ INI FILE", "NO DEVICE"},
        {false, false, 1, 0, StationState::Ok, "READ INI FILE", "READ INI FILE"},
        {false, true, 0, 2, StationState::Ok, "PRESS 'START'", "PRESS 'START'"},
        {false, true, 1, 0, StationState::Writing, "WRITING...", "WRITING..."},
        {false, true, 1, 0, StationState::NoTest, "NO TEST", "NO TEST"},
        {false, true, 1, 2, StationState::Error, "ERROR", "ERROR"},
        {false, true, 1, 0, StationState::Ng, "NG", "NG"},
        {false, true, 1, 0, StationState::Ready, "READY", "READY"},
    };
    RecipeSettings recipe;
    for (const auto& c : cases) {
        recipe.recipeFailed = c.failed;
        recipe.recipeLoaded = c.loaded;
        const PanelState panel{c.state, c.logOpen != 0, c.indicator};
        EXPECT_EQ(panelStateText(recipe, panel), c.panel) << c.panel;
        EXPECT_EQ(headlessStateText(recipe, panel), c.headless) << c.panel;
    }
    // A lost record waiting for the operator comes over the check's word and the Start prompt,
    // not over a recipe that failed.
    recipe.recipeFailed = false;
    recipe.recipeLoaded = true;
    for (const bool logOpen : {true, false}) {
        const PanelState panel{StationState::Ok, logOpen, 0, true};
        EXPECT_EQ(panelStateText(recipe, panel), "LOG ERROR");
        EXPECT_EQ(headlessStateText(recipe, panel), "LOG ERROR");
    }
    recipe.recipeFailed = true;
    EXPECT_EQ(panelStateText(recipe, {StationState::Ok, true, 0, true}), "INI ERROR");
}

}  // namespace
}  // namespace station
