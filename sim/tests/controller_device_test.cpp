#include <gtest/gtest.h>

#include <functional>

#include "controller_fixture.h"
#include "controllerlink/vendor_ids.h"

namespace {

using simtest::Bytes;
using simtest::ControllerBench;

TEST(ControllerCollections, GenerationAndModeChooseTheCollections) {
    struct Case {
        sim::Generation gen;
        std::uint16_t touchUsage;
        std::uint32_t page, penUsage, pid;
    };
    const Case cases[] = {
        {sim::Generation::R6, 0x11, 0xFF11, 0x02, 0x0A52},
        {sim::Generation::R5, 0x11, 0xFF09, 0x13, 0x0952},
        {sim::Generation::R6, 0x0B, 0xFF11, 0x0A, 0x0A52},
        {sim::Generation::R5, 0x0B, 0xFF09, 0x0A, 0x0952},
    };
    for (const Case& c : cases) {
        sim::ControllerConfig cfg;
        cfg.generation = c.gen;
        cfg.touchUsage = c.touchUsage;
        ControllerBench b(cfg);
        std::vector<hidlink::CollectionIdentity> ids;
        // Driver mode adds the system's digitizer collection (a touch screen) on a third node.
        const bool driver = c.touchUsage == 0x0B;
        ASSERT_EQ(b.table.enumerateCollections(ids, 100), driver ? 3u : 2u);
        EXPECT_EQ(ids[0], (hidlink::CollectionIdentity{controllerlink::VID_PRIMARY, c.pid, c.page, c.touchUsage}));
        EXPECT_EQ(ids[1], (hidlink::CollectionIdentity{controllerlink::VID_PRIMARY, c.pid, c.page, c.penUsage}));
        if (driver) {
            EXPECT_EQ(ids[2], (hidlink::CollectionIdentity{controllerlink::VID_PRIMARY, c.pid, 0x0D, 0x04}));
        }
        EXPECT_TRUE(b.open());
    }
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(b.open()); }
    ControllerBench b;
};

TEST_F(ControllerTest, MaintenanceCommandsNeedMaintenanceMode) {
    EXPECT_EQ(b.get(ControllerBench::kTouch, 2, 2), (Bytes{2, 0}));
    EXPECT_FALSE(b.select(0x15));
    EXPECT_TRUE(b.answer9().empty());
    ASSERT_TRUE(b.maintenance());
    EXPECT_EQ(b.get(ControllerBench::kTouch, 2, 2), (Bytes{2, 1}));
    EXPECT_TRUE(b.select(0x15));
    EXPECT_FALSE(b.answer9().empty());
    EXPECT_TRUE(b.set(ControllerBench::kTouch, {2, 0}));
    EXPECT_TRUE(b.answer9().empty());
    EXPECT_FALSE(b.set(ControllerBench::kTouch, {2, 7}));
}

TEST_F(ControllerTest, RegisterImageRoundTrip) {
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.select(0x15));
    Bytes first = b.answer9(), second = b.answer9();
    ASSERT_EQ(first[1] & 0x0F, 5);
    ASSERT_EQ(first[2], 0);
    ASSERT_EQ(second[2], 1);
    // word 41 = bytes 82..83 of the image = bytes 26..27 of the second answer
    EXPECT_EQ(ControllerBench::u16(second, 4 + 82 - 60), 0x482Eu);
    EXPECT_EQ(second[45], 0) << "automatic calibration runs at power-on";
    EXPECT_EQ(ControllerBench::u16(second, 41), 0x11C0u);
    EXPECT_EQ(ControllerBench::u16(second, 43), 0x0B40u);
    EXPECT_EQ(second[50], 8);

    Bytes image(92);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_TRUE(b.writeImage(image));
    ASSERT_TRUE(b.command({9, 0, 1}));  // automatic calibration off
    ASSERT_TRUE(b.select(0x15));
    first = b.answer9();
    second = b.answer9();
    Bytes back(first.begin() + 4, first.end());
    back.insert(back.end(), second.begin() + 4, second.begin() + 36);
    EXPECT_EQ(back[90] & 1, 0) << "bit 0 of word 45 is the controller's: a new image stops the scan";
    back[90] = static_cast<std::uint8_t>((back[90] & 0xFE) | (image[90] & 1));
    EXPECT_EQ(back, image);
    EXPECT_EQ(second[45], 1);
    EXPECT_FALSE(b.command({9, 2, 2, 0})) << "the image has two parts";
    EXPECT_FALSE(b.command({9, 2, 0, 1}));
    EXPECT_FALSE(b.command({9, 0, 3}));
}

