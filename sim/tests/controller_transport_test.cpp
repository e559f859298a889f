#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "controller_fixture.h"

namespace {

using simtest::Bytes;
using simtest::ControllerBench;

sim::ControllerConfig driverMode() {
    sim::ControllerConfig c = ControllerBench::quietConfig();
    c.touchUsage = 0x0B;
    return c;
}

Bytes wrapped(std::uint8_t tag, const Bytes& inner) {
    Bytes w(1024, 0);
    w[0] = tag;
    w[1] = static_cast<std::uint8_t>(inner.size() >> 8);
    w[2] = static_cast<std::uint8_t>(inner.size() & 0xFF);
    std::copy(inner.begin(), inner.end(), w.begin() + 3);
    return w;
}

class DriverModeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(b.open()); }
    ControllerBench b{driverMode()};
};

TEST_F(DriverModeTest, WrappedSetsReachTheCommandSet) {
    EXPECT_TRUE(b.set(ControllerBench::kTouch, wrapped(0xBB, {2, 1})));
    EXPECT_EQ(b.device->mode(), 1);
    Bytes select = ControllerBench::report({9, 1, 1, 5}, 64);
    EXPECT_TRUE(b.set(ControllerBench::kTouch, wrapped(0xBB, select)));
    // The host asks for report 9 by the header; the answer repeats the header.
    Bytes ask = wrapped(0xBB, {9});
    ask[2] = 64;
    EXPECT_EQ(b.device->getFeature(sim::ControllerDevice::kTouchInterface, ask), 1024);
    EXPECT_EQ(Bytes(ask.begin(), ask.begin() + 6), (Bytes{0xBB, 0, 64, 9, 0x15, 0}));
    EXPECT_EQ(ask[3 + 4 + 2], 24) << "register byte 2 of the power-on image";
    EXPECT_TRUE(std::all_of(ask.begin() + 3 + 64, ask.end(), [](std::uint8_t v) { return v == 0; }))
        << "padding past the 64-byte report";
}

TEST_F(DriverModeTest, WrappedGetWithoutHeaderAnswersTheLastAddressedReport) {
    // Through a transport that carries only the report id, before any set: the query.
    Bytes q = b.get(ControllerBench::kTouch, 0xBB, 1024);
    ASSERT_EQ(q.size(), 1024u);
    EXPECT_EQ(Bytes(q.begin(), q.begin() + 4), (Bytes{0xBB, 0, 16, 4}));
    EXPECT_EQ(ControllerBench::u16(q, 3 + 11), 0x0120u);
    ASSERT_TRUE(b.set(ControllerBench::kTouch, wrapped(0xBB, {2, 1})));
    q = b.get(ControllerBench::kTouch, 0xBB, 1024);
    EXPECT_EQ(Bytes(q.begin(), q.begin() + 5), (Bytes{0xBB, 0, 2, 2, 1}));
    // The pen side answers its query the same way, also after a set with nothing to fetch.
    Bytes pen = b.get(ControllerBench::kPen, 0xBA, 1024);
    EXPECT_EQ(Bytes(pen.begin(), pen.begin() + 4), (Bytes{0xBA, 0, 9, 5}));
    ASSERT_TRUE(
        b.set(ControllerBench::kPen, wrapped(0xBA, ControllerBench::report({0x10, 0x02, 0, 0, 0, 0, 0xC0, 0x11}, 64))));
    pen = b.get(ControllerBench::kPen, 0xBA, 1024);
    EXPECT_EQ(Bytes(pen.begin(), pen.begin() + 5), (Bytes{0xBA, 0, 64, 0x10, 0x02}));
    ASSERT_TRUE(b.set(ControllerBench::kPen, wrapped(0xBA, ControllerBench::report({11, 1}, 64))));
    pen = b.get(ControllerBench::kPen, 0xBA, 1024);
    EXPECT_EQ(Bytes(pen.begin(), pen.begin() + 4), (Bytes{0xBA, 0, 9, 5}));
}

