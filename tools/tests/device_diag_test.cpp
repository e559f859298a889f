// The diag device commands run in-process against the virtual controller, as vorlick-diag
// runs them against a socket or hidraw backend.
#include "tools/device_diag.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "sim/controller_device.h"
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

class DeviceDiag : public ::testing::Test {
protected:
    void plug(sim::ControllerConfig c) {
        c.panel.noiseSigma = 0.0;
        device = std::make_shared<sim::ControllerDevice>(c);
        deviceId = bus.addDevice(device);
    }
    Outcome run(std::vector<std::string> args) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome r;
        r.code = diag::runDeviceDiag(backend, clock, args, out, err);
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }
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

}  // namespace