TEST_F(ControllerTest, MaintenanceVersionAndTouchQuery) {
    const Bytes q = b.get(ControllerBench::kTouch, 4, 16);
    ASSERT_EQ(q.size(), 16u);
    EXPECT_EQ(ControllerBench::u16(q, 11), 0x0120u);
    EXPECT_EQ(q[13], 3);
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.command({9, 1, 0, 0x0A}));
    const Bytes v = b.answer9();
    EXPECT_EQ(Bytes(v.begin() + 2, v.begin() + 12), (Bytes{0x02, 0x10, 0x00, 0x00, 0x00, 0x05, 0, 0, 0, 0}));
}

// Frame content follows register word 12 (0 raw, 8 calibration, anything else actual data);
// bit 1 of word 17 cancels the Rx part of the raw floor.
TEST_F(ControllerTest, FramesFollowRegisterWords12And17) {
    struct Case {
        std::uint16_t word12, word17;
        std::uint8_t type;
        std::function<int(int t, int r)> level;
    };
    const Case cases[] = {
        {0, 0, 0x0B, [](int t, int r) { return 2000 + 4 * t + 2 * r; }},
        {0, 2, 0x0B, [](int t, int) { return 2000 + 4 * t; }},
        {8, 0, 0x0B, [](int t, int) { return 500 + t; }},
        {1, 0, 0x0B, [](int t, int) { return 300 + t; }},
        {1, 0, 0x12, [](int t, int) { return 300 + t; }},
    };
    ASSERT_TRUE(b.maintenance());
    for (const Case& c : cases) {
        auto image = b.device->registers();
        image[24] = static_cast<std::uint8_t>(c.word12);
        image[25] = 0;
        image[34] = static_cast<std::uint8_t>(c.word17);
        image[35] = 0;
        ASSERT_TRUE(b.writeImage(image));
        ASSERT_TRUE(b.select(c.type));
        const std::vector<int> cells = b.readFrame(72, 46, c.type);
        ASSERT_EQ(cells.size(), 72u * 46u);
        for (int t : {0, 17, 45})
            for (int r : {0, 40, 71})
                EXPECT_EQ(cells[static_cast<std::size_t>(t * 72 + r)], c.level(t, r)) << t << "," << r;
    }
}

TEST_F(ControllerTest, FrameAnswersWrapRowsAndStartOverAfterTheLastRow) {
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.command({9, 2, 0, 0}));  // part 0 of an all-zero image: word 12 = 0 (raw)
    ASSERT_TRUE(b.select(0x0B));
    // 72 x 46 cells = 110 full answers and one of 12 cells
    for (int i = 0; i < 110; ++i) ASSERT_FALSE(b.answer9().empty());
    const Bytes last = b.answer9();
    EXPECT_EQ(last[2], (110 * 30) % 72);
    EXPECT_EQ(last[3], 45);
    EXPECT_EQ(ControllerBench::s16(last, 4 + 2 * 11), 2000 + 4 * 45 + 2 * 71);
    EXPECT_EQ(ControllerBench::s16(last, 4 + 2 * 12), 0) << "no samples past the frame";
    const Bytes next = b.answer9();
    EXPECT_EQ(next[2], 0);
    EXPECT_EQ(next[3], 0);
}

