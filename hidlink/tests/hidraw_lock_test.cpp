// One program per controller over hidraw: two backends in this process stand for two programs
// (an flock belongs to an open file, so two opens of one lock file conflict here too).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "hidlink/device_table.h"
#include "hidlink/hidraw_backend.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"

namespace {

namespace fs = std::filesystem;
using hidlink::fixture::FakeNode;
using sim::ReportSpec;

constexpr std::uint16_t kVid = 0x3A1C;
constexpr int kTouch = 1;
constexpr int kPen = 2;

std::vector<std::uint8_t> descriptor(std::uint16_t usage, std::uint8_t featureId) {
    return sim::buildVendorDescriptor({{0xFF11, usage, {{ReportSpec::Feature, featureId, 16}}}});
}

// Touch on interface 0 and pen on interface 1 of the USB device at port `port`: two nodes.
void addController(hidlink::fixture::SysfsFixture& tree, unsigned firstNode, unsigned port, std::uint16_t pid) {
    tree.add({firstNode, 0x0003, kVid, pid, 0x0100, descriptor(0x11, 9), false, port, 0});
    tree.add({firstNode + 1, 0x0003, kVid, pid, 0x0100, descriptor(0x02, 10), false, port, 1});
}

std::vector<fs::path> lockFiles(const std::string& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path());
    return out;
}

class HidrawLockTest : public ::testing::Test {
protected:
    HidrawLockTest() {
        for (auto* b : {&stationBackend, &diagBackend}) b->setLockDir(tree.lockDir());
        stationBackend.setOwner("VorlickR6X (pid 100)");
        diagBackend.setOwner("vorlick-diag (pid 200)");
    }

    hidlink::fixture::SysfsFixture tree;
    platform::VirtualClock clock;
    hidlink::HidrawBackend stationBackend{tree.sysfsRoot(), tree.devRoot(), clock};
    hidlink::HidrawBackend diagBackend{tree.sysfsRoot(), tree.devRoot(), clock};
    hidlink::DeviceTable station{stationBackend};
    hidlink::DeviceTable diag{diagBackend};
};

TEST_F(HidrawLockTest, OneUsbDeviceIsOneLockOverAllItsNodes) {
    addController(tree, 1, 5, 0x0A52);
    addController(tree, 3, 6, 0x0A53);
    ASSERT_TRUE(station.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch)) << stationBackend.lastError();
    ASSERT_TRUE(station.openCollection(kVid, 0x0A52, 0xFF11, 0x02, kPen)) << stationBackend.lastError();

    // The holder is named, on whichever node of the device the second program tries.
    EXPECT_FALSE(diag.openCollection(kVid, 0x0A52, 0xFF11, 0x02, kPen));
    EXPECT_EQ(diagBackend.lastError(), tree.devPath(2) + " is in use by VorlickR6X (pid 100)");
    EXPECT_FALSE(diag.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch));
    EXPECT_EQ(diagBackend.lastError(), tree.devPath(1) + " is in use by VorlickR6X (pid 100)");

    // The controller on the next port is another device.
    ASSERT_TRUE(diag.openCollection(kVid, 0x0A53, 0xFF11, 0x11, kTouch)) << diagBackend.lastError();

    // Held until the last collection of the device closes.
    ASSERT_TRUE(station.closeCollection(kTouch));
    EXPECT_FALSE(diag.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kPen));
    ASSERT_TRUE(station.closeCollection(kPen));
    ASSERT_TRUE(diag.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kPen)) << diagBackend.lastError();
    EXPECT_FALSE(station.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch));
    EXPECT_EQ(stationBackend.lastError(), tree.devPath(1) + " is in use by vorlick-diag (pid 200)");
}

TEST_F(HidrawLockTest, TheLockFileNamesItsHolder) {
    addController(tree, 1, 5, 0x0A52);
    ASSERT_TRUE(station.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch));
    const auto files = lockFiles(tree.lockDir());
    ASSERT_EQ(files.size(), 1u);
    // Named after the USB device's folder "1-5", plus a hash of its whole sysfs path.
    const std::string name = files[0].filename().string();
    EXPECT_EQ(name.rfind("vorlick-hid-1-5-", 0), 0u) << name;
    EXPECT_EQ(name.size(), std::string("vorlick-hid-1-5-").size() + 16 + std::string(".lock").size()) << name;
    std::ifstream in(files[0], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "VorlickR6X (pid 100)\n");
}

TEST_F(HidrawLockTest, TheLockFollowsThePortAcrossReEnumeration) {
    addController(tree, 1, 5, 0x0A52);
    ASSERT_TRUE(station.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch));
    // The controller jumps to its bootloader: a new node with a new product id, same port.
    tree.add({7, 0x0003, kVid, 0x0F11, 0x0100, descriptor(0x11, 9), false, 5, 0});
    EXPECT_FALSE(diag.openCollection(kVid, 0x0F11, 0xFF11, 0x11, kTouch));
    EXPECT_EQ(diagBackend.lastError(), tree.devPath(7) + " is in use by VorlickR6X (pid 100)");
}

TEST_F(HidrawLockTest, ALockFileThatIsNoFileIsRefusedWithoutWaiting) {
    struct Case {
        const char* name;
        void (*plant)(const fs::path&);
        const char* error;
    };
    const Case cases[] = {
        {"FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"symbolic link", [](const fs::path& p) { fs::create_symlink("/dev/null", p); }, "cannot open the lock file"},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }, "cannot open the lock file"},
    };
    addController(tree, 1, 5, 0x0A52);
    ASSERT_TRUE(station.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch));
    const fs::path lockFile = lockFiles(tree.lockDir()).at(0);
    ASSERT_TRUE(station.closeCollection(kTouch));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(lockFile);
        c.plant(lockFile);
        EXPECT_FALSE(diag.openCollection(kVid, 0x0A52, 0xFF11, 0x11, kTouch));
        EXPECT_NE(diagBackend.lastError().find(c.error), std::string::npos) << diagBackend.lastError();
    }
}

}  // namespace
