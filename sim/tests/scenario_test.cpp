#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <fstream>

#include "controllerlink/vendor_ids.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "platform/tests/fifo_guard.h"
#include "sim/scenario_models.h"
#include "sim/virtual_bus.h"

namespace {

using hidlink::CollectionDesc;

std::vector<CollectionDesc> collections(sim::VirtualBus& bus) {
    sim::InProcessBackend backend(bus);
    std::vector<CollectionDesc> out;
    backend.enumerate(out, 100);
    return out;
}

class ScenarioTest : public ::testing::Test {
protected:
    bool load(const std::string& text) { return sim::loadScenario(text, "t.scenario", bus, clock, error); }
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    std::string error;
};

TEST_F(ScenarioTest, ExampleFileServesTheSameControllerAsTheDefault) {
    ASSERT_TRUE(
        sim::loadScenarioFile(std::string(VORLICK_SOURCE_DIR) + "/examples/sim/r6-healthy.scenario", bus, clock, error))
        << error;
    platform::VirtualClock otherClock;
    sim::VirtualBus defaultBus{otherClock};
    defaultBus.addDevice(sim::makeDefaultController(otherClock));

    const auto got = collections(bus), want = collections(defaultBus);
    ASSERT_EQ(got.size(), 2u);
    ASSERT_EQ(want.size(), 2u);
    EXPECT_EQ(got[0].identity, (hidlink::CollectionIdentity{controllerlink::VID_PRIMARY, 0x0A52, 0xFF11, 0x11}));
    EXPECT_EQ(got[1].identity, (hidlink::CollectionIdentity{controllerlink::VID_PRIMARY, 0x0A52, 0xFF11, 0x02}));
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].identity, want[i].identity);
        EXPECT_EQ(got[i].versionNumber, want[i].versionNumber);
    }
    ASSERT_EQ(bus.device(0)->interfaceCount(), defaultBus.device(0)->interfaceCount());
    for (std::size_t i = 0; i < bus.device(0)->interfaceCount(); ++i)
        EXPECT_EQ(bus.device(0)->reportDescriptor(i), defaultBus.device(0)->reportDescriptor(i));

    // Same touch query.
    std::vector<std::uint8_t> a(16, 0), b(16, 0);
    a[0] = b[0] = 0x04;
    EXPECT_GT(bus.device(0)->getFeature(0, a), 0);
    EXPECT_GT(defaultBus.device(0)->getFeature(0, b), 0);
    EXPECT_EQ(a, b);
}

