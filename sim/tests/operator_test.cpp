// The scripted operator: its rules and timeline as a scenario writes them, and what it does to
// a controller when the station acts on it.
#include "sim/operator.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "sim/controller_scenario.h"
#include "sim/scenario.h"
#include "sim/tests/live_input_fixture.h"
#include "sim/virtual_bus.h"

namespace {

using simtest::Bytes;
using simtest::LiveBench;
using simtest::operatorScript;

TEST(OperatorScript, GoodLinesBecomeRulesAndTimeline) {
    sim::OperatorScript s;
    std::string why;
    ASSERT_TRUE(
        sim::parseOperatorLine("when maintenance-report 2 if not pen-maintenance: finger 0.1,0.2 -> 0.9,0.2 "
                               "for 1.5s & pen 0.5,0.5 hover; nothing for 200ms; switch for 800",
                               7, s, why))
        << why;
    ASSERT_TRUE(sim::parseOperatorLine("at 2s: fingers 10 at 0.5,0.4 for 3000; home-key 300", 8, s, why)) << why;
    ASSERT_TRUE(
        sim::parseOperatorLine("when calibration: tkp 0,0 -> 1,1 -> 1,0 for 4s & pen 0.2,0.8 pressure 1", 9, s, why))
        << why;
    ASSERT_EQ(s.rules.size(), 2u);
    ASSERT_EQ(s.timeline.size(), 1u);

    const sim::OperatorRule& r = s.rules[0];
    EXPECT_EQ(r.line, 7);
    EXPECT_EQ(r.event, sim::OperatorEvent::MaintenanceReport);
    EXPECT_EQ(r.occurrence, 2u);
    EXPECT_EQ(r.condition, sim::OperatorCondition::PenMaintenance);
    EXPECT_TRUE(r.negated);
    ASSERT_EQ(r.actions.size(), 3u);
    ASSERT_EQ(r.actions[0].size(), 2u);
    EXPECT_EQ(r.actions[0][0].kind, sim::ActionKind::Finger);
    EXPECT_EQ(r.actions[0][0].path, (std::vector<sim::PanelPoint>{{0.1, 0.2}, {0.9, 0.2}}));
    EXPECT_EQ(r.actions[0][0].durationMs, 1500u);
    EXPECT_TRUE(r.actions[0][1].hover);
    EXPECT_EQ(r.actions[0][1].durationMs, 1000u) << "the default hold";
    EXPECT_EQ(r.actions[1][0].kind, sim::ActionKind::Nothing);
    EXPECT_EQ(r.actions[2][0].kind, sim::ActionKind::Switch);
    EXPECT_EQ(r.actions[2][0].durationMs, 800u) << "the time the device stays away";
    EXPECT_EQ(sim::actionsDurationMs(r.actions), 1700u) << "a switch press takes none of the operator's time";

    const sim::TimedActions& t = s.timeline[0];
    EXPECT_EQ(t.atMs, 2000u);
    EXPECT_EQ(t.actions[0][0].count, 10u);
    EXPECT_EQ(t.actions[0][0].path, (std::vector<sim::PanelPoint>{{0.5, 0.4}}));
    EXPECT_EQ(t.actions[1][0].rise, 300u);
    EXPECT_EQ(s.rules[1].actions[0][1].pressure, 1.0);
    EXPECT_FALSE(s.rules[1].condition);
}

TEST(OperatorScript, BadLinesSayWhatIsWrong) {
    const struct {
        const char* line;
        const char* why;
    } cases[] = {
        {"finger 0.5,0.5", "expected 'when EVENT"},
        {"when: finger 0.5,0.5", "expected 'when EVENT"},
        {"when sneeze: finger 0.5,0.5", "unknown event 'sneeze'"},
        {"when calibration 0: nothing", "the time it happens"},
        {"when calibration if: nothing", "if needs one state"},
        {"when calibration if not sleepy: nothing", "if needs one state"},
        {"at soon: nothing", "at needs a time"},
        {"at 1: wave 0.5,0.5", "unknown action 'wave'"},
        {"at 1: finger 1.5,0.5", "points X,Y within 0..1"},
        {"at 1: finger 0.5", "points X,Y within 0..1"},
        {"at 1: finger 0.1,0.1 -> ", "points X,Y within 0..1"},
        {"at 1: finger 0.5,0.5 for ever", "for needs a time"},
        {"at 1: finger 0.5,0.5 hover", "'hover' does not fit a finger action"},
        {"at 1: fingers 0", "fingers needs a count of 1 to 20"},
        {"at 1: fingers 21", "fingers needs a count of 1 to 20"},
        {"at 1: pen 0.5,0.5 pressure 2", "pressure needs a fraction"},
        {"at 1: home-key", "home-key needs the level rise"},
        {"at 1: nothing;; nothing", "an action is missing"},
        {"at 1: nothing &", "an action is missing"},
        {"at -5: nothing", "at needs a time"},
    };
    for (const auto& c : cases) {
        sim::OperatorScript s;
        std::string why;
        EXPECT_FALSE(sim::parseOperatorLine(c.line, 1, s, why)) << c.line;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.line << " -> " << why;
        EXPECT_TRUE(s.empty()) << c.line;
    }
}

TEST(OperatorScript, ScenarioSectionsBelongToTheirDeviceAndNameTheLine) {
    platform::VirtualClock clock;
    {
        sim::VirtualBus bus(clock);
        std::string error;
        ASSERT_TRUE(
            sim::loadScenario("[device]\nmodel = controller\n[operator]\n# the person\n"
                              "when maintenance-report: finger 0.5,0.5 for 1s\nat 0: nothing\n",
                              "ok.scenario", bus, clock, error))
            << error;
        auto dev = std::dynamic_pointer_cast<sim::ControllerDevice>(bus.device(0));
        ASSERT_TRUE(dev);
        EXPECT_EQ(dev->config().operatorScript.rules.size(), 1u);
        EXPECT_EQ(dev->config().operatorScript.rules[0].line, 5);
        EXPECT_EQ(dev->config().operatorScript.timeline.size(), 1u);
    }
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[operator]\nat 0: nothing\n[device]\nmodel = controller\n",
         "bad.scenario:1: [operator] belongs to the [device]"},
        {"[device]\nmodel = controller\n[operator]\nat 0: nothing\nwhen sneeze: nothing\n",
         "bad.scenario:5: operator: unknown event 'sneeze'"},
        {"[device]\nmodel = table\ncollection = 0 0xFF11 0x11\n[operator]\nat 0: nothing\n",
         "bad.scenario:5: unknown key 'operator'"},
    };
    for (const auto& c : cases) {
        sim::VirtualBus bus(clock);
        std::string error;
        EXPECT_FALSE(sim::loadScenario(c.text, "bad.scenario", bus, clock, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_TRUE(bus.deviceIds().empty());
    }
}

TEST(Operator, ReactsWhenTheStationSetsTheReportType) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.operatorScript = operatorScript({"when maintenance-report if maintenance-mode: finger 0.5,0.5 for 100"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    const int reader = b.reader(sim::ControllerDevice::kTouchInterface);
    // Not in maintenance mode: the rule's condition keeps the operator still.
    ASSERT_TRUE(b.reportType(1));
    b.run(200);
    EXPECT_TRUE(b.drain(reader).empty());
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.reportType(1));
    b.run(200);
    EXPECT_EQ(b.drain(reader).size(), 10u) << "nine scans touching, one lifting";
    // Every time the station sets it, the operator touches again.
    ASSERT_TRUE(b.reportType(1));
    b.run(200);
    EXPECT_EQ(b.drain(reader).size(), 10u);
}

TEST(Operator, FollowsItsTimelineFromThePlugIn) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.operatorScript = operatorScript({"at 500: pen 0.5,0.5 for 100", "at 1s: pen 0.2,0.2 hover for 50"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({11, 1}, 64)));
    const int reader = b.reader(sim::ControllerDevice::kPenInterface);
    b.run(490);
    EXPECT_TRUE(b.drain(reader).empty());
    b.run(120);
    auto reports = b.drain(reader);
    ASSERT_EQ(reports.size(), 11u);
    EXPECT_EQ(reports.front()[1], 0x21);
    EXPECT_EQ(reports.back()[1], 0x00);
    b.run(500);
    reports = b.drain(reader);
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports.front()[1], 0x20);
}

