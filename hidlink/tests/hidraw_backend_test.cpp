#include "hidlink/hidraw_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "hidlink/device_table.h"
#include "hidlink/tests/sample_descriptors.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"

namespace {

constexpr std::uint32_t kVid = 0x3A1C;  // any vendor: the table does not care whose device it is

namespace fs = std::filesystem;
using hidlink::CollectionDesc;
using hidlink::OpenMode;
using hidlink::ReadStatus;
using hidlink::fixture::FakeNode;
using hidlink::samples::kMouse;
using sim::CollectionSpec;
using sim::ReportSpec;

// The controller's interface: touch (usage 0x11) and pen (0x02) collections, numbered reports.
std::vector<std::uint8_t> controllerDescriptor() {
    return sim::buildVendorDescriptor({
        {0xFF11, 0x11, {{ReportSpec::Feature, 9, 64}, {ReportSpec::Input, 1, 8}}},
        {0xFF11, 0x02, {{ReportSpec::Feature, 10, 16}, {ReportSpec::Input, 2, 8}}},
    });
}

class HidrawBackendTest : public ::testing::Test {
protected:
    fs::path add(FakeNode n) { return tree.add(n); }
    FakeNode controller(unsigned number, bool fifo = false) {
        return {number, 0x0003, static_cast<std::uint16_t>(kVid), 0x0100, 0x0203, controllerDescriptor(), fifo};
    }
    std::vector<CollectionDesc> enumerate(std::size_t limit = SIZE_MAX) {
        std::vector<CollectionDesc> out;
        EXPECT_TRUE(backend.enumerate(out, limit)) << backend.lastError();
        return out;
    }

    HidrawBackendTest() { backend.setLockDir(tree.lockDir()); }

