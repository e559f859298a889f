#include "romwrite/protocol/frames.h"

#include <gtest/gtest.h>

#include <numeric>

namespace romwrite {
namespace {

TEST(Frames, ShortFrameCheckBytes) {
    const auto mode = buildCommand(FrameKind::Short, CMD_MODE);
    ASSERT_EQ(mode.size(), 74u);
    EXPECT_EQ(mode[72], 0xA1);  // -(0x07 + 0x07 + 0x51)
    EXPECT_EQ(mode[73], 0x00);

    std::vector<std::uint8_t> data(64);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    const auto block = buildBlock(FrameKind::Short, CMD_WRITE, 3, 0x8040, data);
    unsigned head = 0x51, body = 0;
    for (int i = 0; i < 8; ++i) head += block[i];
    for (int i = 8; i < 72; ++i) body += block[i];
    EXPECT_EQ((head + block[72]) & 0xFF, 0u);
    EXPECT_EQ((body + block[73]) & 0xFF, 0u);
    EXPECT_EQ(block[7], 0x08);
}

TEST(Frames, BlockLayoutPerProtocol) {
    struct Case {
        FrameKind kind;
        std::size_t length, block;
        std::uint8_t lengthByte;
    } cases[] = {{FrameKind::F11, 257, 128, 0x10}, {FrameKind::Long, 520, 512, 0x40}, {FrameKind::Short, 74, 64, 0x08}};
    for (const Case& c : cases) {
        std::vector<std::uint8_t> data(c.block, 0x5A);
        const auto f = buildBlock(c.kind, CMD_ENC_WRITE, 0xFE, 0x00012345, data);
        ASSERT_EQ(f.size(), c.length);
        EXPECT_EQ(f[0], 7);
        EXPECT_EQ(f[1], CMD_ENC_WRITE);
        EXPECT_EQ(f[2], 0xFE);
        EXPECT_EQ(f[3], 0x45);
        EXPECT_EQ(f[4], 0x23);
        EXPECT_EQ(f[5], 0x01);
        EXPECT_EQ(f[6], 0x00);
        EXPECT_EQ(f[7], c.lengthByte);
        EXPECT_EQ(f[8], 0x5A);
        EXPECT_EQ(f[8 + c.block - 1], 0x5A);
    }
    // Fewer data bytes than a block never read past them; the rest is flash filler.
    const std::vector<std::uint8_t> few(3, 1);
    const auto f = buildBlock(FrameKind::F11, CMD_WRITE, 1, 0x8000, few);
    EXPECT_EQ(f[10], 1);
    EXPECT_EQ(f[11], 0xFF);
    EXPECT_EQ(f[135], 0xFF);
    EXPECT_EQ(f[136], 0);
}

}  // namespace
}  // namespace romwrite
