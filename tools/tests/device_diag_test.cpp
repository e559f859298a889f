// The diag device commands run in-process against the virtual controller, as vorlick-diag
// runs them against a socket or hidraw backend.
#include "tools/device_diag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

#include "controllerlink/vendor_ids.h"
#include "hidlink/hidraw_backend.h"
#include "hidlink/sim_protocol.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "sim/controller_device.h"
#include "sim/descriptor_builder.h"
#include "sim/virtual_bus.h"

namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

std::string slurp(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

Outcome runDiag(hidlink::Backend& backend, platform::Clock& clock, const std::vector<std::string>& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome r;
    r.code = diag::runDeviceDiag(backend, clock, args, out, err);
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

class DeviceDiag : public ::testing::Test {
protected:
    void plug(sim::ControllerConfig c) {
        c.panel.noiseSigma = 0.0;
        device = std::make_shared<sim::ControllerDevice>(c);
        deviceId = bus.addDevice(device);
    }
    Outcome run(const std::vector<std::string>& args) { return runDiag(backend, clock, args); }
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    std::shared_ptr<sim::ControllerDevice> device;
    int deviceId = 0;
};

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST_F(DeviceDiag, RawAverageIsOneCsvRowPerTxLine) {
    sim::ControllerConfig c;
    c.registerWord41 = 0x2010;  // 32 Rx, 16 Tx
    plug(c);
    const Outcome r = run({"raw", "--frames", "2", "--retry", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(std::count(rows[0].begin(), rows[0].end(), ','), 31);
    EXPECT_EQ(rows[15].substr(0, rows[15].find(',')), "2060.000");  // 2000 + 4 * 15
    EXPECT_NE(r.err.find("retries 0 flags 0x0"), std::string::npos) << r.err;
    EXPECT_EQ(device->mode(), 0) << "back in normal mode";
}

TEST_F(DeviceDiag, StandardDeviationPrintsMeanThenSigma) {
    sim::ControllerConfig c;
    c.registerWord41 = 0x0402;
    plug(c);
    const Outcome r = run({"sd", "--frames", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"2000.000,2002.000,2004.000,2006.000", "2004.000,2006.000,2008.000,2010.000",
                                        "", "0.000,0.000,0.000,0.000", "0.000,0.000,0.000,0.000"}));
}

TEST_F(DeviceDiag, GenerationChoosesTheCollection) {
    sim::ControllerConfig c;
    c.generation = sim::Generation::R5;
    plug(c);
    EXPECT_EQ(run({"version"}).code, 1) << "no R6 touch collection";
    const Outcome r = run({"query", "--cpu", "R5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("touchFirmwareMajor\t0x0120"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("penFirmware\t0x0012"), std::string::npos) << r.out;
}

TEST_F(DeviceDiag, PinCheckListsEveryPin) {
    sim::ControllerConfig c;
    c.registerWord41 = 0x4028;  // 64 Rx, 40 Tx
    c.panel.pinFaults = {{true, 5, false}};
    plug(c);
    const Outcome r = run({"pincheck", "--wait", "10", "--threshold", "0x20"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 72u + 48u + 1u);
    EXPECT_EQ(rows[5], "Rx\t5\tused\tNG\tvdd=0\tgnd=1");
    EXPECT_EQ(rows[64], "Rx\t64\tunused\tOK\tvdd=0\tgnd=0");
    EXPECT_EQ(rows[72 + 40], "Tx\t40\tunused\tOK\tvdd=0\tgnd=0");
    EXPECT_EQ(rows.back(), "faults\trxVdd=0\trxGnd=1\ttxVdd=0\ttxGnd=0");
}

TEST_F(DeviceDiag, HsyncCommands) {
    sim::ControllerConfig c;
    c.hsyncSample = 0x0100;
    c.hsyncNoise = -7;
    plug(c);
    Outcome r = run({"hsync", "info"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "pid\t0x0A31\nversion\t0x0102\n");
    r = run({"hsync", "sample", "--count", "2"});
    EXPECT_EQ(r.out, "256\n256\n");
    r = run({"hsync", "noise"});
    EXPECT_EQ(r.out, "-7\n");
    r = run({"hsync", "direct"});
    EXPECT_NE(r.out.find("signal\tenabled"), std::string::npos) << r.out;
}

TEST_F(DeviceDiag, FailuresNameTheOperationAndExitOne) {
    sim::ControllerConfig c;
    c.hsync = sim::HsyncMcu::OldFirmware;
    plug(c);
    device->breakIndices(1);
    Outcome r = run({"cal"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("readCalAverage failed"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    r = run({"hsync", "info"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("OLD FW"), std::string::npos) << r.err;
    bus.unplug(deviceId);
    r = run({"registers"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("finding the touch collection failed"), std::string::npos) << r.err;
}

TEST_F(DeviceDiag, UsageErrorsExitTwoWithoutTouchingTheController) {
    plug({});
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"frobnicate"},
                                                 {"raw", "--frames"},
                                                 {"raw", "--frames", "-1"},
                                                 {"raw", "--frames", "0"},
                                                 {"raw", "--calf"},
                                                 {"pincheck", "--wait", "5"},
                                                 {"hsync"},
                                                 {"hsync", "loud"},
                                                 {"version", "--cpu", "R7"},
                                                 {"raw", "--floor", "2"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "" : args[0]);
    }
    EXPECT_EQ(device->mode(), 0);
}

// The bus clock, except that the first pause after a register write runs `onPause` once: the
// moment between the write and the frame it asks for.
class PauseHook final : public platform::Clock {
public:
    PauseHook(platform::Clock& inner, std::function<void()> onPause) : inner_(inner), onPause_(std::move(onPause)) {}
    std::uint64_t monotonicMs() override { return inner_.monotonicMs(); }
    platform::TimeOfDay timeOfDay() override { return inner_.timeOfDay(); }
    void sleepMs(std::uint32_t ms) override {
        if (ms == 10 && onPause_) std::exchange(onPause_, nullptr)();
        inner_.sleepMs(ms);
    }

private:
    platform::Clock& inner_;
    std::function<void()> onPause_;
};

// A command that did not get what it asked for, or could not put the controller back in normal
// mode, exits 1 and says which; what it could print stays printed.
TEST_F(DeviceDiag, CommandsThatDidNotGetWhatTheyAskedForExitOne) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::function<void()> arrange;
        bool unplugBeforeFrame;
        bool printed;
        std::vector<std::string> said;  // "@" stands for the touch collection's node
        int modeAfter;                  // -1: the controller is gone
    };
    const Case cases[] = {
        {"only blank frames",
         {"raw"},
         [this] { device->zeroFrames(1000); },
         false,
         false,
         {"retries 3 flags 0x1", "readRawAverage ran out of retries: 3 blank frames before 8 frames were read"},
         0},
        {"standard deviation on blank frames",
         {"sd", "--frames", "4", "--retry", "2"},
         [this] { device->zeroFrames(2); },
         false,
         false,
         {"readStandardDeviation ran out of retries"},
         0},
        // Mode, register read (select, two answers, restore), then the first register part.
        {"refused register write of a calibration read",
         {"cal"},
         [this] {
             bus.setFaults(deviceId, {0, 6, false});
         },
         false,
         false,
         {"readCalAverage failed: @: set feature 9 refused"},
         0},
        {"refused return to normal mode",
         {"version"},
         [this] {
             bus.setFaults(deviceId, {0, 4, false});
         },
         false,
         true,
         {"returning to normal mode (setDeviceMode(0)) failed: @: set feature 2 refused",
          "may still be in maintenance mode"},
         1},
        {"unplugged during a frame read",
         {"raw"},
         nullptr,
         true,
         false,
         {"readRawAverage failed: @: set feature 9 refused", "returning to normal mode"},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bus.unplug(deviceId);
        sim::ControllerConfig config;
        config.registerWord41 = 0x0402;
        plug(config);
        if (c.arrange) c.arrange();
        PauseHook hook(clock, [&] {
            if (c.unplugBeforeFrame) bus.unplug(deviceId);
        });
        const Outcome r = runDiag(backend, hook, c.args);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_EQ(!r.out.empty(), c.printed) << r.out;
        for (std::string said : c.said) {
            if (const auto at = said.find('@'); at != std::string::npos)
                said.replace(at, 1, hidlink::simwire::interfacePath(static_cast<std::uint32_t>(deviceId), 0));
            EXPECT_NE(r.err.find(said), std::string::npos) << "wanted: " << said << "\n" << r.err;
        }
        if (c.modeAfter >= 0) {
            EXPECT_EQ(device->mode(), c.modeAfter);
        }
    }
}

// The trace shows why a transfer failed, where the engineer reads the bytes.
TEST_F(DeviceDiag, TraceNamesTheReasonOfARefusedTransfer) {
    plug({});
    bus.setFaults(deviceId, {0, 3, false});  // the version answer
    hidlink::setTrace(true);
    ::testing::internal::CaptureStderr();
    const Outcome r = run({"version"});
    const std::string trace = ::testing::internal::GetCapturedStderr();
    hidlink::setTrace(false);
    EXPECT_EQ(r.code, 1);
    const std::string node = hidlink::simwire::interfacePath(static_cast<std::uint32_t>(deviceId), 0);
    EXPECT_NE(trace.find("get! failed: " + node + ": get feature 9 refused"), std::string::npos) << trace;
    EXPECT_NE(r.err.find("readMaintenanceVersion failed: " + node + ": get feature 9 refused"), std::string::npos)
        << r.err;
}

// On hidraw the operating system's reason reaches the engineer. Mode bits do not stop root,
// so the nodes here fail for reasons that hold for every user: gone, or not a device at all.
TEST(DeviceDiagOnHidraw, OpenFailureNamesTheNodeAndTheSystemsReason) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        const char* reason;
    };
    const Case cases[] = {
        {"device node missing", [](const fs::path& node) { fs::remove(node); }, "No such file or directory"},
        {"a directory in its place",
         [](const fs::path& node) {
             fs::remove(node);
             fs::create_directory(node);
         },
         "Is a directory"},
    };
    using sim::ReportSpec;
    const auto descriptor =
        sim::buildVendorDescriptor({{0xFF11, 0x11, {{ReportSpec::Feature, 2, 2}, {ReportSpec::Feature, 9, 64}}},
                                    {0xFF11, 0x02, {{ReportSpec::Feature, 5, 9}}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hidlink::fixture::SysfsFixture tree;
        tree.add({3, 0x0003, static_cast<std::uint16_t>(controllerlink::VID_PRIMARY), 0x4001, 0x0100, descriptor});
        c.spoil(tree.devPath(3));
        platform::VirtualClock clock;
        hidlink::HidrawBackend backend(tree.sysfsRoot(), tree.devRoot(), clock);
        const Outcome r = runDiag(backend, clock, {"version"});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("opening the touch collection failed: cannot open " + tree.devPath(3) + ": " + c.reason),
                  std::string::npos)
            << r.err;
    }
    // Without a readable sysfs tree nothing is found, and the reason says why.
    platform::VirtualClock clock;
    hidlink::HidrawBackend nowhere("/nonexistent/sys", "/nonexistent/dev", clock);
    const Outcome r = runDiag(nowhere, clock, {"version"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("finding the touch collection failed: cannot read the sysfs root /nonexistent/sys"),
              std::string::npos)
        << r.err;
}

}  // namespace

namespace {

// Posts `reports` on the pen interface once a reader waits for them.
std::thread postWhenRead(sim::VirtualBus& bus, sim::ControllerDevice& device,
                         std::vector<std::vector<std::uint8_t>> reports) {
    return std::thread([&bus, &device, reports = std::move(reports)] {
        for (int i = 0; i < 5000 && bus.waitingReads() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (const auto& r : reports) bus.postInput(device, sim::ControllerDevice::kPenInterface, r);
    });
}

TEST_F(DeviceDiag, LiveViewsShowWhatTheControllerStreams) {
    plug(sim::ControllerConfig{});
    {
        const Outcome r = run({"stream", "--count", "1"});
        ASSERT_EQ(r.code, 0) << r.err;
        const auto l = lines(r.out);
        ASSERT_EQ(l.size(), 1u + 46 + 1);
        EXPECT_EQ(l[0], "frame,1,status,0");
        EXPECT_EQ(std::count(l[1].begin(), l[1].end(), ','), 71) << "72 Rx values per Tx row";
        EXPECT_EQ(l[47].rfind("noise,", 0), 0u);
    }
    {
        std::thread poster =
            postWhenRead(bus, *device, {{15, 72, 0, 2, 100, 0, 101, 0}, {11, 0x21, 0xE8, 0x03, 0xD0, 0x07, 0, 1}});
        const Outcome r = run({"watch", "--pen", "--count", "2"});
        poster.join();
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(lines(r.out), (std::vector<std::string>{"line X lines=72 first=0 n=2 samples=100 101",
                                                          "pen status=0x21 x=1000 y=2000 pressure=256"}));
    }
    {
        // The controller's own line reports in pen maintenance: two X lines and one Y line, each
        // at a steady level, scanned as the clock moves once a reader waits.
        bus.unplug(deviceId);
        sim::ControllerConfig c;
        c.registerWord41 = 0x0201;
        c.tkpNoise = 40;
        c.tkpNoiseSigma = 0;
        plug(c);
        std::thread scans([this] {
            for (int i = 0; i < 5000 && bus.waitingReads() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            for (int i = 0; i < 4; ++i) {
                clock.advance(10);
                bus.advance();
            }
        });
        const Outcome r = run({"lines", "--window", "2", "--count", "1"});
        scans.join();
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(lines(r.out),
                  (std::vector<std::string>{"round,1,window,2", "X,0,40.00,0.00", "X,1,40.00,0.00", "Y,0,40.00,0.00"}));
    }
    EXPECT_EQ(run({"lines", "--window", "0"}).code, 2);
}

}  // namespace

namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The raw data viewer's dump from a live stream without a window: the same file the viewer's
// Space key writes, holding the frames the plain stream shows.
TEST_F(DeviceDiag, StreamDumpWritesTheRawViewersCsvOfTheLiveFrames) {
    plug(sim::ControllerConfig{});  // no noise: every frame alike
    const Outcome plain = run({"stream", "--count", "1"});
    ASSERT_EQ(plain.code, 0) << plain.err;
    const auto rows = lines(plain.out);
    ASSERT_EQ(rows.size(), 48u);
    std::string expected = "#Raw\r\n";
    for (int t = 0; t < 46; ++t)
        expected += rows[static_cast<std::size_t>(t) + 1] + ",// " + std::to_string(t) + "\r\n";
    expected += "\r\n";

    const auto folder = std::filesystem::temp_directory_path() / "vorlick_diag_dump";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const Outcome r = run({"stream", "--count", "3", "--dump", folder.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].filename().string();
    EXPECT_EQ(r.out, "Success to dump file. '" + name + "'\n");
    EXPECT_EQ(name.size(), std::string("log0101090000.csv").size());
    EXPECT_EQ(name.rfind("log01010900", 0), 0u) << name << ": month, day, hour and minute of the virtual clock";
    EXPECT_EQ(readFile(files[0]), expected);

    const Outcome average = run({"stream", "--count", "2", "--dump", folder.string(), "--view", "average"});
    ASSERT_EQ(average.code, 0) << average.err;
    EXPECT_EQ(run({"stream", "--dump", folder.string(), "--view", "diff"}).code, 2);
    EXPECT_EQ(run({"stream", "--view", "raw"}).code, 2) << "a view without a dump";
    const Outcome nowhere = run({"stream", "--count", "1", "--dump", (folder / "missing").string()});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_NE(nowhere.err.find("Error: cannot write dump file."), std::string::npos) << nowhere.err;
    std::filesystem::remove_all(folder);
}

}  // namespace