    hidlink::fixture::SysfsFixture tree;
    platform::VirtualClock clock;
    hidlink::HidrawBackend backend{tree.sysfsRoot(), tree.devRoot(), clock};
};

TEST_F(HidrawBackendTest, ListsEveryTopLevelCollectionInNodeNumberOrder) {
    add({10, 0x0003, 0x046D, 0xC077, 0x7200, kMouse});
    add(controller(2));
    // A Bluetooth keyboard behind a USB dongle: the dongle's bcdDevice is not its version.
    add({3, 0x0005, 0x05AC, 0x0256, 0x0107, kMouse});
    add({4, 0x0003, 0x1234, 0x0001, std::nullopt, kMouse});

    struct Expected {
        hidlink::CollectionIdentity identity;
        std::uint16_t version;
        unsigned node;
        std::uint32_t index;
        bool numbered;
    };
    const Expected expected[] = {
        {{kVid, 0x0100, 0xFF11, 0x11}, 0x0203, 2, 0, true},     {{kVid, 0x0100, 0xFF11, 0x02}, 0x0203, 2, 1, true},
        {{0x05AC, 0x0256, 0x0001, 0x02}, 0, 3, 0, false},       {{0x1234, 0x0001, 0x0001, 0x02}, 0, 4, 0, false},
        {{0x046D, 0xC077, 0x0001, 0x02}, 0x7200, 10, 0, false},
    };
    const auto found = enumerate();
    ASSERT_EQ(found.size(), std::size(expected));
    for (std::size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(found[i].identity, expected[i].identity);
        EXPECT_EQ(found[i].versionNumber, expected[i].version);
        EXPECT_EQ(found[i].path, tree.devPath(expected[i].node));
        EXPECT_EQ(found[i].collectionIndex, expected[i].index);
        EXPECT_EQ(found[i].numbered, expected[i].numbered);
    }
    // Each collection carries its own reports, not the node's.
    EXPECT_EQ(found[0].caps.featureReportIds, std::vector<std::uint8_t>{9});
    EXPECT_EQ(found[0].caps.featureReportLength, 64u);
    EXPECT_EQ(found[1].caps.featureReportIds, std::vector<std::uint8_t>{10});
    EXPECT_EQ(found[1].caps.featureReportLength, 16u);
}

TEST_F(HidrawBackendTest, UnusableNodesAreSkippedSilently) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& hid)> spoil;
    };
    const Case cases[] = {
        {"truncated descriptor",
         [](const fs::path& hid) {
             hidlink::fixture::SysfsFixture::write(hid / "report_descriptor", std::string("\x05\x01\x09\x02\xA1", 5));
         }},
        {"descriptor over 4096 bytes",
         [](const fs::path& hid) {
             auto d = controllerDescriptor();
             d.resize(5000, 0);  // padding of zero-size main items keeps it well-formed but too long
             std::ofstream(hid / "report_descriptor", std::ios::binary)
                 .write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
         }},
        {"no descriptor", [](const fs::path& hid) { fs::remove(hid / "report_descriptor"); }},
        {"no HID_ID", [](const fs::path& hid) { hidlink::fixture::SysfsFixture::write(hid / "uevent", "DRIVER=x\n"); }},
        {"garbled HID_ID",
         [](const fs::path& hid) {
             hidlink::fixture::SysfsFixture::write(hid / "uevent", "HID_ID=0003:zz:00000100\n");
         }},
        {"dangling device link", [](const fs::path& hid) { fs::remove_all(hid); }},
        // A reader that opened these would wait for a writer that never comes.
        {"descriptor is a FIFO",
         [](const fs::path& hid) {
             fs::remove(hid / "report_descriptor");
             ASSERT_EQ(::mkfifo((hid / "report_descriptor").c_str(), 0600), 0);
         }},
        {"uevent is a FIFO",
         [](const fs::path& hid) {
             fs::remove(hid / "uevent");
             ASSERT_EQ(::mkfifo((hid / "uevent").c_str(), 0600), 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hidlink::fixture::SysfsFixture t;
        t.add({0, 0x0003, 0x046D, 0xC077, 0x0100, kMouse});
        c.spoil(t.add(controller(1)));
        t.add({2, 0x0003, 0x046D, 0xC078, 0x0100, kMouse});
        hidlink::HidrawBackend b(t.sysfsRoot(), t.devRoot(), clock);
        std::vector<CollectionDesc> found;
        ASSERT_TRUE(b.enumerate(found, SIZE_MAX));
        ASSERT_EQ(found.size(), 2u);
        EXPECT_EQ(found[0].path, t.devPath(0));
        EXPECT_EQ(found[1].path, t.devPath(2));
    }
}

TEST_F(HidrawBackendTest, VersionIsNotLookedForOutsideTheSysfsTree) {
    // hidraw5's class link leads into another tree, whose USB device has a bcdDevice.
    hidlink::fixture::SysfsFixture elsewhere;
    const fs::path hid = elsewhere.add(controller(5));
    fs::create_directory_symlink(hid / "hidraw" / "hidraw5", fs::path(tree.sysfsRoot()) / "class/hidraw/hidraw5");
    add(controller(6));
    const auto found = enumerate();
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].path, tree.devPath(5));
    EXPECT_EQ(found[0].versionNumber, 0);
    EXPECT_EQ(found[2].versionNumber, 0x0203);
}

TEST_F(HidrawBackendTest, OnlyAnUnreadableSysfsRootIsAnError) {
    std::vector<CollectionDesc> out;
    hidlink::HidrawBackend missing(tree.sysfsRoot() + "/nowhere", tree.devRoot(), clock);
    EXPECT_FALSE(missing.enumerate(out, SIZE_MAX));
    EXPECT_NE(missing.lastError().find("nowhere"), std::string::npos);

    // A machine where the hidraw driver has seen no device has no class folder: nothing present.
    fs::remove_all(fs::path(tree.sysfsRoot()) / "class");
    EXPECT_TRUE(backend.enumerate(out, SIZE_MAX));
    EXPECT_TRUE(out.empty());
}

TEST_F(HidrawBackendTest, EnumerationStopsAtTheLimitInsideANode) {
    // 60 nodes of two collections: 120 present.
    for (unsigned n = 0; n < 60; ++n) {
        FakeNode node = controller(n);
        node.productId = static_cast<std::uint16_t>(0x100 + n);
        add(node);
    }
    hidlink::DeviceTable table(backend);
    for (const std::size_t limit : {std::size_t{100}, std::size_t{51}}) {
        SCOPED_TRACE(limit);
        std::vector<hidlink::CollectionIdentity> ids;
        ASSERT_EQ(table.enumerateCollections(ids, limit), limit);
        ASSERT_EQ(ids.size(), limit);
        // The last one recorded: node (limit-1)/2, its first or second collection.
        EXPECT_EQ(ids.back().productId, 0x100u + (limit - 1) / 2);
        EXPECT_EQ(ids.back().usage, (limit % 2 == 0) ? 0x02u : 0x11u);
    }
    std::vector<CollectionDesc> out(3);  // appends, never clears
    ASSERT_TRUE(backend.enumerate(out, 0));
    EXPECT_EQ(out.size(), 3u);
}