TEST_F(DriverModeTest, OnlyTheTwoExceptionsTravelUnwrapped) {
    auto& dev = *b.device;
    constexpr std::size_t touch = sim::ControllerDevice::kTouchInterface;
    EXPECT_TRUE(b.set(ControllerBench::kTouch, {3, 4})) << "home-key mode switch";
    EXPECT_FALSE(b.set(ControllerBench::kTouch, {3, 1}));
    Bytes block(263, 0);
    block[0] = 15;
    block[3] = 2;
    EXPECT_TRUE(b.set(ControllerBench::kTouch, block));
    block[3] = 1;
    EXPECT_FALSE(b.set(ControllerBench::kTouch, block));
    // A plain maintenance report on a wrapped collection, and broken wrappers.
    EXPECT_FALSE(dev.setFeature(touch, ControllerBench::report({2, 1}, 2)));
    Bytes tooLong = wrapped(0xBB, {2, 1});
    tooLong[1] = 0x04;  // 1024 bytes of report cannot follow a 3-byte header in 1024
    EXPECT_FALSE(dev.setFeature(touch, tooLong));
    Bytes empty = wrapped(0xBB, {2, 1});
    empty[2] = 0;
    EXPECT_FALSE(dev.setFeature(touch, empty));
    EXPECT_FALSE(dev.setFeature(touch, Bytes{0xBB, 0, 2}));
    EXPECT_EQ(dev.mode(), 0);
    EXPECT_FALSE(b.set(ControllerBench::kPen, wrapped(0xBB, {11, 1}))) << "the pen's wrapper is 0xBA";
    EXPECT_TRUE(b.set(ControllerBench::kPen, wrapped(0xBA, {11, 1})));
}

class ControllerFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(b.open());
        ASSERT_TRUE(b.maintenance());
        auto image = b.device->registers();
        image[24] = image[25] = 0;  // raw frames
        ASSERT_TRUE(b.writeImage(image));
    }
    ControllerBench b;
};

TEST_F(ControllerFaultTest, ZeroFramesAreAllZeroThenTheFramesReturn) {
    b.device->zeroFrames(2);
    ASSERT_TRUE(b.select(0x0B));
    for (int frame = 0; frame < 2; ++frame) {
        const std::vector<int> cells = b.readFrame(72, 46);
        ASSERT_EQ(cells.size(), 72u * 46u);
        EXPECT_EQ(std::count(cells.begin(), cells.end(), 0), 72 * 46) << "frame " << frame;
    }
    const std::vector<int> cells = b.readFrame(72, 46);
    ASSERT_FALSE(cells.empty());
    EXPECT_EQ(cells[0], 2000);
}

TEST_F(ControllerFaultTest, BrokenEchoAndIndicesLastTheirCount) {
    b.device->breakEcho(1);
    ASSERT_TRUE(b.select(0x0B));
    Bytes a = b.answer9();
    EXPECT_NE(a[1] & 0x0F, 0x0B);
    a = b.answer9();
    EXPECT_EQ(a[1] & 0x0F, 0x0B);
    EXPECT_EQ(a[2], 30);

    b.device->breakIndices(1);
    a = b.answer9();
    EXPECT_NE(a[2], 60);
    a = b.answer9();
    EXPECT_EQ(a[2], 90 - 72);
    EXPECT_EQ(a[3], 1);
}

TEST(ControllerReset, ResetDropsOffTheBusAndComesBackAtPowerOn) {
    sim::ControllerConfig cfg = ControllerBench::quietConfig();
    cfg.resetDelayMs = 500;
    ControllerBench b(cfg);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.writeImage(std::array<std::uint8_t, 92>{}));
    ASSERT_TRUE(b.set(ControllerBench::kTouch, {2, 0xFF}));
    EXPECT_EQ(b.device->resets(), 1u);
    EXPECT_TRUE(b.get(ControllerBench::kTouch, 2, 2).empty()) << "the old handle is gone";
    EXPECT_FALSE(b.bus.present(b.deviceId));
    b.clock.advance(499);
    EXPECT_FALSE(b.bus.present(b.deviceId));
    b.clock.advance(1);
    ASSERT_TRUE(b.bus.present(b.deviceId));
    b.table.closeCollection(ControllerBench::kTouch);
    b.table.closeCollection(ControllerBench::kPen);
    ASSERT_TRUE(b.open());
    EXPECT_EQ(b.get(ControllerBench::kTouch, 2, 2), (Bytes{2, 0}));
    EXPECT_EQ(b.device->registers()[82], 0x2E) << "power-on register image";
    EXPECT_EQ(b.device->registers()[83], 0x48);
}

TEST(ControllerReset, StuckInNormalModeRefusesTheCommandSet) {
    sim::ControllerConfig cfg = ControllerBench::quietConfig();
    cfg.stuckInNormalMode = true;
    ControllerBench b(cfg);
    ASSERT_TRUE(b.open());
    EXPECT_TRUE(b.maintenance()) << "the request is taken";
    EXPECT_EQ(b.get(ControllerBench::kTouch, 2, 2), (Bytes{2, 0}));
    EXPECT_FALSE(b.select(0x15));
}

}  // namespace
