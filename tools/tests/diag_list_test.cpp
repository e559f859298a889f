// `vorlick-diag list` end to end: the real program, the hidraw backend pointed at a fixture
// tree through VORLICK_SYSFS_ROOT / VORLICK_DEV_ROOT.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "controllerlink/vendor_ids.h"
#include "hidlink/tests/sample_descriptors.h"
#include "hidlink/tests/sysfs_fixture.h"

namespace {

struct DiagRun {
    int exitCode = -1;
    std::string out;
};

DiagRun diagList(const std::string& sysfsRoot, const std::string& devRoot, const std::string& args) {
    const std::string cmd = "VORLICK_HID=hidraw VORLICK_SYSFS_ROOT='" + sysfsRoot + "' VORLICK_DEV_ROOT='" + devRoot +
                            "' '" VORLICK_BINARY_DIR "/tools/vorlick-diag' list " + args + " 2>/dev/null";
    DiagRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string line(int index, unsigned vid, unsigned pid, unsigned page, unsigned usage, unsigned version,
                 const std::string& path) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%d\t0x%04X\t0x%04X\t0x%04X\t0x%04X\t0x%04X\t%s\n", index, vid, pid, page, usage,
                  version, path.c_str());
    return buf;
}

TEST(DiagListTest, ListsTheFixtureCollectionsAndTheMakersOnly) {
    hidlink::fixture::SysfsFixture tree;
    const auto maker = static_cast<std::uint16_t>(controllerlink::VID_PRIMARY);
    tree.add({0, 0x0003, 0x046D, 0xC077, 0x7200, hidlink::samples::kMouse});
    tree.add({1, 0x0003, maker, 0x0100, 0x0203, hidlink::samples::kVendorController});
    tree.add({2, 0x0003, maker, 0x0101, 0x0203, {0x05, 0x01, 0xA1}});  // unusable: skipped

    DiagRun all = diagList(tree.sysfsRoot(), tree.devRoot(), "");
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.out, line(0, 0x046D, 0xC077, 0x0001, 0x0002, 0x7200, tree.devPath(0)) +
                           line(1, maker, 0x0100, 0xFF11, 0x0011, 0x0203, tree.devPath(1)) +
                           line(2, maker, 0x0100, 0xFF11, 0x0002, 0x0203, tree.devPath(1)));

    DiagRun makers = diagList(tree.sysfsRoot(), tree.devRoot(), "--maker");
    EXPECT_EQ(makers.exitCode, 0);
    EXPECT_EQ(makers.out, line(0, maker, 0x0100, 0xFF11, 0x0011, 0x0203, tree.devPath(1)) +
                              line(1, maker, 0x0100, 0xFF11, 0x0002, 0x0203, tree.devPath(1)));
}

TEST(DiagListTest, ANodeThatCannotBeOpenedIsListedWithTheReason) {
    hidlink::fixture::SysfsFixture tree;
    const auto maker = static_cast<std::uint16_t>(controllerlink::VID_PRIMARY);
    tree.add({1, 0x0003, maker, 0x0100, 0x0203, hidlink::samples::kVendorController});
    tree.add({2, 0x0003, maker, 0x0101, 0x0203, hidlink::samples::kVendorController});
    // The tests may run as root, where permissions do not refuse: a node udev has not made
    // refuses every user alike.
    std::filesystem::remove(tree.devPath(1));

    DiagRun makers = diagList(tree.sysfsRoot(), tree.devRoot(), "--maker");
    EXPECT_EQ(makers.exitCode, 0);
    const std::string why = "\tnot openable: No such file or directory\n";
    auto marked = [&](std::string l) { return l.substr(0, l.size() - 1) + why; };
    EXPECT_EQ(makers.out, marked(line(0, maker, 0x0100, 0xFF11, 0x0011, 0x0203, tree.devPath(1))) +
                              marked(line(1, maker, 0x0100, 0xFF11, 0x0002, 0x0203, tree.devPath(1))) +
                              line(2, maker, 0x0101, 0xFF11, 0x0011, 0x0203, tree.devPath(2)) +
                              line(3, maker, 0x0101, 0xFF11, 0x0002, 0x0203, tree.devPath(2)));
}

TEST(DiagListTest, NoCollectionStillRunsAndABrokenRootIsABackendError) {
    hidlink::fixture::SysfsFixture tree;
    DiagRun none = diagList(tree.sysfsRoot(), tree.devRoot(), "--maker");
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");

    DiagRun broken = diagList(tree.sysfsRoot() + "/missing", tree.devRoot(), "");
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_EQ(broken.out, "");
}

}  // namespace