// The kernel's nodes, except one the user has no permission on.
class NoPermissionOn final : public hidlink::HidrawIo {
public:
    explicit NoPermissionOn(std::string path) : refused_(std::move(path)) {}
    int getFeature(int, std::span<std::uint8_t>) override { return -1; }
    int setFeature(int, std::span<const std::uint8_t>) override { return -1; }
    int openNode(const std::string& path, int flags) override {
        ++opens;
        if (path != refused_) return HidrawIo::openNode(path, flags);
        errno = EACCES;
        return -1;
    }
    int opens = 0;

private:
    std::string refused_;
};

TEST_F(HidrawBackendTest, EnumerationLeavesOutANodeThatCannotBeOpenedAndNamesIt) {
    add({0, 0x0003, 0x046D, 0xC077, 0x0100, kMouse});
    add(controller(1));
    FakeNode other = controller(2);
    other.productId = 0x0200;
    add(other);
    NoPermissionOn io(tree.devPath(1));
    backend.setIo(io);
    hidlink::DeviceTable table(backend);

    std::vector<hidlink::CollectionIdentity> ids;
    std::vector<hidlink::SkippedNode> skipped;
    ASSERT_EQ(table.enumerateCollections(ids, 100, &skipped), 3u);
    EXPECT_EQ(ids[0].vendorId, 0x046Du);
    EXPECT_EQ(ids[1].productId, 0x0200u);
    EXPECT_EQ(ids[2].productId, 0x0200u);
    // Named once although it holds two collections; each node is tried once.
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].path, tree.devPath(1));
    EXPECT_EQ(skipped[0].reason, "Permission denied");
    EXPECT_EQ(skipped[0].vendorId, kVid);
    EXPECT_EQ(io.opens, 3);

    // The limit counts what was kept, not what was skipped.
    ids.clear();
    ASSERT_EQ(table.enumerateCollections(ids, 2), 2u);
    EXPECT_EQ(ids[1].productId, 0x0200u);

    // The backend still lists it (for engineers' tools), and opening it says why it fails.
    EXPECT_EQ(enumerate().size(), 5u);
    EXPECT_FALSE(table.openCollection(kVid, 0x0100, 0xFF11, 0x11, 1));
    EXPECT_NE(backend.lastError().find("Permission denied"), std::string::npos) << backend.lastError();
    EXPECT_TRUE(table.openCollection(kVid, 0x0200, 0xFF11, 0x11, 1)) << backend.lastError();
}

TEST_F(HidrawBackendTest, DeviceTableOpensTheMatchingCollectionOfANode) {
    add({0, 0x0003, 0x046D, 0xC077, 0x0100, kMouse});
    add(controller(1));
    hidlink::DeviceTable table(backend);
    ASSERT_TRUE(table.openCollection(kVid, 0x0100, 0xFF11, 0x02, 2));
    hidlink::DeviceInfo info;
    ASSERT_TRUE(table.getCollectionInfo(2, info));
    EXPECT_EQ(info.path, tree.devPath(1));
    EXPECT_EQ(info.versionNumber, 0x0203);
    EXPECT_EQ(info.caps.inputReportIds, std::vector<std::uint8_t>{2});
    EXPECT_TRUE(table.closeCollection(2));
}

