// Both viewers on the station's touch link to a virtual controller: the raw data viewer streams
// real frames from its reader thread, the pin check viewer reads the scenario's pin faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <span>

#include "controllerlink/collection_choice.h"
#include "controllerlink/frame_reader.h"
#include "hidlink/device_table.h"
#include "platform/tick_counter.h"
#include "sim/scenario.h"
#include "sim/virtual_bus.h"
#include "station/device/device_link.h"
#include "station/viewers/logic/pin_viewer.h"
#include "station/viewers/logic/raw_viewer.h"
#include "station/viewers/logic/viewer_device.h"
#include "station/viewers/logic/viewer_opening.h"

namespace {

// A scenario's controller on an in-process bus, its touch collection opened in maintenance mode
// with its registers read, as the station leaves it before a viewer opens.
struct ScenarioBench {
    explicit ScenarioBench(const char* scenario) {
        std::string error;
        loaded =
            sim::loadScenarioFile(std::string(VORLICK_SOURCE_DIR) + "/examples/sim/" + scenario, bus, clock, error);
        EXPECT_TRUE(loaded) << error;
    }
    bool open() {
        touch.refreshFoundList();
        const auto found = std::span(touch.foundList()).first(touch.found());
        const auto t = controllerlink::findTouchCollection(found, controllerlink::ControllerGeneration::R6);
        return t && touch.open(*t);
    }
    bool connect() { return open() && touch.setDeviceMode(1) && touch.readRegisters(); }

    bool loaded = false;
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    station::DeviceLink touch{table, controllerlink::TOUCH_KEY, clock};
    station::viewers::DeviceLinkViewerPort port{touch};
};

TEST(ViewersOnController, RawViewerStreamsTheControllersFrames) {
    ScenarioBench b("r6-healthy.scenario");
    ASSERT_TRUE(b.connect());
    struct Last {
        controllerlink::Grid rawAverage{};
        station::JudgementMaps maps;
    };
    auto last = std::make_unique<Last>();
    auto recipe = std::make_unique<station::RecipeSettings>();
    controllerlink::QueuedImageFrames frames(4);
    platform::VirtualTickCounter ticks;
    station::viewers::RawViewer v({.device = b.port,
                                   .lastRaw = last->rawAverage,
                                   .lastDiff = last->maps.rawDiff,
                                   .upperMap = last->maps.upperMap,
                                   .lowerMap = last->maps.lowerMap,
                                   .recipe = *recipe,
                                   .marginsAvailable = false,
                                   .frameSink = frames,
                                   .clock = b.clock,
                                   .ticks = ticks,
                                   .tableAccess = {},
                                   .dumpFolder = "."});
    v.start();
    ASSERT_EQ(v.statusText(), "Success: start Thread.");
    EXPECT_EQ(b.touch.responseType(), 0x10);
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    for (int n = 0; n < 3; ++n) {
        std::uint32_t status = 0;
        ASSERT_TRUE(frames.take(*frame, status, 10000)) << n;
        v.handleFrame(status, *frame);
    }
    EXPECT_EQ(v.statusText(), "Success: start Thread.") << "every frame arrived whole";
    EXPECT_TRUE(v.hasData());
    EXPECT_GT(v.table(station::viewers::RawView::Raw)[45][71], 1000);
    EXPECT_GT(v.statistics(station::viewers::RawView::Raw).totalMin, 1000);
    v.start();
    EXPECT_EQ(v.statusText(), "Error: Thread is already running.");
    v.stop();
    EXPECT_FALSE(b.touch.frameReaderRunning());
    EXPECT_TRUE(v.startEnabled());
}

TEST(ViewersOnController, PinViewerShowsTheScenariosPinFaults) {
    ScenarioBench b("r6-pin-faults.scenario");  // Rx pin 12 to Vdd, Tx pin 3 to Gnd
    ASSERT_TRUE(b.connect());
    auto recipe = std::make_unique<station::RecipeSettings>();
    for (std::uint16_t i = 0; i < 72; ++i) recipe->XLUT[i] = static_cast<std::uint16_t>(0x100 | i);
    for (std::uint16_t i = 0; i < 46; ++i) recipe->YLUT[i] = static_cast<std::uint16_t>(0x100 | i);
    station::viewers::PinViewer v({.device = b.port,
                                   .waitTime = recipe->WAIT_TIME,
                                   .shortThreshold = recipe->SHORT_THRESHOLD,
                                   .openThreshold = 50,
                                   .rxMap = recipe->XLUT,
                                   .txMap = recipe->YLUT});
    v.check();
    EXPECT_EQ(v.statusText(), "Success to Get Pin check status.");
    EXPECT_EQ(v.cellText(12, 2), "NG");
    EXPECT_EQ(v.cellPicture(12, 0), station::viewers::PinFaulty);
    EXPECT_EQ(v.cellText(3, 8), "NG");
    EXPECT_EQ(v.cellPicture(13, 0), station::viewers::PinGood);
    EXPECT_EQ(v.errorText(), "Error Exist.");
    b.touch.close();
    v.check();
    EXPECT_EQ(v.statusText(), "Error: Device is not opened.");
}

// Ctrl+R and Ctrl+P do nothing unless the controller is in maintenance mode; Ctrl+R then turns
// the automatic calibration off and writes the registers, and a refusal keeps the viewer shut.
TEST(ViewersOnController, HiddenCommandsOpenOnlyInMaintenanceMode) {
    using station::viewers::ViewerOpening;
    ScenarioBench b("r6-healthy.scenario");
    EXPECT_EQ(station::viewers::prepareRawViewer(b.touch), ViewerOpening::NotInMaintenance) << "not open";
    ASSERT_TRUE(b.open());
    EXPECT_EQ(station::viewers::prepareRawViewer(b.touch), ViewerOpening::NotInMaintenance);
    EXPECT_EQ(station::viewers::preparePinViewer(b.touch), ViewerOpening::NotInMaintenance);
    EXPECT_EQ(b.touch.readout().autoCalibration, 1u) << "nothing sent";
    ASSERT_TRUE(b.touch.setDeviceMode(1));
    EXPECT_EQ(station::viewers::preparePinViewer(b.touch), ViewerOpening::Ready);
    EXPECT_EQ(station::viewers::prepareRawViewer(b.touch), ViewerOpening::Ready);
    EXPECT_EQ(b.touch.readout().autoCalibration, 0u);
    // The mode read is transfer 1, the calibration command 2, the register write 3 and 4.
    for (const std::uint64_t refused : {2u, 3u, 4u}) {
        b.bus.setFaults(0, {0, refused, false});
        EXPECT_EQ(station::viewers::prepareRawViewer(b.touch), ViewerOpening::Refused) << refused;
        b.bus.setFaults(0, {});
    }
    station::RecipeSettings recipe;
    recipe.RAW_CHECK = 1;
    EXPECT_FALSE(station::viewers::marginsAvailable(recipe)) << "not loaded";
    recipe.recipeLoaded = true;
    EXPECT_TRUE(station::viewers::marginsAvailable(recipe));
}

}  // namespace
