#include "station/window/panel/panel_look.h"

#include <gtest/gtest.h>

#include <vector>

namespace station {
namespace {

// Colour and size go with the condition that won, not with the station state underneath.
TEST(PanelLook, ColourAndSizeFollowTheWord) {
    struct Case {
        bool failed, loaded;
        int logOpen, indicator;
        StationState state;
        const char* text;
        std::uint32_t argb;
        int size;
    };
    const Case cases[] = {
        {true, true, 1, 0, StationState::Ok, "INI ERROR", 0xFFFF0000, 28},
        {false, false, 0, 2, StationState::Ok, "NO DEVICE", 0xFFFF0000, 22},
        {false, false, 0, 1, StationState::Ng, "READ INI FILE", 0xFF000000, 22},
        {false, true, 0, 0, StationState::Ng, "PRESS 'START'", 0xFF000000, 22},
        {false, true, 1, 0, StationState::Writing, "WRITING...", 0xFF323232, 22},
        {false, true, 1, 0, StationState::Connect, "CONNECT...", 0xFF323232, 22},
        {false, true, 1, 0, StationState::NoTest, "NO TEST", 0xFF0000FF, 35},
        {false, true, 1, 0, StationState::Checking, "CHECKING...", 0xFF323232, 22},
        {false, true, 1, 0, StationState::Error, "ERROR", 0xFFFF0000, 38},
        {false, true, 1, 0, StationState::Ok, "OK", 0xFF00FF00, 50},
        {false, true, 1, 0, StationState::Ng, "NG", 0xFFFF0000, 50},
        {false, true, 1, 0, StationState::Ready, "READY", 0xFF000000, 38},
    };
    RecipeSettings recipe;
    for (const auto& c : cases) {
        recipe.recipeFailed = c.failed;
        recipe.recipeLoaded = c.loaded;
        const PanelLook look = panelLook(recipe, {c.state, c.logOpen != 0, c.indicator});
        EXPECT_EQ(look.text, c.text);
        EXPECT_EQ(look.argb, c.argb) << c.text;
        EXPECT_EQ(look.pointSize, c.size) << c.text;
    }
    // A lost record waiting for the operator: red over the verdict and over "PRESS 'START'".
    recipe.recipeFailed = false;
    recipe.recipeLoaded = true;
    for (const bool logOpen : {true, false}) {
        const PanelLook look = panelLook(recipe, {StationState::Ready, logOpen, 0, true});
        EXPECT_EQ(look.text, "LOG ERROR");
        EXPECT_EQ(look.argb, 0xFFFF0000);
        EXPECT_EQ(look.pointSize, 28);
    }
    recipe.recipeFailed = true;
    EXPECT_EQ(panelLook(recipe, {StationState::Ready, true, 0, true}).text, "INI ERROR");
}

TEST(TrgLamp, PulsesThroughTheGreysUntilTriggered) {
    TrgLamp lamp;
    std::vector<int> greys;
    for (int i = 0; i < 14; ++i) {
        const TrgLamp::Look look = lamp.paint(true, false);
        EXPECT_EQ(look.boxArgb, 0xFFC8C8C8u);
        greys.push_back(static_cast<int>(look.textArgb & 0xFF));
        EXPECT_EQ(look.textArgb, 0xFF000000u | greys.back() * 0x010101u) << "an opaque grey";
    }
    EXPECT_EQ(greys, (std::vector<int>{255, 245, 235, 225, 215, 205, 200, 210, 220, 230, 240, 250, 255, 245}));

    const TrgLamp::Look fired = lamp.paint(true, true);
    EXPECT_EQ(fired.textArgb, 0xFFFF0000u);
    EXPECT_EQ(fired.boxArgb, 0xFFC8C8C8u);
}

// Before Start the lamp is there but unreadable: white letters on a light box.
TEST(TrgLamp, InvisibleWhileNoLogIsOpen) {
    TrgLamp lamp;
    for (const bool triggered : {false, true}) {
        const TrgLamp::Look look = lamp.paint(false, triggered);
        EXPECT_EQ(look.boxArgb, 0xFFF0F0F0u);
        EXPECT_EQ(look.textArgb, 0xFFFFFFFFu);
    }
}

}  // namespace
}  // namespace station