TEST(Operator, TheExternalSwitchResetsTheControllerWhichLeavesAndReturns) {
    sim::ControllerConfig cfg = LiveBench::quietConfig();
    cfg.operatorScript = operatorScript({"when calibration: switch for 700"});
    LiveBench b(cfg);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.command({9, 0, 0}));
    EXPECT_TRUE(b.bus.present(b.deviceId)) << "the press comes with the next scan";
    const std::uint64_t changes = b.bus.changeCount();
    b.run(10);
    EXPECT_FALSE(b.bus.present(b.deviceId));
    EXPECT_EQ(b.device->mode(), 0) << "the reset ends maintenance mode";
    EXPECT_FALSE(b.set(LiveBench::kTouch, {2, 1})) << "handles of the old enumeration fail";
    b.run(680);
    EXPECT_FALSE(b.bus.present(b.deviceId));
    b.run(20);
    EXPECT_TRUE(b.bus.present(b.deviceId));
    EXPECT_GE(b.bus.changeCount(), changes + 2) << "the host sees it leave and come back";
    // A live press does the same, without any rule.
    b.device->operate({{sim::OperatorAction{sim::ActionKind::Switch, {}, 100}}});
    b.run(10);
    EXPECT_FALSE(b.bus.present(b.deviceId));
    b.run(100);
    EXPECT_TRUE(b.bus.present(b.deviceId));
}

