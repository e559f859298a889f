#include "station/device/hsync_tunnel.h"

#include <gtest/gtest.h>

#include "station/device/tests/device_bench.h"

namespace {

using testfx::Bytes;

Bytes tunnel(std::initializer_list<std::uint8_t> head) {
    Bytes a(262, 0);
    std::copy(head.begin(), head.end(), a.begin());
    return a;
}

TEST(HsyncTunnel, RequestFrameAndEchoesFollowTheMcuStates) {
    testfx::Bench b;
    b.device->queue(0x12, tunnel({0x12, 0x00}));  // not taken yet
    b.device->queue(0x12, tunnel({0x12, 0x43, 0x01, 0x07}));
    b.device->queue(0x12, tunnel({0x12, 0x83, 0x01, 0x01, 0x06}));
    b.device->queue(0x12, tunnel({0x12, 0x43}));  // stale state while the data is prepared
    b.device->queue(0x12, tunnel({0x12, 0x83, 0x01, 0x02, 0x31, 0x0A}));
    std::uint16_t value = 0;
    ASSERT_EQ(station::hsyncRequest(b.pen, station::kHsyncProductId, value), station::HsyncStatus::Ok);
    EXPECT_EQ(value, 0x0A31);
    const auto sets = b.device->sets();
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0].size(), 262u);
    EXPECT_EQ(Bytes(sets[0].begin(), sets[0].begin() + 10),
              (Bytes{0x12, 0x40, 0x01, 0x03, 0x51, 0x21, 0x71, 0x1A, 0x03, 0}));
    // Each read request is the last answer sent back with byte 1 = 0x80.
    EXPECT_EQ(Bytes(sets[1].begin(), sets[1].begin() + 4), (Bytes{0x12, 0x80, 0x01, 0x07}));
    EXPECT_EQ(Bytes(sets[2].begin(), sets[2].begin() + 5), (Bytes{0x12, 0x80, 0x01, 0x01, 0x06}));
}

TEST(HsyncTunnel, StatusOfEachFailure) {
    struct Case {
        const char* what;
        std::vector<Bytes> answers;
        station::HsyncStatus status;
    };
    const std::vector<Case> cases = {
        {"not acknowledged",
         {tunnel({0x12, 0x43}), tunnel({0x12, 0x83, 0, 0x01, 0x15})},
         station::HsyncStatus::NotAcknowledged},
        {"read refused", {tunnel({0x12, 0x43})}, station::HsyncStatus::ReadRefused},
        {"too old",
         {tunnel({0x12, 0x43}), tunnel({0x12, 0x83, 0, 0, 0x06}), tunnel({0x12, 0x83, 0, 0, 0xCA, 0xFE})},
         station::HsyncStatus::OldFirmware},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testfx::Bench b;
        for (const auto& a : c.answers) b.device->queue(0x12, a);
        std::uint16_t value = 0;
        EXPECT_EQ(station::hsyncRequest(b.pen, station::kHsyncSample, value), c.status);
    }
}

TEST(HsyncTunnel, RetriesUpToThreeTimes) {
    testfx::Bench b;
    b.device->generate(0x12, [] { return tunnel({0x12, 0x43}); });  // taken, never answered
    std::uint16_t value = 0;
    EXPECT_EQ(station::hsyncRequestWithRetries(b.pen, station::kHsyncNoise, value), station::HsyncStatus::Timeout);
    std::size_t requests = 0;
    for (const auto& s : b.device->sets()) requests += s[1] == 0x40 ? 1 : 0;
    EXPECT_EQ(requests, 3u);
}

}  // namespace
