// `vorlick-sim ctl operator`: one action performed live, over the control channel.
#include <gtest/gtest.h>

#include <fstream>

#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/sim_control.h"
#include "sim/sim_server.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kSim = simtest::binary("sim/vorlick-sim");

TEST(OperatorControl, TheServerHandsActionsToTheControllersOperator) {
    simtest::TempDir dir;
    platform::VirtualClock clock;
    sim::VirtualBus bus(clock);
    const int controller = bus.addDevice(std::make_shared<sim::ControllerDevice>(sim::ControllerConfig{}));
    const int table = bus.addDevice(std::make_shared<sim::TableDevice>(
        sim::UsbIdentity{0x1234, 1, 1},
        std::vector<std::vector<sim::CollectionSpec>>{sim::r6MaintenanceCollections()}));
    sim::SimServer server(bus);
    std::string error;
    ASSERT_TRUE(server.start(dir.file("s.sock"), error)) << error;
    sim::SimControl ctl(dir.file("s.sock"), 2000);
    bus.advance();

    ASSERT_TRUE(ctl.operate(static_cast<std::uint32_t>(controller), "switch for 300")) << ctl.error();
    clock.advance(10);
    bus.advance();
    EXPECT_FALSE(bus.present(controller)) << "the switch reset the controller";
    clock.advance(300);
    EXPECT_TRUE(bus.present(controller));

    const struct {
        std::uint32_t device;
        const char* actions;
        const char* error;
    } refused[] = {
        {static_cast<std::uint32_t>(controller), "wave 0.5,0.5", "operator: unknown action 'wave'"},
        {static_cast<std::uint32_t>(table), "nothing", "device 1 has no operator"},
        {7, "nothing", "no simulated device 7"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(ctl.operate(r.device, r.actions)) << r.actions;
        EXPECT_NE(ctl.error().find(r.error), std::string::npos) << ctl.error();
    }
    bus.unplug(controller);
    EXPECT_FALSE(ctl.operate(static_cast<std::uint32_t>(controller), "nothing"));
    EXPECT_NE(ctl.error().find("is not on the bus"), std::string::npos) << ctl.error();
    // The channel stays usable for the shared requests after the simulator's own.
    std::vector<hidlink::simwire::DeviceState> devices;
    EXPECT_TRUE(ctl.list(devices)) << ctl.error();
    EXPECT_EQ(devices.size(), 2u);
}

// The real simulator on real time: a finger put down with `ctl operator` reaches a reader of
// the touch collection as maintenance touch reports.
TEST(OperatorControl, CtlOperatorTouchesThePanelOfARunningSimulator) {
    simtest::TempDir dir;
    const std::string scenario = dir.file("r6.scenario");
    std::ofstream(scenario) << "[device]\nmodel = controller\n";
    const std::string socket = dir.file("sim.sock");
    simtest::Child sim({kSim, "--socket", socket, "--scenario", scenario});
    ASSERT_EQ(sim.firstLine(10000), socket);

    std::string error;
    auto backend = hidlink::connectSocketBackend(socket, error, 2000, platform::systemClock());
    ASSERT_TRUE(backend) << error;
    std::vector<hidlink::CollectionDesc> all;
    ASSERT_TRUE(backend->enumerate(all, 100));
    ASSERT_FALSE(all.empty());
    auto feature = backend->open(all.front(), hidlink::OpenMode::Feature);
    auto input = backend->open(all.front(), hidlink::OpenMode::ReadOnly);
    ASSERT_TRUE(feature && input) << backend->lastError();
    Bytes type(64, 0);
    type[0] = 3;
    type[1] = 1;
    ASSERT_TRUE(feature->setFeature(type));

    auto ctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {kSim, "ctl", "--socket", socket, "operator"});
        return simtest::run(args);
    };
    const auto r = ctl({"0", "finger", "0.5,0.5", "for", "5s"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Bytes report(64, 0);
    const hidlink::ReadResult got = input->readInput(report, 5000);
    ASSERT_EQ(got.status, hidlink::ReadStatus::Ok);
    EXPECT_EQ(report[0], 3);
    EXPECT_EQ(report[2], 1) << "one contact";
    EXPECT_EQ(report[4], 1) << "its identifier";

    const auto bad = ctl({"0", "finger", "2,2"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("points X,Y within 0..1"), std::string::npos) << bad.err;
    const auto none = ctl({"3", "nothing"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no simulated device 3"), std::string::npos) << none.err;
}

}  // namespace
