// The menu's writer command against a scratch station folder and a scripted process list: what
// the operator sees, and what (if anything) is started.
#include "station/window/commands/open_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/recipe/tests/recipe_test_support.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station {
namespace {

class FakeWriterProcesses final : public WriterProcesses {
public:
    std::vector<std::string> runningModulePaths() override { return modules; }
    bool startDetached(const std::string& path) override {
        started.push_back(path);
        return startWorks;
    }

    std::vector<std::string> modules;
    bool startWorks = true;
    std::vector<std::string> started;
};

struct OpenWriterFixture : ::testing::Test {
    test::ScratchDir dir;
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station s{table, clock, ui};
    FakeWriterProcesses processes;

    // "{dir}" in a text stands for the scratch station folder.
    std::string inDir(std::string text) const {
        for (std::size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir.str());
        return text;
    }
};

TEST_F(OpenWriterFixture, BoxesAndStartsAsTheRecipeAndProcessesSay) {
    struct Case {
        const char* name;
        bool loaded;
        const char* romwritePath;
        std::vector<std::string> modules;
        bool startWorks;
        OpenWriterResult result;
        const char* box;      // "" for none
        const char* started;  // "" when nothing may be started
    };
    const Case cases[] = {
        {"no recipe", false, "bin\\RomWrite", {}, true, OpenWriterResult::NoRecipe, "error: Read Ini file.", ""},
        {"empty key", true, "", {}, true, OpenWriterResult::PathEmpty, "error: Key 'ROMWRITE_PATH' is empty.", ""},
        {"missing writer",
         true,
         "bin\\Missing",
         {},
         true,
         OpenWriterResult::NotFound,
         "error: Not found application.\nbin\\Missing",
         ""},
        {"a folder is no program",
         true,
         "bin",
         {},
         true,
         OpenWriterResult::NotFound,
         "error: Not found application.\nbin",
         ""},
        {"a drive path never resolves here",
         true,
         "C:\\tools\\RomWrite.exe",
         {},
         true,
         OpenWriterResult::NotFound,
         "error: Not found application.\nC:\\tools\\RomWrite.exe",
         ""},
        {"relative to the station folder",
         true,
         "bin\\RomWrite",
         {"/usr/lib/libc.so.6", "/usr/bin/bash"},
         true,
         OpenWriterResult::Started,
         "",
         "{dir}/bin/RomWrite"},
        {"absolute, dot segments resolved",
         true,
         "{dir}/bin/../bin/RomWrite",
         {},
         true,
         OpenWriterResult::Started,
         "",
         "{dir}/bin/RomWrite"},
        {"a copy runs from elsewhere",
         true,
         "bin\\RomWrite",
         {"/usr/lib/libc.so.6", "/opt/line2/RomWrite"},
         true,
         OpenWriterResult::AlreadyRunning,
         "",
         ""},
        {"a copy replaced on disk still maps it",
         true,
         "bin\\RomWrite",
         {"/home/op/RomWrite (deleted)"},
         true,
         OpenWriterResult::AlreadyRunning,
         "",
         ""},
        {"the name is matched with its case",
         true,
         "bin\\RomWrite",
         {"/opt/romwrite", "/opt/ROMWRITE", "/opt/RomWrit"},
         true,
         OpenWriterResult::Started,
         "",
         "{dir}/bin/RomWrite"},
        {"failed start is not shown",
         true,
         "bin\\RomWrite",
         {},
         false,
         OpenWriterResult::StartFailed,
         "",
         "{dir}/bin/RomWrite"},
    };
    dir.write("bin/RomWrite", "#!/bin/sh\n");
    s.startDirectory = dir.str();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        processes.started.clear();
        processes.modules = c.modules;
        processes.startWorks = c.startWorks;
        s.recipe.recipeLoaded = c.loaded;
        const std::string field = inDir(c.romwritePath);
        s.recipe.ROMWRITE_PATH = field;

        EXPECT_EQ(openWriter(s, processes), c.result);

        EXPECT_EQ(ui.boxes, std::string(c.box).empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box});
        EXPECT_EQ(processes.started, std::string(c.started).empty() ? std::vector<std::string>{}
                                                                    : std::vector<std::string>{inDir(c.started)});
        // The loaded recipe is not rewritten by a menu command.
        EXPECT_EQ(s.recipe.ROMWRITE_PATH, field);
    }
}

// The box names the path as the recipe wrote it; the message pane names where it was looked for.
TEST_F(OpenWriterFixture, MissingWriterIsAlsoNamedInTheMessagePane) {
    s.startDirectory = dir.str();
    s.recipe.recipeLoaded = true;
    s.recipe.ROMWRITE_PATH = "tools\\RomWrite";

    EXPECT_EQ(openWriter(s, processes), OpenWriterResult::NotFound);

    EXPECT_EQ(ui.messages,
              std::vector<std::string>{inDir("Ini Error: does not exist. ROMWRITE_PATH=\"{dir}/tools/RomWrite\".")});
}

}  // namespace
}  // namespace station
