#include <gtest/gtest.h>

#include "controller_fixture.h"

namespace {

using simtest::Bytes;
using simtest::ControllerBench;

TEST(ControllerPenQuery, LayoutFollowsTheGeneration) {
    struct Case {
        sim::Generation gen;
        std::uint16_t firmware;
        Bytes expected;
    };
    const Case cases[] = {
        // R6: big-endian maxima at 2..7, firmware in byte 8
        {sim::Generation::R6, 0x12, {5, 0, 0x3F, 0xFF, 0x2F, 0xFF, 0x0F, 0xFF, 0x12}},
        {sim::Generation::R6, 0x00, {5, 0, 0x3F, 0xFF, 0x2F, 0xFF, 0x0F, 0xFF, 0x00}},
        // R5: little-endian words at 1..8
        {sim::Generation::R5, 0x0105, {5, 0xFF, 0x3F, 0xFF, 0x2F, 0xFF, 0x0F, 0x05, 0x01}},
    };
    for (const Case& c : cases) {
        sim::ControllerConfig cfg;
        cfg.generation = c.gen;
        cfg.penFirmware = c.firmware;
        ControllerBench b(cfg);
        ASSERT_TRUE(b.open());
        EXPECT_EQ(b.get(ControllerBench::kPen, 5, 9), c.expected);
    }
}

class PenTest : public ::testing::Test {
protected:
    void SetUp() override { make({}); }
    void make(sim::ControllerConfig cfg) {
        b = std::make_unique<ControllerBench>(cfg);
        ASSERT_TRUE(b->open());
    }
    // One direct transfer: the address in payload bytes 4..5, the answer's 32-bit values
    // from payload byte 6 (report byte 8).
    std::vector<std::uint32_t> direct(std::uint16_t address) {
        Bytes r = ControllerBench::report({0x10, 0x02}, 64);
        r[2 + 4] = static_cast<std::uint8_t>(address & 0xFF);
        r[2 + 5] = static_cast<std::uint8_t>(address >> 8);
        EXPECT_TRUE(b->set(ControllerBench::kPen, r));
        const Bytes a = b->get(ControllerBench::kPen, 0x10, 64);
        std::vector<std::uint32_t> v;
        if (a.empty()) return v;
        for (std::size_t i = 8; i + 4 <= a.size(); i += 4)
            v.push_back(static_cast<std::uint32_t>(a[i] | a[i + 1] << 8 | a[i + 2] << 16) | std::uint32_t{a[i + 3]}
                                                                                                << 24);
        return v;
    }
    std::unique_ptr<ControllerBench> b;
};

TEST_F(PenTest, DirectReadsGiveTheHsyncRegisters) {
    const struct {
        std::uint16_t address;
        std::size_t count;
    } cases[] = {{0x4004, 4}, {0x501C, 5}, {0x11C0, 1}, {0x21FC, 2}, {0x1234, 0}};
    for (const auto& c : cases) {
        const auto v = direct(c.address);
        ASSERT_EQ(v.size(), 14u);
        for (std::size_t i = 0; i < v.size(); ++i)
            EXPECT_EQ(v[i] != 0, i < c.count) << std::hex << c.address << " value " << i;
    }
    EXPECT_EQ(direct(0x501C)[4] & 1u, 1u) << "Hsync enabled";
    sim::ControllerConfig cfg;
    cfg.hsyncSignal = false;
    make(cfg);
    EXPECT_EQ(direct(0x501C)[4] & 1u, 0u);
}

TEST_F(PenTest, PenMaintenanceControlTakesTheStationsReports) {
    EXPECT_TRUE(b->set(ControllerBench::kPen, ControllerBench::report({0x10, 0x81, 0x01}, 66)));
    EXPECT_TRUE(
        b->set(ControllerBench::kPen, ControllerBench::report({0x10, 0x81, 0xA4, 0x21, 0x01, 0, 0, 0, 3, 4}, 66)));
    EXPECT_TRUE(b->set(ControllerBench::kPen, ControllerBench::report({0x10, 0x90}, 66)));
    EXPECT_TRUE(b->set(ControllerBench::kPen, ControllerBench::report({0x10, 0x81, 0x02}, 66)));
    EXPECT_TRUE(b->set(ControllerBench::kPen, ControllerBench::report({11, 1}, 64)));
    EXPECT_FALSE(b->set(ControllerBench::kPen, ControllerBench::report({11, 2}, 64)));
    EXPECT_FALSE(b->set(ControllerBench::kPen, ControllerBench::report({0x10, 0x55}, 66)));
}

// The MCU tunnel as the station drives it: request (0x40), wait for 0x43, read request
// (0x80) until 0x83 with the acknowledgement, read request again until 0x83 with the data.
class HsyncTest : public PenTest {
protected:
    static Bytes request(std::uint16_t command, std::uint8_t checkAdjust = 0) {
        Bytes r = ControllerBench::report({0x12, 0x40, 0x01, 0x03, 0x51, static_cast<std::uint8_t>(command & 0xFF),
                                           static_cast<std::uint8_t>(command >> 8)},
                                          262);
        r[7] = static_cast<std::uint8_t>(0u - (r[3] + r[4] + r[5] + r[6]) + checkAdjust);
        r[8] = 0x03;
        return r;
    }
    Bytes state() { return b->get(ControllerBench::kPen, 0x12, 262); }
    bool readRequest(Bytes last) {
        last[1] = 0x80;
        return b->set(ControllerBench::kPen, last);
    }
    // The data word of one whole exchange; -1 when a state never came.
    long exchange(std::uint16_t command) {
        if (!b->set(ControllerBench::kPen, request(command))) return -1;
        Bytes a = state();
        if (a[1] != 0x43 || !readRequest(a)) return -1;
        a = state();
        if (a[1] != 0x83 || a[4] != 0x06 || !readRequest(a)) return -1;
        a = state();
        if (a[1] != 0x83) return -1;
        return a[4] | a[5] << 8;
    }
};

TEST_F(HsyncTest, FourCommandsAnswerTheirValues) {
    EXPECT_EQ(exchange(0x7121), 0x0A31);
    EXPECT_EQ(exchange(0x7122), 0x0102);
    EXPECT_EQ(exchange(0x7102), 0x0001) << "the sample 0x0100 travels high byte first";
    EXPECT_EQ(exchange(0x7104), 0);
    sim::ControllerConfig cfg;
    cfg.hsyncNoise = -2;
    make(cfg);
    EXPECT_EQ(exchange(0x7104), 0xFFFE);
}

TEST_F(HsyncTest, StatesWaitForTheAnswerDelayOnTheHostClock) {
    sim::ControllerConfig cfg;
    cfg.hsyncAnswerDelayMs = 40;
    make(cfg);
    EXPECT_EQ(state()[1], 0) << "nothing asked yet";
    ASSERT_TRUE(b->set(ControllerBench::kPen, request(0x7121)));
    EXPECT_EQ(state()[1], 0);
    b->clock.advance(39);
    EXPECT_EQ(state()[1], 0);
    b->clock.advance(1);
    Bytes a = state();
    ASSERT_EQ(a[1], 0x43);
    ASSERT_TRUE(readRequest(a));
    EXPECT_EQ(state()[1], 0) << "each state has its own delay";
    b->clock.advance(40);
    a = state();
    EXPECT_EQ(a[1], 0x83);
    EXPECT_EQ(a[4], 0x06);
}

TEST_F(HsyncTest, BadFramesAreNotAcknowledged) {
    for (const Bytes& bad : {request(0x7121, 1), request(0x7199)}) {
        ASSERT_TRUE(b->set(ControllerBench::kPen, bad));
        Bytes a = state();
        ASSERT_EQ(a[1], 0x43);
        ASSERT_TRUE(readRequest(a));
        a = state();
        EXPECT_EQ(a[1], 0x83);
        EXPECT_EQ(a[4], 0x15);
    }
    EXPECT_FALSE(b->set(ControllerBench::kPen, ControllerBench::report({0x12, 0x20}, 262)));
}

TEST_F(HsyncTest, OldFirmwareAndMissingMcu) {
    sim::ControllerConfig cfg;
    cfg.hsync = sim::HsyncMcu::OldFirmware;
    make(cfg);
    EXPECT_EQ(exchange(0x7121), 0xFECA);
    cfg.hsync = sim::HsyncMcu::None;
    make(cfg);
    ASSERT_TRUE(b->set(ControllerBench::kPen, request(0x7121)));
    b->clock.advance(10000);
    EXPECT_EQ(state()[1], 0) << "nobody behind the tunnel";
}

}  // namespace
