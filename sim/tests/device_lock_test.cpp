// One program per controller on the simulated bus: two programs are two backends, each with its
// own device table, on one in-process bus or one simulator server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include "controllerlink/vendor_ids.h"
#include "hidlink/device_table.h"
#include "hidlink/sim_protocol.h"
#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/sim_server.h"
#include "sim/virtual_bus.h"
#include "test_support.h"

namespace {

constexpr std::uint32_t kVid = controllerlink::VID_PRIMARY;
constexpr std::uint32_t kR6 = 0x0A52;
constexpr std::uint32_t kR5 = 0x0952;
constexpr int kTouch = 1;
constexpr int kPen = 2;
constexpr int kCallTimeoutMs = 2000;

sim::ControllerConfig controller(sim::Generation gen) {
    sim::ControllerConfig c;
    c.generation = gen;
    return c;
}

class DeviceLockTest : public ::testing::Test {
protected:
    DeviceLockTest() {
        bus.addDevice(std::make_shared<sim::ControllerDevice>(controller(sim::Generation::R6)));
        bus.addDevice(std::make_shared<sim::ControllerDevice>(controller(sim::Generation::R5)));
        // Both controllers use the same usage page per generation; look it up once.
        std::vector<hidlink::CollectionDesc> all;
        sim::InProcessBackend probe(bus);
        probe.enumerate(all, 100);
        for (const auto& d : all) {
            if (d.identity.productId == kR6) r6Page = d.identity.usagePage;
            if (d.identity.productId == kR5) r5Page = d.identity.usagePage;
        }
    }

    bool open(hidlink::DeviceTable& t, std::uint32_t pid, std::uint32_t usage, int key) {
        return t.openCollection(kVid, pid, pid == kR6 ? r6Page : r5Page, usage, key);
    }

    // Two programs, A first, named `holderOfA` to those it keeps out. Touch and pen of a
    // controller live on two interfaces (two nodes) of one device.
    void runTwoPrograms(hidlink::DeviceTable& a, hidlink::DeviceTable& b, const std::string& holderOfA) {
        ASSERT_TRUE(open(a, kR6, 0x11, kTouch)) << a.backend().lastError();
        ASSERT_TRUE(open(a, kR6, 0x02, kPen)) << a.backend().lastError();

        // Neither collection of the held controller, whichever node it is on.
        EXPECT_FALSE(open(b, kR6, 0x11, kTouch));
        EXPECT_EQ(b.backend().lastError(), "sim:dev0/if0 is in use by " + holderOfA);
        EXPECT_FALSE(open(b, kR6, 0x02, kPen));
        EXPECT_EQ(b.backend().lastError(), "sim:dev0/if1 is in use by " + holderOfA);
        EXPECT_EQ(b.size(), 0u);

        // Another controller on the same bus is free.
        ASSERT_TRUE(open(b, kR5, 0x11, kTouch)) << b.backend().lastError();
        EXPECT_FALSE(open(a, kR5, 0x11, 7));

        // Held while any collection of it stays open; free with the last one.
        ASSERT_TRUE(a.closeCollection(kTouch));
        EXPECT_FALSE(open(b, kR6, 0x11, kPen));
        ASSERT_TRUE(a.closeCollection(kPen));
        // A collection's input connection ends by shutting its socket (that is what wakes a
        // read in progress); a simulator notices that on its own thread.
        ASSERT_TRUE(released([&] { return open(b, kR6, 0x11, kPen); })) << b.backend().lastError();
        // A's own reopen is now refused in turn.
        EXPECT_FALSE(open(a, kR6, 0x11, kTouch));
    }

    // In-process the release is immediate; through a socket it may take the server a moment.
    virtual bool released(const std::function<bool()>& what) { return what(); }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    std::uint32_t r6Page = 0;
    std::uint32_t r5Page = 0;
};

TEST_F(DeviceLockTest, InProcessProgramsShareNoController) {
    sim::InProcessBackend stationBackend(bus, "VorlickR6X (pid 100)");
    sim::InProcessBackend diagBackend(bus, "vorlick-diag (pid 200)");
    hidlink::DeviceTable station(stationBackend);
    hidlink::DeviceTable diag(diagBackend);
    runTwoPrograms(station, diag, "VorlickR6X (pid 100)");
}

TEST_F(DeviceLockTest, OneProgramOpensItsControllerAsOftenAsItLikes) {
    sim::InProcessBackend backend(bus);
    hidlink::DeviceTable table(backend);
    ASSERT_TRUE(open(table, kR6, 0x11, kTouch));
    ASSERT_TRUE(open(table, kR6, 0x11, 5));  // the same collection under a second key
    ASSERT_TRUE(open(table, kR6, 0x02, kPen));
    EXPECT_TRUE(table.closeCollection(5));
    EXPECT_TRUE(table.closeCollection(kTouch));
    EXPECT_TRUE(table.closeCollection(kPen));
}

TEST_F(DeviceLockTest, AHolderNameCannotBreakTheRefusalLine) {
    sim::InProcessBackend a(bus, "evil\nname\x1b[2J");
    sim::InProcessBackend b(bus, "b");
    hidlink::DeviceTable ta(a), tb(b);
    ASSERT_TRUE(open(ta, kR6, 0x11, kTouch));
    EXPECT_FALSE(open(tb, kR6, 0x11, kTouch));
    EXPECT_EQ(tb.backend().lastError(), "sim:dev0/if0 is in use by evil?name?[2J");
}

class ServerLockTest : public DeviceLockTest {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(socket, error)) << error;
    }
    std::unique_ptr<hidlink::Backend> client() {
        std::string error;
        auto b = hidlink::connectSocketBackend(socket, error, kCallTimeoutMs, platform::systemClock());
        EXPECT_TRUE(b) << error;
        return b;
    }
    bool released(const std::function<bool()>& what) override { return eventually(what); }
    // The server notices a departed client on its own thread; give it a bounded while.
    static bool eventually(const std::function<bool()>& what) {
        for (int i = 0; i < 500; ++i) {
            if (what()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return what();
    }

    simtest::TempDir dir;
    std::string socket = dir.file("sim.sock");
    sim::SimServer server{bus};
};

TEST_F(ServerLockTest, SocketProgramsShareNoController) {
    auto a = client(), b = client();
    ASSERT_TRUE(a && b);
    hidlink::DeviceTable ta(*a), tb(*b);
    // Both clients are this test process: the same name, two owners all the same.
    runTwoPrograms(ta, tb, program_invocation_short_name + std::string(" (pid ") + std::to_string(::getpid()) + ")");
}

TEST_F(ServerLockTest, AProgramThatVanishesReleasesItsController) {
    using namespace hidlink::simwire;
    std::vector<hidlink::CollectionDesc> all;
    auto b = client();
    ASSERT_TRUE(b && b->enumerate(all, 100));
    Channel killed(socket, platform::systemClock(), kCallTimeoutMs);
    std::string error;
    Message answer;
    ASSERT_TRUE(killed.connect(error)) << error;
    ASSERT_TRUE(killed.call(Open{0, 0, 0, hidlink::OpenMode::Feature, 77, "romwrite (pid 9)"}, answer, 0, error))
        << error;
    hidlink::DeviceTable tb(*b);
    EXPECT_FALSE(open(tb, kR6, 0x11, kTouch));
    EXPECT_EQ(b->lastError(), "sim:dev0/if0 is in use by romwrite (pid 9)");
    killed.drop();  // no Close: the process died
    EXPECT_TRUE(eventually([&] { return open(tb, kR6, 0x11, kTouch); })) << b->lastError();
}

}  // namespace
