#pragma once
// A station on an in-process bus with one virtual controller, on a virtual clock, with a
// recording front end and stand-ins for the steps other parts of the station carry out.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/recipe/recipe_loader.h"
#include "station/sequence/check_sequence.h"
#include "station/sequence/connect.h"
#include "station/sequence/station_state.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station::test {

inline sim::ControllerConfig quietController(sim::Generation gen = sim::Generation::R6) {
    sim::ControllerConfig c;
    c.generation = gen;
    c.panel.noiseSigma = 0.0;
    return c;
}

// The automatic steps as the sequence sees them: each call is logged and answers the report
// the test gave it (a pass by default: the tests that use it decide what the device showed).
class ScriptedChecks final : public AutomaticChecks {
public:
    void readHsyncInfo(CheckContext& s) override {
        calls.push_back("hsyncInfo");
        s.texts.hsyncPid = "0x0A31";
    }
    StepOutcome hsyncChecks(CheckContext& s) override {
        calls.push_back("hsync");
        s.record.detail.hsyncFlags = hsyncFlags;
        return hsync;
    }
    StepOutcome prepareAndRead(CheckContext&) override {
        calls.push_back("read");
        return read;
    }
    StepOutcome shortCheck(CheckContext& s) override {
        calls.push_back("short");
        s.record.detail.shortTotal = shortTotal;
        return shortReport;
    }
    StepOutcome rawJudgement(CheckContext& s) override {
        calls.push_back("raw");
        s.record.detail.rawTotal = rawTotal;
        return raw;
    }

    std::vector<std::string> calls;
    StepOutcome hsync, read, shortReport, raw;
    std::int32_t hsyncFlags = 0, shortTotal = 0, rawTotal = 0;
};

// Later checks: each provided check writes the flags the test gives it.
class ScriptedRunners final : public CheckRunners {
public:
    bool provides(RunnerCheck) const override { return true; }
    RunnerOutcome run(RunnerCheck check, CheckContext& s) override {
        ran.push_back(check);
        switch (check) {
            case RunnerCheck::ExternalSwitch:
                s.record.detail.extSwitchFlags = extSwitchFlags;
                break;
            case RunnerCheck::Drawing:
                s.record.detail.drawResult = drawResult;
                break;
            case RunnerCheck::HomeKey:
                s.record.detail.homeKeyFlags = homeKeyFlags;
                break;
            case RunnerCheck::Tkp:
                s.record.detail.tkpFlags = tkpFlags;
                break;
            case RunnerCheck::Scan:
                s.record.detail.scanFlags = scanResults.empty() ? 0 : scanResults[scanIndex++ % scanResults.size()];
                break;
            default:
                break;
        }
        if (check == cannotRun && cannotRunSet) return {false, {}};
        return {true, {}};
    }
    std::vector<RunnerCheck> ran;
    RunnerCheck cannotRun = RunnerCheck::PostProcess;
    bool cannotRunSet = false;
    std::int32_t extSwitchFlags = 0, drawResult = 0, homeKeyFlags = 0, tkpFlags = 0;
    std::vector<std::int32_t> scanResults;
    std::size_t scanIndex = 0;
};

struct Rig {
    explicit Rig(sim::ControllerConfig config = quietController())
        : device(std::make_shared<sim::ControllerDevice>(std::move(config))) {
        deviceId = bus.addDevice(device);
        station->automatic = &checks;
    }
    // Loads an example recipe of the station folder.
    void loadExample(const std::string& name) {
        const std::string folder = std::string(VORLICK_SOURCE_DIR) + "/examples/station";
        const RecipeEnvironment env{folder, firmwareImageChecksum, {}};
        const RecipeReport report = LoadRecipe(station->recipe, folder + "/" + name, env);
        ASSERT_TRUE(report.loaded) << ::testing::PrintToString(report.messages);
        ui.messages.clear();
    }
    // A check as the run control runs it without firmware writing; `afterBegin` stands for what
    // the run control finds between the start and the sequence (serial number, firmware steps).
    bool check(const std::function<void(Station&)>& afterBegin = {}) {
        if (!beginCheck(*station, false)) return false;
        if (afterBegin) afterBegin(*station);
        connectTouchAndShow(*station);  // a failure shows as the COM error of the sequence
        connectPenAndKeep(*station);
        const bool verdict = runCheckSequence(*station);
        if (verdict)
            finishCheck(*station);
        else
            endWithoutVerdict(*station);
        return verdict;
    }
    Station& s() { return *station; }
    RunRecord& row() { return station->check.row; }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    ScriptedChecks checks;
    std::unique_ptr<Station> station = std::make_unique<Station>(table, clock, ui);
    std::shared_ptr<sim::ControllerDevice> device;
    int deviceId = 0;
};

}  // namespace station::test
