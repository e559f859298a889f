#pragma once
// A scenario's virtual controller with its touch collection opened in maintenance mode and its
// registers read, as the station leaves it before a viewer opens; frames stream from the real
// reader thread.
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>

#include "controllerlink/collection_choice.h"
#include "hidlink/device_table.h"
#include "platform/tick_counter.h"
#include "sim/scenario.h"
#include "sim/virtual_bus.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/judgement_maps.h"
#include "station/viewers/logic/viewer_device.h"

namespace testfx {

struct ViewerBench {
    explicit ViewerBench(const char* scenario) {
        std::string error;
        const bool loaded =
            sim::loadScenarioFile(std::string(VORLICK_SOURCE_DIR) + "/examples/sim/" + scenario, bus, clock, error);
        EXPECT_TRUE(loaded) << error;
    }
    bool connect() {
        touch.refreshFoundList();
        const auto found = std::span(touch.foundList()).first(touch.found());
        const auto t = controllerlink::findTouchCollection(found, controllerlink::ControllerGeneration::R6);
        return t && touch.open(*t) && touch.setDeviceMode(1) && touch.readRegisters();
    }

    platform::VirtualClock clock;
    platform::VirtualTickCounter ticks;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    station::DeviceLink touch{table, controllerlink::TOUCH_KEY, clock};
    station::viewers::DeviceLinkViewerPort port{touch};
    struct Last {
        controllerlink::Grid rawAverage{};
        station::JudgementMaps maps;
    };
    std::unique_ptr<Last> last = std::make_unique<Last>();
    std::unique_ptr<station::RecipeSettings> recipe = std::make_unique<station::RecipeSettings>();
};

}  // namespace testfx
