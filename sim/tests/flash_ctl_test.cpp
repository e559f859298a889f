// `vorlick-sim ctl flash` against the real simulator after a write through the socket backend.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <numeric>

#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "sim/flash_model.h"
#include "test_support.h"
#include "ubl_client.h"

namespace {

const std::string kSim = simtest::binary("sim/vorlick-sim");

class FlashCtlTest : public ::testing::Test {
protected:
    void serve(const std::string& scenario) {
        sim = std::make_unique<simtest::Child>(std::vector<std::string>{
            kSim, "--socket", socket, "--scenario", std::string(VORLICK_SOURCE_DIR) + "/examples/sim/" + scenario});
        ASSERT_EQ(sim->firstLine(10000), socket);
    }
    simtest::RunResult ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {kSim, "ctl", "--socket", socket});
        return simtest::run(args);
    }

    simtest::TempDir dir;
    std::string socket = dir.file("sim.sock");
    std::unique_ptr<simtest::Child> sim;
};

TEST_F(FlashCtlTest, PrintsWhatAWriteLeftInTheFlash) {
    serve("r5-f09-54.scenario");
    std::string error;
    auto backend = hidlink::connectSocketBackend(socket, error, 2000, platform::systemClock());
    ASSERT_TRUE(backend) << error;
    simtest::UblClient client(*backend);
    ASSERT_TRUE(client.open(0xFF09, 0x11, simtest::UblClient::Frames::F09Long));
    ASSERT_TRUE(client.enterUbl());
    simtest::Bytes image(0x600);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::size_t failedAt = 0;
    simtest::UblClient::Answer last;
    ASSERT_TRUE(client.writeImage(0x01, image, failedAt, last)) << failedAt;

    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%04X\n", std::accumulate(image.begin(), image.end(), 0u) & 0xFFFFu);
    auto r = ctl({"flash", "0", "--checksum"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, sum) << "the sum of the image just written";
    // Past the image the factory firmware is still there.
    r = ctl({"flash", "0", "--checksum", "--size", "0x800"});
    unsigned factory = 0;
    for (std::uint32_t k = 0x600; k < 0x800; ++k) factory += sim::FlashModel::factoryByte(k);
    std::snprintf(sum, sizeof sum, "0x%04X\n", (std::accumulate(image.begin(), image.end(), 0u) + factory) & 0xFFFFu);
    EXPECT_EQ(r.out, sum);

    const std::string out = dir.file("flash.bin");
    r = ctl({"flash", "0", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream in(out, std::ios::binary);
    const simtest::Bytes back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, image);

    r = ctl({"flash", "0", "--size", "20"});
    EXPECT_EQ(r.out,
              "08000: 03 0A 11 18 1F 26 2D 34 3B 42 49 50 57 5E 65 6C\n"
              "08010: 73 7A 81 88\n");
}

// F11 over the socket: the controller leaves, comes back as 0x0094, takes a full image and
// restarts with its version, as romwrite will see it.
TEST_F(FlashCtlTest, F11WriteAcrossTheReenumerations) {
    serve("r6-f11.scenario");
    std::string error;
    auto backend = hidlink::connectSocketBackend(socket, error, 2000, platform::systemClock());
    ASSERT_TRUE(backend) << error;
    simtest::UblClient client(*backend);
    using Frames = simtest::UblClient::Frames;
    ASSERT_TRUE(client.open(0xFF11, 0x11, Frames::F11));
    ASSERT_TRUE(client.enterUbl());
    client.close();
    // The simulator runs on the real clock: wait for the bootloader to enumerate.
    const auto until = [&](std::uint16_t pid) {
        for (int i = 0; i < 100; ++i) {
            if (client.open(0xFF11, 0x11, Frames::F11) && client.productId == pid) return true;
            client.close();
            platform::systemClock().sleepMs(50);
        }
        return false;
    };
    ASSERT_TRUE(until(0x0094));
    ASSERT_EQ(client.command(0x90, {}, 0x01).status, 0);
    simtest::Bytes image(0x24000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
    image[0x10] = 0x09;
    image[0x11] = 0x02;
    std::size_t failedAt = 0;
    simtest::UblClient::Answer last;
    ASSERT_TRUE(client.writeImage(0x01, image, failedAt, last)) << failedAt;
    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%04X\n", std::accumulate(image.begin(), image.end(), 0u) & 0xFFFFu);
    EXPECT_EQ(ctl({"flash", "0", "--checksum"}).out, sum);
    ASSERT_TRUE(client.set(client.frame(0x03, 0)));
    client.close();
    ASSERT_TRUE(until(0x0A52));
    EXPECT_EQ(client.version, 0x0209);
    EXPECT_NE(ctl({"list"}).out.find("0x0A52\t0x0209"), std::string::npos);
}

TEST_F(FlashCtlTest, RefusesWhatItCannotShow) {
    serve("table-r6.scenario");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* err;
    };
    const Case cases[] = {
        {{"flash", "0"}, 1, "device 0 has no program flash"},
        {{"flash", "7"}, 1, "no simulated device 7"},
        {{"flash", "0", "--size", "0x40001"}, 2, "usage:"},
        {{"flash", "0", "--checksum", "--out", "x"}, 2, "usage:"},
        {{"flash"}, 2, "usage:"},
    };
    for (const Case& c : cases) {
        const auto r = ctl(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.size();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

}  // namespace