TEST_F(HidrawBackendTest, OpenFailsCleanlyWhenTheNodeChangedSinceEnumeration) {
    struct Case {
        const char* name;
        std::function<void(hidlink::fixture::SysfsFixture&, const fs::path& hid)> change;
        const char* error;
    };
    const Case cases[] = {
        {"unplugged", [](auto& t, const fs::path&) { fs::remove(fs::path(t.sysfsRoot()) / "class/hidraw/hidraw1"); },
         "gone"},
        {"node number taken by another device",
         [](auto&, const fs::path& hid) {
             hidlink::fixture::SysfsFixture::write(hid / "uevent", "HID_ID=0003:00003A1C:00000F11\n");
         },
         "another device"},
        {"device node removed", [](auto& t, const fs::path&) { fs::remove(t.devPath(1)); }, "cannot open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hidlink::fixture::SysfsFixture t;
        const fs::path hid = t.add(controller(1));
        hidlink::HidrawBackend b(t.sysfsRoot(), t.devRoot(), clock);
        b.setLockDir(t.lockDir());
        std::vector<CollectionDesc> found;
        ASSERT_TRUE(b.enumerate(found, SIZE_MAX));
        ASSERT_EQ(found.size(), 2u);
        ASSERT_NE(b.open(found[0], OpenMode::Feature), nullptr) << b.lastError();
        c.change(t, hid);
        EXPECT_EQ(b.open(found[0], OpenMode::Feature), nullptr);
        EXPECT_NE(b.lastError().find(c.error), std::string::npos) << b.lastError();
    }
}

TEST_F(HidrawBackendTest, FeatureTransfersOnANodeThatRefusesThemFail) {
    add(controller(1));
    const auto found = enumerate();
    auto conn = backend.open(found[0], OpenMode::Feature);
    ASSERT_NE(conn, nullptr) << backend.lastError();
    std::array<std::uint8_t, 64> report{9, 0x55};
    EXPECT_FALSE(conn->getFeature(report));
    EXPECT_NE(conn->lastError().find("HIDIOCGFEATURE"), std::string::npos) << conn->lastError();
    EXPECT_FALSE(conn->setFeature(report));
    EXPECT_NE(conn->lastError().find("HIDIOCSFEATURE"), std::string::npos) << conn->lastError();
}

// Each look at the clock costs 10 ms, so a read's deadline passes after a few reports.
class TickingClock final : public platform::Clock {
public:
    std::uint64_t monotonicMs() override { return now_ += 10; }
    platform::TimeOfDay timeOfDay() override { return {}; }
    void sleepMs(std::uint32_t ms) override { now_ += ms; }

private:
    std::atomic<std::uint64_t> now_{0};
};

TEST_F(HidrawBackendTest, AReaderComesBackWhileReportsForOthersNeverStop) {
    add(controller(1));
    // A node that never runs dry, and none of its reports is the pen's (id 0 is nobody's).
    fs::remove(tree.devPath(1));
    fs::create_symlink("/dev/zero", tree.devPath(1));
    TickingClock ticking;
    hidlink::HidrawBackend b(tree.sysfsRoot(), tree.devRoot(), ticking);
    b.setLockDir(tree.lockDir());
    std::vector<CollectionDesc> found;
    ASSERT_TRUE(b.enumerate(found, SIZE_MAX));
    auto pen = b.open(found[1], OpenMode::ReadOnly);
    ASSERT_NE(pen, nullptr) << b.lastError();
    std::array<std::uint8_t, 8> buf{};
    EXPECT_EQ(pen->readInput(buf, 50).status, ReadStatus::Timeout);
}

// Input reads on a FIFO standing in for /dev/hidrawN: the test writes what the kernel would
// hand out, one report per write.
class HidrawInputTest : public HidrawBackendTest {
protected:
    std::unique_ptr<hidlink::Connection> openReader(const FakeNode& node, std::size_t collection) {
        add(node);
        const auto found = enumerate();
        std::unique_ptr<hidlink::Connection> conn;
        for (const auto& d : found)
            if (d.path == tree.devPath(node.number) && d.collectionIndex == collection)
                conn = backend.open(d, OpenMode::ReadOnly);
        EXPECT_NE(conn, nullptr) << backend.lastError();
        writer_ = ::open(tree.devPath(node.number).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(writer_, 0);
        return conn;
    }
    void send(std::vector<std::uint8_t> bytes) {
        ASSERT_EQ(::write(writer_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void hangUp() {
        ::close(writer_);
        writer_ = -1;
    }
    ~HidrawInputTest() override {
        if (writer_ >= 0) ::close(writer_);
    }
    int writer_ = -1;
};

TEST_F(HidrawInputTest, UnnumberedReportsGetAZeroIdByte) {
    auto conn = openReader({5, 0x0003, 0x046D, 0xC077, 0x0100, kMouse, true}, 0);
    ASSERT_NE(conn, nullptr);
    send({0x01, 0x05, 0xFB});
    std::array<std::uint8_t, 8> buf{};
    const auto r = conn->readInput(buf, 1000);
    ASSERT_EQ(r.status, ReadStatus::Ok);
    ASSERT_EQ(r.length, 4u);
    EXPECT_EQ((std::vector<std::uint8_t>(buf.begin(), buf.begin() + 4)), (std::vector<std::uint8_t>{0, 1, 5, 0xFB}));
}

TEST_F(HidrawInputTest, ACollectionOnlySeesItsOwnReportIds) {
    auto pen = openReader(controller(1, true), 1);
    ASSERT_NE(pen, nullptr);
    const std::vector<std::uint8_t> touchReport = {1, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    const std::vector<std::uint8_t> penReport = {2, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
    send(touchReport);
    send(penReport);
    std::array<std::uint8_t, 8> buf{};
    auto r = pen->readInput(buf, 1000);
    ASSERT_EQ(r.status, ReadStatus::Ok);
    EXPECT_EQ(std::vector<std::uint8_t>(buf.begin(), buf.begin() + static_cast<long>(r.length)), penReport);

    // Only the other collection's report waiting: nothing for us.
    send(touchReport);
    EXPECT_EQ(pen->readInput(buf, 0).status, ReadStatus::Timeout);
}

TEST_F(HidrawInputTest, ShortCallerBufferGetsTheHeadOfTheReport) {
    auto touch = openReader(controller(1, true), 0);
    ASSERT_NE(touch, nullptr);
    send({1, 2, 3, 4, 5, 6, 7, 8});
    std::array<std::uint8_t, 3> buf{};
    const auto r = touch->readInput(buf, 1000);
    ASSERT_EQ(r.status, ReadStatus::Ok);
    EXPECT_EQ(r.length, 3u);
    EXPECT_EQ(buf, (std::array<std::uint8_t, 3>{1, 2, 3}));
}

TEST_F(HidrawInputTest, NothingWaitingTimesOutAndAHangUpIsADisconnect) {
    auto touch = openReader(controller(1, true), 0);
    ASSERT_NE(touch, nullptr);
    std::array<std::uint8_t, 8> buf{};
    EXPECT_EQ(touch->readInput(buf, 0).status, ReadStatus::Timeout);

    // A report queued before the unplug is still delivered.
    send({1, 9, 9, 9, 9, 9, 9, 9});
    hangUp();
    EXPECT_EQ(touch->readInput(buf, 1000).status, ReadStatus::Ok);
    EXPECT_EQ(touch->readInput(buf, 1000).status, ReadStatus::Disconnected);
    touch->close();
    EXPECT_EQ(touch->readInput(buf, 1000).status, ReadStatus::Disconnected);
}

// The thread's state in /proc: 'S' while it sleeps in a system call.
bool sleepsInTheKernel(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
}

TEST_F(HidrawInputTest, ACancelEndsAReadThatWaitsAndEveryLaterOne) {
    auto touch = openReader(controller(1, true), 0);
    ASSERT_NE(touch, nullptr);
    std::atomic<pid_t> tid{0};
    auto pending = std::async(std::launch::async, [&] {
        std::array<std::uint8_t, 8> buf{};
        tid = ::gettid();
        return touch->readInput(buf, 60000).status;  // nothing is ever written
    });
    // Cancel once the reader sleeps in the kernel, inside its poll.
    while (tid == 0 || !sleepsInTheKernel(tid)) std::this_thread::yield();
    touch->cancelRead();
    EXPECT_EQ(pending.get(), ReadStatus::Disconnected);
    send({1, 9, 9, 9, 9, 9, 9, 9});
    std::array<std::uint8_t, 8> buf{};
    EXPECT_EQ(touch->readInput(buf, 1000).status, ReadStatus::Disconnected);
}

// udev's events belong to the machine's own tree: a fixture tree polls, and so does a machine
// where udev does not run (its monitor would stay silent for ever).
TEST(HidrawHotplug, UdevEventsOnlyForTheMachinesOwnTreeWhereUdevRuns) {
    hidlink::fixture::SysfsFixture tree;
    EXPECT_EQ(hidlink::HidrawBackend(tree.sysfsRoot(), tree.devRoot()).watchChanges(), nullptr);
    EXPECT_EQ(hidlink::HidrawBackend("/sys", tree.devRoot()).watchChanges(), nullptr);
    const bool udevRuns = ::access("/run/udev/control", F_OK) == 0;
    EXPECT_EQ(hidlink::HidrawBackend().watchChanges() != nullptr, udevRuns);
}

}  // namespace
