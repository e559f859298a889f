// The operator and the external switch dialog: the controller tells the dialog's looks from the
// station's ordinary connect, and the operator of the passing example presses the switch when it
// sees them. Driven by the station's own connect and switch check on the in-process bus.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "hidlink/socket_backend.h"
#include "sim/controller_scenario.h"
#include "sim/scenario.h"
#include "sim/sim_server.h"
#include "sim/tests/live_input_fixture.h"
#include "sim/tests/test_support.h"
#include "station/sequence/connect.h"
#include "station/sequence/switch_check.h"
#include "station/sequence/tests/sequence_rig.h"

namespace {

using station::test::Rig;

sim::ControllerConfig withOperator(const std::vector<std::string>& lines, std::uint16_t touchUsage = 0x11) {
    sim::ControllerConfig c = station::test::quietController();
    c.touchUsage = touchUsage;
    c.operatorScript = simtest::operatorScript(lines);
    return c;
}

sim::ControllerConfig exampleConfig(const std::string& name) {
    std::string text, error;
    EXPECT_TRUE(sim::readScenarioFile(std::string(VORLICK_SOURCE_DIR) + "/examples/sim/" + name, text, error)) << error;
    const auto sections = sim::parseScenario(text, name, error);
    EXPECT_TRUE(sections && sections->size() == 1) << error;
    sim::ControllerConfig c = station::test::quietController();
    if (sections) {
        EXPECT_TRUE(sim::controllerConfigFromSection(sections->front(), c, error)) << error;
    }
    return c;
}

TEST(ExtSwitchProbe, ComesWithTheDialogsLooksAndNotWithTheOrdinaryConnect) {
    struct Case {
        const char* name;
        sim::ControllerConfig config;
        // 200 ms apart: "connect" (the connect before a check, with the maintenance set-up),
        // "tick" (the run control's connect while the collection is open), "look" (one look of
        // the external switch dialog).
        std::vector<std::string> steps;
        int leftAfter;            // the step (from 1) after which the operator's switch took the device; 0 never
        bool overSocket = false;  // the station reaches the bus through the simulator's socket
    };
    const Case cases[] = {
        {"the dialog's second look", withOperator({"when ext-switch-probe: switch"}), {"connect", "look", "look"}, 3},
        {"counted: the third time comes with the fourth look",
         withOperator({"when ext-switch-probe 3: switch"}),
         {"connect", "look", "look", "look", "look", "look"},
         5},
        {"through the simulator's socket",
         withOperator({"when ext-switch-probe: switch"}),
         {"connect", "look", "look"},
         3,
         true},
        {"driver mode", withOperator({"when ext-switch-probe: switch"}, 0x0B), {"connect", "look", "look"}, 3},
        {"connects and ticks of an ordinary run",
         withOperator({"when ext-switch-probe: switch"}),
         {"connect", "tick", "tick", "connect", "connect", "tick", "connect"},
         0},
        {"one look between connects",
         withOperator({"when ext-switch-probe: switch"}),
         {"connect", "look", "tick", "connect"},
         0},
        {"looks in normal mode: no dialog opens there",
         withOperator({"when ext-switch-probe: switch"}),
         {"look", "look", "look"},
         0},
        {"a rule asking for another state",
         withOperator({"when ext-switch-probe if not maintenance-mode: switch"}),
         {"connect", "look", "look", "look"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.config);
        simtest::TempDir dir;
        sim::SimServer server(rig.bus);
        std::unique_ptr<hidlink::Backend> socketBackend;
        std::unique_ptr<hidlink::DeviceTable> socketTable;
        struct StationFirst {  // the station goes before the table it uses
            Rig& rig;
            ~StationFirst() { rig.station.reset(); }
        } stationFirst{rig};
        if (c.overSocket) {
            std::string error;
            ASSERT_TRUE(server.start(dir.file("s.sock"), error)) << error;
            socketBackend = hidlink::connectSocketBackend(dir.file("s.sock"), error);
            ASSERT_TRUE(socketBackend) << error;
            socketTable = std::make_unique<hidlink::DeviceTable>(*socketBackend);
            rig.station = std::make_unique<station::Station>(*socketTable, rig.clock, rig.ui);
            rig.station->automatic = &rig.checks;
        }
        rig.loadExample("PID0A52.ini");
        int leftAfter = 0;
        for (std::size_t i = 0; i < c.steps.size() && leftAfter == 0; ++i) {
            rig.clock.advance(200);
            const std::string& step = c.steps[i];
            if (step == "connect") {
                ASSERT_TRUE(station::connectTouchAndShow(rig.s())) << ::testing::PrintToString(rig.ui.messages);
            } else if (step == "tick") {
                ASSERT_EQ(station::connectTouch(rig.s()), station::ConnectResult::StillPresent);
            } else {
                ASSERT_EQ(station::probeTouch(rig.s()), station::ConnectResult::Opened);
            }
            rig.clock.advance(10);
            rig.bus.advance();  // the operator's press comes with the next scan
            if (!rig.bus.present(rig.deviceId)) leftAfter = static_cast<int>(i + 1);
        }
        EXPECT_EQ(leftAfter, c.leftAfter);
        EXPECT_EQ(rig.device->resets(), leftAfter != 0 ? 1u : 0u) << "nothing else reset it";
    }
}

TEST(ExtSwitchProbe, TheExampleOperatorsAnswerTheExternalSwitchCheck) {
    struct Case {
        const char* scenario;
        std::int32_t flags;     // extSwitchFlags: 0 passed, 1 no reset seen
        std::uint32_t resets;   // switch presses
        bool backInNormalMode;  // when the dialog saw the device return
    };
    const Case cases[] = {
        {"r6-operator-pass.scenario", 0, 1, true},
        {"r6-operator-idle.scenario", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        Rig rig(exampleConfig(c.scenario));
        rig.loadExample("PID0A52.ini");
        ASSERT_TRUE(station::connectTouchAndShow(rig.s()));
        ASSERT_TRUE(station::connectPenAndKeep(rig.s()));
        bool gone = false, backInNormalMode = false;
        // The dialog's timer: a look every 200 ms, for at most 10 s.
        rig.ui.switchOperator = [&](const std::function<bool()>& step) {
            for (int look = 0; look < 50; ++look) {
                rig.clock.advance(200);
                const bool closes = step();
                gone = gone || !rig.bus.present(rig.deviceId);
                if (closes) {
                    backInNormalMode = rig.device->mode() == 0;
                    return true;
                }
            }
            return false;
        };
        station::StationReconnect reconnect(rig.s());
        station::ExternalSwitchCheck check(reconnect);
        station::CheckContext context = rig.s().checkContext();
        EXPECT_TRUE(check.run(context).ran);
        EXPECT_EQ(rig.s().check.detail.extSwitchFlags, c.flags);
        EXPECT_EQ(rig.device->resets(), c.resets);
        EXPECT_EQ(gone, c.resets != 0) << "the dialog saw the device leave";
        EXPECT_EQ(backInNormalMode, c.backInNormalMode);
        EXPECT_TRUE(rig.ui.messages.empty()) << ::testing::PrintToString(rig.ui.messages);
        std::uint8_t mode = 0;
        EXPECT_TRUE(rig.s().touch.readDeviceMode(mode) && mode == 1) << "opened and set up again after the dialog";
    }
}

}  // namespace
