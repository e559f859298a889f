#include "station/recipe/recipe_selection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "controllerlink/vendor_ids.h"
#include "platform/clock.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"
#include "station/recipe/recipe_loader.h"
#include "station/recipe/tests/recipe_test_support.h"

namespace {

using station::FolderEntry;
using station::RecipeSelector;
using station::test::ScratchDir;
using ::testing::ElementsAre;

sim::CollectionSpec collection(std::uint16_t page, std::uint16_t usage) {
    return {page, usage, {{sim::ReportSpec::Feature, 9, 64}}};
}

class RecipeSelectionTest : public ::testing::Test {
protected:
    void plug(std::uint32_t vid, std::uint16_t pid, std::vector<sim::CollectionSpec> collections) {
        bus.addDevice(
            std::make_shared<sim::TableDevice>(sim::UsbIdentity{static_cast<std::uint16_t>(vid), pid, 0x0100},
                                               std::vector<std::vector<sim::CollectionSpec>>{std::move(collections)}));
    }
    RecipeSelector selector(RecipeSelector::ListFn list = RecipeSelector::listFolder) {
        return RecipeSelector(
            touch, [this](const std::string& path) { loaded.push_back(path); }, std::move(list));
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    controllerlink::DeviceLinkBase touch{table, controllerlink::TOUCH_KEY};
    std::vector<std::string> messages;
    std::vector<std::string> loaded;
};

TEST(RecipeNamePid, NameRule) {
    struct Case {
        const char* name;
        std::int64_t pid;
    };
    const Case cases[] = {
        {"PID0112.ini", 0x0112},
        {"PID0112.ini.bak", 0x0112},  // holds ".ini"
        {"pid0112.ini", -1},
        {"PID0112.INI", -1},  // both marks are case-sensitive
        {"PID12.ini", 0x12},
        {"line_B_PID0A52x.ini", 0x0A52},
        {"PID0A52_B.ini", 0x0A52},
        {"PIDabcd.ini", 0xABCD},
        {"PID.ini", 0},
        {"PID0112", -1},
        {"PID01123.ini", 0x0112},
        {"a.ini PID PID0112", 0},  // the first "PID" counts
        {"PID", -1},
        {"xPIDF", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(station::recipeNamePid(c.name), c.pid) << c.name;
}

TEST_F(RecipeSelectionTest, NoMakerControllerWaitsSilently) {
    plug(0x046D, 0x0112, {collection(0xFF11, 0x11)});                       // another maker
    plug(controllerlink::VID_PRIMARY, 0x0112, {collection(0xFF11, 0x02)});  // pen only
    ScratchDir dir;
    dir.write("PID0112.ini", "");
    auto s = selector();
    EXPECT_FALSE(s.SelectRecipeByPid(dir.str(), messages));
    EXPECT_EQ(s.deviceWaitIndicator(), 1u);
    EXPECT_EQ(s.connectedPid(), 0u);
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(RecipeSelectionTest, ControllerProductIdChoosesTheFile) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint16_t, std::vector<sim::CollectionSpec>>> devices;
        std::uint32_t pid;
    };
    const Case cases[] = {
        {"touch usage 17", {{0x0112, {collection(0xFF11, 0x02), collection(0xFF11, 0x11)}}}, 0x0112},
        {"driver-mode usage 11", {{0x0A52, {collection(0xFF11, 0x0B)}}}, 0x0A52},
        {"0xFF11 before 0xFF09 whatever the order",
         {{0x0952, {collection(0xFF09, 0x11)}}, {0x0A52, {collection(0xFF11, 0x11)}}},
         0x0A52},
        {"0xFF09 when no 0xFF11", {{0x0952, {collection(0xFF09, 0x0B)}}}, 0x0952},
    };
    for (const Case& c : cases) {
        platform::VirtualClock caseClock;
        sim::VirtualBus caseBus{caseClock};
        sim::InProcessBackend caseBackend{caseBus};
        hidlink::DeviceTable caseTable{caseBackend};
        controllerlink::DeviceLinkBase caseTouch{caseTable, controllerlink::TOUCH_KEY};
        for (const auto& [pid, collections] : c.devices)
            caseBus.addDevice(std::make_shared<sim::TableDevice>(
                sim::UsbIdentity{static_cast<std::uint16_t>(controllerlink::VID_SECONDARY), pid, 0x0100},
                std::vector<std::vector<sim::CollectionSpec>>{collections}));
        ScratchDir dir;
        dir.write("PID0112.ini", "");
        dir.write("PID0A52.ini", "");
        dir.write("PID0952.ini", "");
        std::vector<std::string> caseLoaded;
        RecipeSelector s(caseTouch, [&](const std::string& path) { caseLoaded.push_back(path); });
        EXPECT_TRUE(s.SelectRecipeByPid(dir.str(), messages)) << c.what;
        EXPECT_EQ(s.connectedPid(), c.pid) << c.what;
        char name[32];
        std::snprintf(name, sizeof name, "/PID%04X.ini", static_cast<unsigned>(c.pid));
        EXPECT_THAT(caseLoaded, ElementsAre(dir.str() + name)) << c.what;
    }
}

TEST_F(RecipeSelectionTest, MissingRecipeNamesTheProductId) {
    plug(controllerlink::VID_PRIMARY, 0x0A52, {collection(0xFF11, 0x11)});
    ScratchDir dir;
    dir.write("pid0a52.ini", "");
    dir.write("PID0A53.ini", "");
    dir.write(".hidden/PID0A52.ini", "");  // dot folders are not searched
    dir.write("PID0A52.txt", "");
    auto s = selector();
    EXPECT_FALSE(s.SelectRecipeByPid(dir.str(), messages));
    EXPECT_EQ(s.deviceWaitIndicator(), 0u);
    EXPECT_THAT(messages, ElementsAre("PID0A52 ini file does not exist."));
    EXPECT_TRUE(loaded.empty());
}

// The listing order decides: a sub-folder listed before a matching file is searched first,
// and the first match ends the search.
TEST_F(RecipeSelectionTest, DepthFirstInListingOrder) {
    plug(controllerlink::VID_PRIMARY, 0x0112, {collection(0xFF11, 0x11)});
    std::map<std::string, std::vector<FolderEntry>> tree = {
        {"/st", {{"a", true}, {"PID0112.ini", false}, {"b", true}}},
        {"/st/a", {{"notes.txt", false}, {"deep", true}}},
        {"/st/a/deep", {{"PID0112_B.ini", false}, {"PID0112_C.ini", false}}},
        {"/st/b", {{"PID0112.ini", false}}},
    };
    std::vector<std::string> listed;
    auto s = selector([&](const std::string& folder) {
        listed.push_back(folder);
        return tree[folder];
    });
    EXPECT_TRUE(s.SelectRecipeByPid("/st", messages));
    EXPECT_THAT(loaded, ElementsAre("/st/a/deep/PID0112_B.ini"));
    EXPECT_THAT(listed, ElementsAre("/st", "/st/a", "/st/a/deep"));

    loaded.clear();
    tree["/st"] = {{"PID0112.ini", false}, {"a", true}};
    EXPECT_TRUE(s.SelectRecipeByPid("/st", messages));
    EXPECT_THAT(loaded, ElementsAre("/st/PID0112.ini"));
}

TEST_F(RecipeSelectionTest, LinkLoopBackToTheStationFolderEnds) {
    plug(controllerlink::VID_PRIMARY, 0x0112, {collection(0xFF11, 0x11)});
    ScratchDir dir;
    dir.write("sub/readme.txt", "");
    std::filesystem::create_directory_symlink(dir.path(), dir.path() / "sub" / "loop");
    auto s = selector();
    EXPECT_FALSE(s.SelectRecipeByPid(dir.str(), messages));
    EXPECT_THAT(messages, ElementsAre("PID0112 ini file does not exist."));
}

// The real loader on the example station folder: its R6 recipe is chosen and loads.
TEST_F(RecipeSelectionTest, ExampleStationFolderLoadsItsR6Recipe) {
    plug(controllerlink::VID_PRIMARY, 0x0A52, {collection(0xFF11, 0x11), collection(0xFF11, 0x02)});
    const std::string station = std::string(VORLICK_SOURCE_DIR) + "/examples/station";
    station::RecipeSettings settings;
    station::RecipeEnvironment env{station};
    env.debugTrace = nullptr;
    bool loadResult = false;
    RecipeSelector s(touch,
                     [&](const std::string& path) { loadResult = station::LoadRecipe(settings, path, env).loaded; });
    ASSERT_TRUE(s.SelectRecipeByPid(station, messages));
    EXPECT_TRUE(loadResult);
    EXPECT_EQ(s.connectedPid(), 0x0A52u);
}

}  // namespace
