#include "station/window/panel/panel_text.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/sequence/tests/fake_ui_port.h"
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
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station s{table, clock, ui};
    for (const auto& c : cases) {
        s.recipe.recipeFailed = c.failed;
        s.recipe.recipeLoaded = c.loaded;
        s.flags.logOpen = c.logOpen;
        s.flags.deviceWaitIndicator = c.indicator;
        s.state = c.state;
        EXPECT_EQ(panelStateText(s), c.panel) << c.panel;
        EXPECT_EQ(headlessStateText(s), c.headless) << c.panel;
    }
    // A lost record waiting for the operator comes over the check's word and the Start prompt,
    // not over a recipe that failed.
    s.records.unseenFailure = true;
    s.recipe.recipeFailed = false;
    s.recipe.recipeLoaded = true;
    s.state = StationState::Ok;
    for (const int logOpen : {1, 0}) {
        s.flags.logOpen = logOpen;
        EXPECT_EQ(panelStateText(s), "LOG ERROR");
        EXPECT_EQ(headlessStateText(s), "LOG ERROR");
    }
    s.recipe.recipeFailed = true;
    EXPECT_EQ(panelStateText(s), "INI ERROR");
}

}  // namespace
}  // namespace station
