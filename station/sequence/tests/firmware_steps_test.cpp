// The firmware steps on the virtual controller with a stand-in for the writers: the checksum,
// the decision to write, the hand-over of the controller, how a writer's end becomes
// firmwareFlags and messages, and the reconnect after the controller's re-enumeration; then the
// codes the sequence gives them in a whole check.
#include "station/sequence/firmware_steps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "run_control_rig.h"
#include "station/recipe/hex_checksum.h"
#include "station/sequence/station_runners.h"

namespace station::test {
namespace {

const std::string kImage = kExampleFolder + "/fw_r6_0A52_0103.hex";

std::uint16_t imageChecksum(const std::string& path) {
    std::uint16_t sum = 0;
    EXPECT_TRUE(computeHexChecksum(path, sum));
    return sum;
}

platform::ChildEnd exitedWith(int code) {
    platform::ChildEnd e;
    e.started = true;
    e.exited = true;
    e.exitCode = code;
    return e;
}
platform::ChildEnd killedBy(int signal) {
    platform::ChildEnd e;
    e.started = true;
    e.signal = signal;
    return e;
}
platform::ChildEnd notStarted(int error) {
    platform::ChildEnd e;
    e.startError = error;
    e.startFailure = platform::Failure::fromErrno("/opt/writer dir/romwrite", error, "cannot start");
    return e;
}
platform::ChildEnd waitFailed(int error) {
    platform::ChildEnd e;
    e.started = true;
    e.waitError = error;
    return e;
}

// Stands in for the writers: records what it was asked to run and what the station held
// meanwhile, does what the test says to the device, and ends as told.
class FakeLauncher final : public ChildLauncher {
public:
    explicit FakeLauncher(Station& s) : s_(s) {}
    platform::ChildEnd run(const std::vector<std::string>& argv, const std::string& workDir) override {
        calls.push_back(argv);
        dirs.push_back(workDir);
        heldDuringRun = s_.touch.isOpen() || s_.pen.isOpen();
        stateDuringRun = s_.state;
        if (whileRunning) whileRunning();
        return end;
    }
    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> dirs;
    bool heldDuringRun = true;
    StationState stateDuringRun = StationState::Ready;
    std::function<void()> whileRunning;
    platform::ChildEnd end = exitedWith(0);

private:
    Station& s_;
};

struct FirmwareRig {
    FirmwareRig() {
        rig.loadExample("PID0A52.ini");
        RecipeSettings& r = rig.s().recipe;
        r.WRITE_FW = 1;
        r.HEX_FILE = kImage;
        r.CHECKSUM = imageChecksum(kImage);
        r.ROMWRITE_PATH = "/opt/writer dir/romwrite";
        r.RL78PROG_PATH = "/opt/rl78/prog";
        r.FWVER_MAJOR = 0x0120;
        r.FWVER_MINOR = 0x03;
        rig.s().startDirectory = "/station folder";
        rig.s().check.running = true;  // as a check's start leaves it
        // As a tick leaves it: the controller open in maintenance mode, with its pen.
        EXPECT_TRUE(connectTouchAndShow(rig.s()));
        connectPenAndKeep(rig.s());
        rig.ui.messages.clear();
    }
    // The controller leaves for its bootloader and comes back after `ms` on the bus clock, as a
    // write makes it.
    void reenumerates(std::uint32_t ms) {
        launcher.whileRunning = [this, ms] { rig.bus.reenumerate(*rig.device, ms); };
    }
    Station& s() { return rig.s(); }
    std::int32_t flags() { return rig.s().check.detail.firmwareFlags; }

