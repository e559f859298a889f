#include "station/window/panel/panel_look.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station {
namespace {

struct PanelFixture : ::testing::Test {
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station s{table, clock, ui};
};

// Colour and size go with the condition that won, not with the station state underneath.
TEST_F(PanelFixture, ColourAndSizeFollowTheWord) {
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
    for (const auto& c : cases) {
        s.recipe.recipeFailed = c.failed;
        s.recipe.recipeLoaded = c.loaded;
        s.flags.logOpen = c.logOpen;
        s.flags.deviceWaitIndicator = c.indicator;
        s.state = c.state;
        const PanelLook look = panelLook(s);
        EXPECT_EQ(look.text, c.text);
        EXPECT_EQ(look.argb, c.argb) << c.text;
        EXPECT_EQ(look.pointSize, c.size) << c.text;
    }
    // A lost record waiting for the operator: red over the verdict and over "PRESS 'START'".
    s.recipe.recipeFailed = false;
    s.records.unseenFailure = true;
    for (const int logOpen : {1, 0}) {
        s.flags.logOpen = logOpen;
        const PanelLook look = panelLook(s);
        EXPECT_EQ(look.text, "LOG ERROR");
        EXPECT_EQ(look.argb, 0xFFFF0000);
        EXPECT_EQ(look.pointSize, 28);
    }
    s.recipe.recipeFailed = true;
    EXPECT_EQ(panelLook(s).text, "INI ERROR");
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