TEST(ControllerPanel, OpenRxLineReadsATenthInItsColumn) {
    sim::ControllerConfig cfg = ControllerBench::quietConfig();
    cfg.panel.openRx = {3};
    ControllerBench b(cfg);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.command({9, 2, 0, 0}));
    ASSERT_TRUE(b.select(0x0B));
    const std::vector<int> cells = b.readFrame(72, 46);
    ASSERT_EQ(cells.size(), 72u * 46u);
    EXPECT_EQ(cells[3], 201);             // (2000 + 0 + 6) / 10 = 200.6, rounded
    EXPECT_EQ(cells[10 * 72 + 3], 205);   // (2000 + 40 + 6) / 10 = 204.6
    EXPECT_EQ(cells[10 * 72 + 4], 2048);  // the neighbour is healthy
}

TEST(ControllerPanel, RegisterWord41SetsTheFrameShape) {
    ControllerBench b;
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    auto image = b.device->registers();
    image[24] = image[25] = 0;
    image[82] = 0x28;  // 0x4828: 72 Rx, 40 Tx
    ASSERT_TRUE(b.writeImage(image));
    ASSERT_TRUE(b.select(0x0B));
    const std::vector<int> cells = b.readFrame(72, 40);
    ASSERT_EQ(cells.size(), 72u * 40u);
    const Bytes restart = b.answer9();
    EXPECT_EQ(restart[3], 0) << "the frame ends after 40 rows";
}

TEST(ControllerPins, PinCheckAnswerCarriesTheInjectedFaults) {
    sim::ControllerConfig cfg = ControllerBench::quietConfig();
    cfg.panel.pinFaults = {{true, 12, true}, {true, 71, false}, {false, 47, true}, {false, 0, false}};
    ControllerBench b(cfg);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    ASSERT_TRUE(b.command({9, 2, 7, 0, 0x64, 0, 0, 0, 0x20, 0x03}));
    ASSERT_TRUE(b.select(0x18));
    const Bytes a = b.answer9();
    ASSERT_EQ(a[1] & 0x0F, 8);
    Bytes expected(64, 0);
    expected[0] = 9;
    expected[1] = 0x18;
    expected[3 + 1] = 0x10;   // Rx 12 to Vdd
    expected[12 + 8] = 0x80;  // Rx 71 to Gnd
    expected[21 + 5] = 0x80;  // Tx 47 to Vdd
    expected[27] = 0x01;      // Tx 0 to Gnd
    EXPECT_EQ(a, expected);
}