TEST_F(ScenarioTest, TableModelBuildsInterfacesCollectionsAnswersAndTransportState) {
    ASSERT_TRUE(
        load("# two devices\r\n"
             "[device]\r\n"
             "model = table   # plain\r\n"
             "vid = 0x1234\r\n"
             "pid = 77\r\n"
             "version = 0x0203\r\n"
             "collection = 0 0xFF00 1\r\n"
             "report = feature 3 8\r\n"
             "collection = 1 0xFF01 2\r\n"
             "report = input 0 5\r\n"
             "report = feature 0 4\r\n"
             "answer = 1 00 0A0B 0C\r\n"
             "latency_ms = 7\r\n"
             "refuse_nth = 3\r\n"
             "\r\n"
             "[device]\n"
             "model = table\n"
             "vid = secondary\n"
             "collection = 0 0xFF11 0x11\n"
             "report = feature 9 64\n"
             "plugged = 0\n"
             "refuse_all = 1\n"))
        << error;
    const auto all = collections(bus);
    ASSERT_EQ(all.size(), 2u) << "the second device starts unplugged";
    EXPECT_EQ(all[0].identity, (hidlink::CollectionIdentity{0x1234, 77, 0xFF00, 1}));
    EXPECT_EQ(all[0].versionNumber, 0x0203);
    EXPECT_EQ(all[0].caps.featureReportLength, 8u);
    EXPECT_EQ(all[1].path, "sim:dev0/if1");
    EXPECT_FALSE(all[1].numbered);
    EXPECT_EQ(all[1].caps.inputReportLength, 5u);

    std::vector<std::uint8_t> get(4, 0xFF);
    get[0] = 0;
    EXPECT_EQ(bus.device(0)->getFeature(1, get), 4);
    EXPECT_EQ(get, (std::vector<std::uint8_t>{0x00, 0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(bus.faults(0).latencyMs, 7u);
    EXPECT_EQ(bus.faults(0).refuseNth, 3u);

    ASSERT_EQ(bus.deviceIds().size(), 2u);
    EXPECT_FALSE(bus.present(1));
    EXPECT_TRUE(bus.faults(1).refuseAll);
    EXPECT_EQ(bus.device(1)->usbIdentity().vendorId, controllerlink::VID_SECONDARY);
}

TEST_F(ScenarioTest, AnUnopenableDeviceIsListedButEveryOpenFailsWithItsReason) {
    ASSERT_TRUE(
        load("[device]\nmodel = table\ncollection = 0 0xFF11 0x11\nreport = feature 9 64\n"
             "[device]\nmodel = table\npid = 2\ncollection = 0 0xFF11 0x11\nreport = feature 9 64\n"
             "collection = 0 0xFF11 0x02\nreport = feature 10 16\nopen_refused = Permission denied\n"))
        << error;
    sim::InProcessBackend backend(bus);
    std::vector<CollectionDesc> all;
    ASSERT_TRUE(backend.enumerate(all, 100));
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(backend.probeOpen(all[0]), "");
    EXPECT_EQ(backend.probeOpen(all[1]), "Permission denied");
    EXPECT_EQ(backend.open(all[1], hidlink::OpenMode::Feature), nullptr);
    EXPECT_EQ(backend.lastError(), "cannot open sim:dev1/if0: Permission denied");

    hidlink::DeviceTable table(backend);
    std::vector<hidlink::CollectionIdentity> ids;
    std::vector<hidlink::SkippedNode> skipped;
    ASSERT_EQ(table.enumerateCollections(ids, 100, &skipped), 1u);
    EXPECT_EQ(ids[0].productId, all[0].identity.productId);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].path, "sim:dev1/if0");
    EXPECT_EQ(skipped[0].reason, "Permission denied");

    // Mended at run time through the bus: opens again.
    bus.setOpenRefused(1, "");
    EXPECT_NE(backend.open(all[1], hidlink::OpenMode::Feature), nullptr) << backend.lastError();
}

TEST_F(ScenarioTest, MistakesAreRejectedWithFileAndLine) {
    const std::string head =
        "[device]\nmodel = table\ncollection = 0 0xFF11 0x11\nreport = feature 9 64\n";  // lines 1-4
    struct Case {
        std::string text;
        std::string where;  // "t.scenario:<line>:"
        std::string says;
    };
    const Case cases[] = {
        {head + "colour = blue\n", ":5:", "unknown key 'colour'"},
        {head + "vid = 0x10000\n", ":5:", "vid"},
        {head + "pid = twelve\n", ":5:", "pid"},
        {head + "report = feature 9 64\n", ":5:", "declared twice"},
        {head + "report = feature 0 8\n", ":5:", "mixes report id 0"},
        {head + "report = feature 10 1\n", ":5:", "report wants"},
        {head + "report = feature 10 8194\n", ":5:", "report wants"},
        {head + "report = status 10 8\n", ":5:", "report wants"},
        {head + "collection = 2 0xFF11 0x02\n", ":5:", "out of order"},
        {head + "answer = 0 0A 00\n", ":5:", "no feature report 10"},
        {head + "answer = 1 09 00\n", ":5:", "no interface 1"},
        {head + "answer = 0 09" + std::string(128, '0') + "\n", ":5:", "answer of 65 bytes"},
        {head + "answer = 0 09 0\n", ":5:", "answer wants"},
        {head + "latency_ms = 2001\n", ":5:", "latency_ms"},
        {head + "plugged = yes\n", ":5:", "plugged"},
        {head + "open_refused =\n", ":5:", "open_refused"},
        {head + "model = robot\n", ":5:", "model is given twice (first on line 2)"},
        {"[device]\nmodel = controller\n\nnoise = -1\n", ":4:", "bad value '-1' for noise"},
        {"[device]\nmodel = controller\ncolour = blue\n", ":3:", "unknown key 'colour'"},
        {"[device]\nmodel = robot\n", ":1:", "unknown model 'robot'"},
        {"[device]\nvid = 1\n", ":1:", "no model"},
        {"[device]\nmodel = table\nreport = feature 9 64\n", ":3:", "before any collection"},
        {"[device]\nmodel = table\n", ":1:", "no collection"},
        {"model = table\n", ":1:", "outside any section"},
        {"[device]\nmodel table\n", ":2:", "key = value"},
        {"[device\n", ":1:", "[name]"},
        {"[panel]\nmodel = table\n", ":1:", "unknown section [panel]"},
        {"# nothing\n", "", "no [device] section"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        error.clear();
        EXPECT_FALSE(load(c.text));
        EXPECT_EQ(error.rfind("t.scenario" + c.where, 0), 0u) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    EXPECT_TRUE(bus.deviceIds().empty()) << "nothing plugged in from a bad file";
}

TEST_F(ScenarioTest, AFileThatIsNoSmallRegularFileIsRefusedAtOnceWithTheReason) {
    platform::test::IdleFifo fifo;
    const std::string big = fifo.dir() + "/big.scenario";
    std::ofstream(big) << std::string(sim::kMaxScenarioBytes + 1, '#');
    struct Case {
        std::string path, why;
    } cases[] = {
        {fifo.path(), "is not a regular file but a FIFO"},
        {"/dev/zero", "is not a regular file but a character device"},
        {fifo.dir(), "is a directory"},
        {big, "is larger than " + std::to_string(sim::kMaxScenarioBytes) + " bytes"},
    };
    for (const auto& c : cases) {
        bool ok = true;
        EXPECT_FALSE(platform::test::blockedOnFifo(fifo.path(), [&] {
            ok = sim::loadScenarioFile(c.path, bus, clock, error);
        })) << c.path;
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, "cannot read scenario " + c.path + ": " + c.why);
    }
    EXPECT_TRUE(bus.deviceIds().empty());
}

TEST_F(ScenarioTest, BadSecondDevicePlugsInNothing) {
    EXPECT_FALSE(
        load("[device]\nmodel = table\ncollection = 0 1 1\nreport = feature 1 2\n"
             "[device]\nmodel = table\nvid = nope\n"));
    EXPECT_NE(error.find(":7:"), std::string::npos) << error;
    EXPECT_TRUE(bus.deviceIds().empty());
}

TEST(ScenarioValues, NumbersAndHexBytes) {
    std::uint64_t n = 0;
    EXPECT_TRUE(sim::parseScenarioNumber("0x3A1C", 0xFFFF, n));
    EXPECT_EQ(n, 0x3A1Cu);
    EXPECT_TRUE(sim::parseScenarioNumber("65535", 0xFFFF, n));
    for (const char* bad : {"", "0x", "65536", "-1", "12a", "0x1G", " 1", "1 "})
        EXPECT_FALSE(sim::parseScenarioNumber(bad, 0xFFFF, n)) << bad;

    std::vector<std::uint8_t> b;
    EXPECT_TRUE(sim::parseHexBytes("02 0a0B  ff", b));
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0x02, 0x0A, 0x0B, 0xFF}));
    for (const char* bad : {"", "   ", "0", "0g", "01 2", "0x01"}) EXPECT_FALSE(sim::parseHexBytes(bad, b)) << bad;
}

}  // namespace