    Rig rig;
    FakeLauncher launcher{rig.s()};
    FirmwareSteps steps{rig.s(), launcher};
};

TEST(FirmwareSteps, TheWriterEndsAsFlagsAndMessages) {
    using Messages = std::vector<std::string>;
    struct Case {
        const char* name;
        platform::ChildEnd end;
        std::int32_t flags;
        std::int32_t exitCode;
        Messages messages;
    };
    const Case cases[] = {
        {"written", exitedWith(0), 0, 0, {"Write F/W..."}},
        {"exit 0x15", exitedWith(0x15), 2, 0x15, {"Write F/W...", "Failed to write F/W. (Error Code: 0x15)"}},
        {"exit 255 (-1 in the writer)",
         exitedWith(255),
         2,
         255,
         {"Write F/W...", "Failed to write F/W. (Error Code: 0xFF)"}},
        {"path missing",
         notStarted(ENOENT),
         2,
         0,
         {"Write F/W...", "Failed to open RomWrite (Error code: 0x0002)",
          "cannot start /opt/writer dir/romwrite: No such file or directory"}},
        {"not executable",
         notStarted(EACCES),
         2,
         0,
         {"Write F/W...", "Failed to open RomWrite (Error code: 0x000D)",
          "cannot start /opt/writer dir/romwrite: Permission denied"}},
        {"killed",
         killedBy(SIGKILL),
         2,
         128 + SIGKILL,
         {"Write F/W...", "Failed to write F/W. (Error Code: 0x89)",
          "(/opt/writer dir/romwrite was ended by signal 9: Killed)"}},
        {"wait failed", waitFailed(ECHILD), 2, 0, {"Write F/W...", "Failed to wait process (Error code: 0x000A)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig f;
        f.launcher.end = c.end;
        if (c.flags == 0) f.reenumerates(2500);
        ASSERT_TRUE(f.steps.writeFirmware());
        EXPECT_EQ(f.flags(), c.flags);
        EXPECT_EQ(f.s().check.firmware.writerExitCode, c.exitCode);
        EXPECT_TRUE(f.s().check.firmware.writerStarted);
        EXPECT_EQ(f.rig.ui.messages, c.messages);
        // One run, as one argument list (the path with its space whole), in the station's folder,
        // with the controller handed over and the panel showing the write.
        ASSERT_EQ(f.launcher.calls.size(), 1U);
        EXPECT_EQ(f.launcher.calls[0], (std::vector<std::string>{"/opt/writer dir/romwrite", "_tmp.hex", "-f1"}));
        EXPECT_EQ(f.launcher.dirs[0], "/station folder");
        EXPECT_FALSE(f.launcher.heldDuringRun);
        EXPECT_EQ(f.launcher.stateDuringRun, StationState::Writing);
        // Written or not, the controller is open again for the sequence when it is there.
        EXPECT_TRUE(f.s().touch.isOpen());
        EXPECT_EQ(f.s().check.detail.comFlags & kComTouchUnusable, 0);
    }
}

TEST(FirmwareSteps, TheDecisionToWrite) {
    struct Case {
        const char* name;
        std::function<void(RecipeSettings&)> recipe;
        std::int32_t flags;
        bool writes;
        bool canRun = true;
        std::uint16_t checksum = 0;
        const char* message = nullptr;
    };
    const Case cases[] = {
        {"always without the comparison", [](RecipeSettings&) {}, 0, true},
        {"skipped when the device runs the expected firmware", [](RecipeSettings& r) { r.WRITE_COMPARE_FWVER = 1; }, 0,
         false},
        {"written when the version differs, the difference forgotten",
         [](RecipeSettings& r) { r.WRITE_COMPARE_FWVER = 1, r.FWVER_MINOR = 0x04; }, 0, true},
        {"written when the product id differs", [](RecipeSettings& r) { r.WRITE_COMPARE_FWVER = 1, r.PID = 0x0A53; }, 0,
         true},
        {"checksum differs", [](RecipeSettings& r) { r.CHECKSUM = 0x1234; }, 1, false},
        // The image went away after the recipe was read: an empty image's sum.
        {"image vanished", [](RecipeSettings& r) { r.HEX_FILE = kExampleFolder + "/gone.hex"; }, 1, false, true,
         0xFE00},
        {"image broken", [](RecipeSettings& r) { r.HEX_FILE = kExampleFolder + "/PID0A52.ini"; }, 0, false, false, 0,
         "Failed to calculate checksum."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig f;
        c.recipe(f.s().recipe);
        f.reenumerates(1500);
        EXPECT_EQ(f.steps.writeFirmware(), c.canRun);
        EXPECT_EQ(f.flags(), c.flags);
        EXPECT_EQ(f.launcher.calls.size(), c.writes ? 1U : 0U);
        EXPECT_EQ(f.s().check.firmware.writerStarted, c.writes);
        if (c.checksum != 0) {
            EXPECT_EQ(f.s().check.firmware.hexChecksum, c.checksum);
        }
        if (c.message != nullptr) {
            EXPECT_TRUE(f.rig.ui.saw(c.message)) << testing::PrintToString(f.rig.ui.messages);
        }
        EXPECT_EQ(f.rig.ui.saw("Write F/W..."), c.writes);
        // A skip reconnects as a write does.
        if (c.canRun && c.flags == 0) {
            EXPECT_TRUE(f.s().touch.isOpen());
        }
    }
}

TEST(FirmwareSteps, ADeviceThatNeverComesBackIsLeftToTheComStep) {
    FirmwareRig f;
    f.launcher.whileRunning = [&f] { f.rig.bus.unplug(f.rig.deviceId); };
    const std::uint64_t before = f.rig.clock.monotonicMs();
    ASSERT_TRUE(f.steps.writeFirmware());
    EXPECT_EQ(f.flags(), 0);
    EXPECT_TRUE(f.rig.ui.saw("Failed to connect device after write FW."));
    EXPECT_NE(f.s().check.detail.comFlags & kComTouchUnusable, 0);
    // The cycles give up after 15 s, not after 15 attempts of their own length.
    EXPECT_LE(f.rig.clock.monotonicMs() - before, 17000U);
}

TEST(FirmwareSteps, TheHsyncProgrammerProgramsTheMcu) {
    struct Case {
        const char* name;
        platform::ChildEnd end;
        std::int32_t flags;
        std::vector<std::string> failure;
    };
    const Case cases[] = {
        {"written", exitedWith(0), 0, {}},
        {"exit 3", exitedWith(3), 3, {"Failed to write HSYNC-MCU F/W. (Error Code: 0x03)"}},
        {"missing", notStarted(ENOENT), 3, {"Failed to open RL78-Programmer (Error code: 0x0002)"}},
        {"wait failed", waitFailed(EINTR), 3, {"Failed to wait process (Error code: 0x0004)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareRig f;
        f.s().recipe.WRITE_FW = 0;
        f.s().recipe.WRITE_HSYNC_FW = 1;
        f.launcher.end = c.end;
        // The stand-in programs the simulated MCU as the real one would.
        if (c.flags == 0) f.launcher.whileRunning = [&f] { f.rig.device->programHsync(0x0201); };
        ASSERT_TRUE(f.steps.writeHsyncFirmware());
        EXPECT_EQ(f.flags(), c.flags);
        ASSERT_EQ(f.launcher.calls.size(), 1U);
        EXPECT_EQ(f.launcher.calls[0], (std::vector<std::string>{"/opt/rl78/prog", "_tmpRL78.hex", "-auto", "-reset"}));
        EXPECT_FALSE(f.launcher.heldDuringRun);
        ASSERT_FALSE(f.rig.ui.messages.empty());
        EXPECT_EQ(f.rig.ui.messages[0], "Write HSYNC-MCU F/W...");
        for (const std::string& line : c.failure) EXPECT_TRUE(f.rig.ui.saw(line)) << line;
        EXPECT_TRUE(f.s().touch.isOpen());
        if (c.flags == 0) {
            EXPECT_TRUE(f.s().pen.isOpen());
            EXPECT_EQ(f.rig.device->config().hsyncVersion, 0x0201);
        }
    }
}

// A whole check through the run control: the firmware steps' outcomes as the sequence's codes.
TEST(FirmwareSteps, OutcomesBecomeTheSequencesCodes) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("vfw_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string writer = (folder / "romwrite").string();
    std::ofstream(writer) << "";
    const std::string recipe = (folder / "fw.ini").string();
    auto withKeys = [&](const std::string& keys) {
        std::ifstream in(kExampleFolder + "/PID0A52.ini");
        std::string text((std::istreambuf_iterator<char>(in)), {});
        // The keys go into [SETTING], before the tables.
        const std::size_t at = text.find("[XLUT]");
        text.insert(at == std::string::npos ? text.size() : at, keys);
        std::ofstream(recipe) << text;
    };
    char sum[8];
    std::snprintf(sum, sizeof sum, "0x%04X", imageChecksum(kImage));
    const std::string fwKeys = "WRITE_FW=1\nHEX_FILE=fw_r6_0A52_0103.hex\nCHECKSUM=" + std::string(sum) +
                               "\nROMWRITE_PATH=" + writer +
                               "\nCOMPARE_FWVER=1\nFWVER_MAJOR=0x0120\nFWVER_MINOR=0x03\n";

    struct Case {
        const char* name;
        std::string keys;
        platform::ChildEnd end;
        std::function<void(RunRig&)> beforeCheck;
        bool unplugged;
        const char* code;
        const char* line;
    };
    const Case cases[] = {
        {"written", fwKeys, exitedWith(0), {}, false, "    ", "Write F/W ... OK"},
        {"skipped",
         fwKeys + "WRITE_COMPARE_FWVER=1\n",
         exitedWith(0),
         {},
         false,
         "    ",
         "Write F/W ... Skip (the same FW version)"},
        {"writer failed", fwKeys, exitedWith(0x15), {}, false, "E600", "Write F/W ... NG (RomWrite)"},
        {"writer missing", fwKeys, notStarted(ENOENT), {}, false, "E600", "Write F/W ... NG (RomWrite)"},
        {"image vanished", fwKeys, exitedWith(0),
         [](RunRig& r) { r.s().recipe.HEX_FILE = kExampleFolder + "/gone.hex"; }, false, "E604",
         "Write F/W ... NG (CheckSum)"},
        {"never back", fwKeys, exitedWith(0), {}, true, "E610", "COM Open ... NG"},
        {"Hsync failed",
         "WRITE_HSYNC_FW=1\nHSYNC_HEX_FILE=fw_r6_0A52_0103.hex\nRL78PROG_PATH=" + writer + "\n",
         exitedWith(3),
         {},
         false,
         "E692",
         "Write Hsync F/W ... NG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        withKeys(c.keys);
        RunRig rig;
        FakeLauncher launcher(rig.s());
        launcher.end = c.end;
        launcher.whileRunning = [&rig, &c] {
            // A writer that ran leaves the bootloader: the controller comes back (or not).
            if (c.unplugged)
                rig.bus.unplug(rig.deviceId);
            else if (c.end.exited && c.end.exitCode == 0)
                rig.bus.reenumerate(*rig.device, 1200);
        };
        StationRunners runners(rig.s(), launcher);
        rig.s().runners = &runners;
        rig.startWith(recipe);
        rig.control.onStartRetry();
        if (c.beforeCheck) c.beforeCheck(rig);
        for (int i = 0; i < 3 && rig.control.checksEnded() == 0; ++i) rig.tick();
        ASSERT_EQ(rig.logs.rows.size(), 1U) << testing::PrintToString(rig.ui.messages);
        EXPECT_EQ(rig.logs.rows[0].colCode, c.code);
        EXPECT_TRUE(rig.ui.saw(c.line)) << testing::PrintToString(rig.ui.messages);
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace station::test
