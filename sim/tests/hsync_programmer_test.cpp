// The stand-in Hsync MCU programmer against the real simulator: it writes the image's version
// into the MCU, fails with the code the scenario chose, and tells its own failures apart.
#include <gtest/gtest.h>

#include <fstream>

#include "test_support.h"

namespace {

const std::string kSim = simtest::binary("sim/vorlick-sim");
const std::string kProg = simtest::binary("sim/vorlick-hsync-prog");

// A small image: the version word 0x0201 at 0x00C4, high byte first.
constexpr const char* kImage =
    ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
    ":1000C0004853594E02010000FFFFFFFFFFFFFFFFF3\r\n"
    ":00000001FF\r\n";

struct Served {
    explicit Served(const std::string& scenarioText) {
        std::ofstream(dir.file("dev.scenario")) << "[device]\nmodel = controller\ngeneration = R6\n" << scenarioText;
        std::ofstream(dir.file("_tmpRL78.hex"), std::ios::binary) << kImage;
        std::ofstream(dir.file("no-version.hex"), std::ios::binary) << ":00000001FF\r\n";
        sim = std::make_unique<simtest::Child>(
            std::vector<std::string>{kSim, "--socket", socket, "--scenario", dir.file("dev.scenario")});
        EXPECT_EQ(sim->firstLine(10000), socket);
    }
    simtest::RunResult program(const std::string& image, std::vector<std::string> more = {"-auto", "-reset"}) {
        more.insert(more.begin(), {kProg, dir.file(image)});
        return simtest::run(more, {"VORLICK_HID=sim:" + socket});
    }
    // The MCU's version as the station reads it, through vorlick-diag.
    std::string mcuVersion() {
        const auto r =
            simtest::run({simtest::binary("tools/vorlick-diag"), "hsync", "info"}, {"VORLICK_HID=sim:" + socket});
        const auto at = r.out.find("version");
        return at == std::string::npos ? r.out + r.err : r.out.substr(at, r.out.find('\n', at) - at);
    }

    simtest::TempDir dir;
    std::string socket = dir.file("sim.sock");
    std::unique_ptr<simtest::Child> sim;
};

TEST(HsyncProgrammer, WritesTheImagesVersionIntoTheMcu) {
    Served s("hsync = old\n");
    const auto r = s.program("_tmpRL78.hex");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(s.mcuVersion().find("0x0201"), std::string::npos) << s.mcuVersion();
}

TEST(HsyncProgrammer, EndsWithTheScenariosCodeOrItsOwn) {
    struct Case {
        const char* name;
        std::string scenario;
        std::string image;
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {
        {"chosen by the scenario", "hsync_program_exit = 0x15\n", "_tmpRL78.hex", {"-auto", "-reset"}, 0x15},
        {"no MCU", "hsync = none\n", "_tmpRL78.hex", {"-auto", "-reset"}, 4},
        {"no version word", "", "no-version.hex", {"-auto", "-reset"}, 3},
        {"no image", "", "absent.hex", {"-auto", "-reset"}, 3},
        {"other switches", "", "_tmpRL78.hex", {"-auto"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Served s(c.scenario);
        const auto r = s.program(c.image, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_FALSE(r.err.empty());
        // An MCU that answers still has its scenario's version (one without an MCU never answers).
        if (c.exitCode != 4) {
            EXPECT_NE(s.mcuVersion().find("0x0102"), std::string::npos) << s.mcuVersion();
        }
    }
}

}  // namespace