TEST_F(ControllerTest, CalibrationTableCarriesTheLutsAsWritten) {
    ASSERT_TRUE(b.maintenance());
    auto readTable = [&] {
        std::vector<unsigned> words;
        EXPECT_TRUE(b.select(0x19));
        while (words.size() < 660) {
            const Bytes a = b.answer9();
            EXPECT_EQ(a[1] & 0x0F, 9);
            EXPECT_EQ(ControllerBench::u16(a, 2), 2 * words.size());
            for (std::size_t i = 0; i < 30; ++i) words.push_back(ControllerBench::u16(a, 4 + 2 * i));
        }
        return words;
    };
    std::vector<unsigned> t = readTable();
    for (unsigned n = 0; n < 72; ++n) EXPECT_EQ(t[110 + n], 0x0100u | n);
    for (unsigned n = 0; n < 46; ++n) EXPECT_EQ(t[182 + n], 0x0100u | n);
    EXPECT_EQ(t[109], 0u);
    EXPECT_EQ(t[228], 0u);

    // X-LUT in three parts (30, 30, 12 items), Y-LUT in two (30, 16).
    auto lutPart = [](std::uint8_t block, std::uint8_t part, unsigned base, unsigned first, unsigned count) {
        Bytes r = ControllerBench::report({9, 2, block, part}, 64);
        for (unsigned i = 0; i < count; ++i) {
            r[4 + 2 * i] = static_cast<std::uint8_t>((base + first + i) & 0xFF);
            r[5 + 2 * i] = static_cast<std::uint8_t>((base + first + i) >> 8);
        }
        return r;
    };
    ASSERT_TRUE(b.set(ControllerBench::kTouch, lutPart(9, 0, 0x0200, 0, 30)));
    ASSERT_TRUE(b.set(ControllerBench::kTouch, lutPart(9, 1, 0x0200, 30, 30)));
    ASSERT_TRUE(b.set(ControllerBench::kTouch, lutPart(9, 2, 0x0200, 60, 12)));
    ASSERT_TRUE(b.set(ControllerBench::kTouch, lutPart(0x0A, 0, 0x0300, 0, 30)));
    ASSERT_TRUE(b.set(ControllerBench::kTouch, lutPart(0x0A, 1, 0x0300, 30, 16)));
    EXPECT_FALSE(b.set(ControllerBench::kTouch, lutPart(9, 3, 0, 0, 0)));
    EXPECT_FALSE(b.set(ControllerBench::kTouch, lutPart(0x0A, 2, 0, 0, 0)));
    t = readTable();
    for (unsigned n = 0; n < 72; ++n) EXPECT_EQ(t[110 + n], 0x0200u + n);
    for (unsigned n = 0; n < 46; ++n) EXPECT_EQ(t[182 + n], 0x0300u + n);
    EXPECT_EQ(t[228], 0u) << "the Y-LUT's last part writes 16 items, no more";
}

TEST_F(ControllerTest, ScanAreaMustLieOnThePanel) {
    ASSERT_TRUE(b.maintenance());
    EXPECT_TRUE(b.command({9, 2, 0x0D, 0, 0, 0, 72, 46}));
    EXPECT_FALSE(b.command({9, 2, 0x0D, 0, 0, 0, 127, 46}));
    EXPECT_FALSE(b.command({9, 2, 0x0D, 0, 0, 0, 72, 0}));
    EXPECT_TRUE(b.command({9, 2, 6, 0, 0}));
    EXPECT_FALSE(b.command({9, 2, 0x0C, 0}));
}

}  // namespace

namespace {

// Refusal rules fail exactly the matching exchange, as often as asked, and leave the rest.
TEST(ControllerRefusals, RulesRefuseOnlyTheirExchangeAndRunOut) {
    sim::ControllerConfig config = ControllerBench::quietConfig();
    config.refuse.push_back({true, {9, 2, 0, 0}, 2});  // the register image's first part, twice
    ControllerBench b(config);
    ASSERT_TRUE(b.open());
    ASSERT_TRUE(b.maintenance());
    const auto part0 = ControllerBench::report({9, 2, 0, 0}, 64);
    const auto part1 = ControllerBench::report({9, 2, 1, 0}, 64);
    EXPECT_FALSE(b.set(ControllerBench::kTouch, part0));
    EXPECT_TRUE(b.set(ControllerBench::kTouch, part1));
    EXPECT_FALSE(b.set(ControllerBench::kTouch, part0));
    EXPECT_TRUE(b.set(ControllerBench::kTouch, part0));  // used up

    // A get rule matches the answer: the register answer goes, the version answer stays.
    b.device->refuseExchange({false, {9, 0x15}, 0});
    ASSERT_TRUE(b.select(0x15));
    EXPECT_TRUE(b.answer9().empty());
    EXPECT_TRUE(b.answer9().empty());
    ASSERT_TRUE(b.select(0x0A));
    EXPECT_FALSE(b.answer9().empty());
    b.device->refuseExchange({false, {4}, 0});
    EXPECT_TRUE(b.get(ControllerBench::kTouch, 4, 16).empty());
    b.device->clearRefusals();
    EXPECT_FALSE(b.get(ControllerBench::kTouch, 4, 16).empty());
    ASSERT_TRUE(b.select(0x15));
    EXPECT_FALSE(b.answer9().empty());
}

}  // namespace