TEST(Operator, FingersKeepTheirIdentifiersAndFreedOnesAreTakenAgain) {
    sim::Operator op(
        operatorScript({"at 0: finger 0.1,0.1 for 100 & finger 0.2,0.2 for 300", "at 200: finger 0.3,0.3 for 200"}));
    op.start(0);
    auto ids = [&](std::uint64_t t) {
        std::vector<unsigned> out;
        for (const auto& f : op.inputAt(t).fingers) out.push_back(f.id);
        return out;
    };
    EXPECT_EQ(ids(50), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(ids(150), (std::vector<unsigned>{2}));
    EXPECT_EQ(ids(250), (std::vector<unsigned>{1, 2})) << "the new finger takes the lowest free identifier";
    EXPECT_EQ(op.inputAt(250).fingers[0].at, (sim::PanelPoint{0.3, 0.3}));
    EXPECT_EQ(ids(350), (std::vector<unsigned>{1}));
    EXPECT_TRUE(op.idle(400));
}

}  // namespace

namespace {

sim::ControllerConfig exampleConfig(const std::string& name) {
    std::string text, error;
    EXPECT_TRUE(sim::readScenarioFile(std::string(VORLICK_SOURCE_DIR) + "/examples/sim/" + name, text, error)) << error;
    const auto sections = sim::parseScenario(text, name, error);
    EXPECT_TRUE(sections && sections->size() == 1) << error;
    sim::ControllerConfig c = LiveBench::quietConfig();
    if (sections) {
        EXPECT_TRUE(sim::controllerConfigFromSection(sections->front(), c, error)) << error;
    }
    return c;
}

// The example operators as their notes describe them: the passing one leaves the home key
// alone, then touches it; keeps the TKP pen away through the noise phase, then draws; the idle
// one does nothing.
TEST(ExampleOperators, PassTouchesWhenTheChecksAskAndIdleNever) {
    for (const char* name : {"r6-operator-pass.scenario", "r6-operator-idle.scenario"}) {
        SCOPED_TRACE(name);
        const bool pass = std::string(name) == "r6-operator-pass.scenario";
        LiveBench b(exampleConfig(name));
        ASSERT_TRUE(b.open());
        const int touch = b.reader(sim::ControllerDevice::kTouchInterface);
        const int pen = b.reader(sim::ControllerDevice::kPenInterface);

        ASSERT_TRUE(b.reportType(2));
        b.run(5000);
        const auto keys = b.drain(touch);
        ASSERT_EQ(keys.size(), 500u);
        auto value = [](const Bytes& r) { return static_cast<unsigned>(r[17] | r[18] << 8); };  // pin 0
        EXPECT_LT(value(keys[240]), 150u) << "untouched while the check measures the key alone";
        EXPECT_EQ(value(keys[300]) > 450u, pass);
        ASSERT_TRUE(b.reportType(1));

        ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({0x10, 0x81, 0x01}, 66)));
        ASSERT_TRUE(b.set(LiveBench::kPen, LiveBench::report({0x10, 0x81, 0xA4}, 66)));
        b.run(4500);
        const auto lines = b.drain(pen);
        auto strongest = [&](std::size_t from, std::size_t to) {
            unsigned top = 0;
            for (std::size_t k = from; k < to && k < lines.size(); ++k)
                for (std::size_t j = 0; j < (lines[k][3] & 0x1Fu); ++j)
                    top = std::max(top, static_cast<unsigned>(lines[k][4 + 2 * j] | lines[k][5 + 2 * j] << 8));
            return top;
        };
        EXPECT_LT(strongest(0, 7 * 110), 200u) << "no pen through the noise phase";
        EXPECT_EQ(strongest(7 * 130, lines.size()) > 2000u, pass);
        // The pass operator ends the check with a touch a while after the diagonal is drawn.
        b.run(3000);
        EXPECT_EQ(b.drain(touch).empty(), !pass);
    }
}

}  // namespace
