// The run control waiting for a controller among other devices: with hotplug events it
// enumerates only after one and sees a plug on the next tick; without them it enumerates on
// every tick, as it always did.
#include <gtest/gtest.h>

#include "hidlink/tests/counting_backend.h"
#include "run_control_rig.h"

namespace station::test {
namespace {

using hidlink::testing::CountingBackend;

struct HotplugRig {
    explicit HotplugRig(CountingBackend::Monitor monitor) : backend(bus, monitor) {
        deviceId = bus.addDevice(device);
        station.automatic = &checks;
        station.logs = &logs;
        control.setRecipeTrace({});
    }
    void tick() {
        clock.advance(100);
        control.onTick();
    }
    // Ticks `n` times; the enumerations they cost.
    int enumerationsOver(int n) {
        const int before = backend.enumerations;
        for (int i = 0; i < n; ++i) tick();
        return backend.enumerations - before;
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    std::shared_ptr<sim::ControllerDevice> device = std::make_shared<sim::ControllerDevice>(quietController());
    int deviceId = 0;
    CountingBackend backend;
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    ScriptedChecks checks;
    RecordingLogs logs;
    Station station{table, clock, ui};
    RunControl control{station};
};

TEST(RunControlHotplug, EnumeratesOnlyAfterAnEventAndSeesAPlugOnTheNextTick) {
    struct Case {
        const char* name;
        CountingBackend::Monitor monitor;
        bool follows;
        int perIdleTick;       // unplugged, waiting
        int perConnectedTick;  // the touch collection reopened
    };
    const Case cases[] = {
        {"hotplug events", CountingBackend::Monitor::Bus, true, 0, 0},
        {"no monitor: polling", CountingBackend::Monitor::None, false, 1, 2},
        {"monitor lost: polling", CountingBackend::Monitor::Lost, true, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HotplugRig rig(c.monitor);
        for (int n = 0; n < 49; ++n) {
            sim::ControllerConfig other;
            other.vendorId = 0x1234;
            other.productId = static_cast<std::uint16_t>(0x100 + n);
            rig.bus.addDevice(std::make_shared<sim::ControllerDevice>(other));
        }
        EXPECT_EQ(rig.table.followHotplug(rig.clock), c.follows);
        rig.bus.unplug(rig.deviceId);
        rig.control.startUp(kExampleFolder, "PID0A52.ini");
        ASSERT_TRUE(rig.station.recipe.recipeLoaded);
        rig.tick();  // the first look lists what is there
        ASSERT_FALSE(rig.station.touch.isOpen());

        EXPECT_EQ(rig.enumerationsOver(30), 30 * c.perIdleTick);
        EXPECT_FALSE(rig.station.touch.isOpen());

        rig.bus.replug(rig.deviceId);
        rig.tick();
        EXPECT_TRUE(rig.station.touch.isOpen()) << "the plug is seen on the next tick";
        EXPECT_EQ(rig.enumerationsOver(10), 10 * c.perConnectedTick);
        EXPECT_TRUE(rig.station.touch.isOpen());

        rig.bus.unplug(rig.deviceId);
        rig.tick();
        EXPECT_FALSE(rig.station.touch.isOpen()) << "the removal is seen on the next tick";
    }
}

}  // namespace
}  // namespace station::test
