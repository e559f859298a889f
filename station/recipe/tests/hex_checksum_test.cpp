#include "station/recipe/hex_checksum.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "intelhex/tests/hex_fixture.h"
#include "platform/tests/fifo_guard.h"
#include "romwrite/image/firmware_image.h"

using hexfixture::eof;
using hexfixture::fill;
using hexfixture::record;

namespace {

std::uint16_t filler(std::uint32_t bytes) { return static_cast<std::uint16_t>(bytes * 0xFFu % 65536); }

TEST(HexChecksum, ImagesWithoutTheWritersLimits) {
    struct Case {
        const char* name;
        std::string text;
        std::uint32_t expected;
    };
    const std::string first = record(0, 0x8000, {0x01});
    const Case cases[] = {
        {"empty file", "", 0xFE00},
        {"end of file only", eof(), 0xFE00},
        {"16 bytes at 0x0000", fill(0x0000, 16, 0x01) + eof(), (16 + filler(512 - 16)) % 65536u},
        {"starts at 0x8100", fill(0x8100, 0x100, 0x02) + eof(), (0x200 + filler(0x100)) % 65536u},
        {"beyond the writer's 0x2C000", fill(0x8000, 0x2C001, 0x00) + eof(), filler(0x2C200 - 0x2C001)},
        {"linear 0x0001 after a first record at 0x8000", first + hexfixture::linear(1) + record(0, 0, {0x03}) + eof(),
         (1 + 3 + filler(0x8200 - 2)) % 65536u},
        {"start segment record between data records",
         first + record(3, 0, {0x12, 0x34, 0, 0}) + record(0, 0x8001, {0x05}) + eof(),
         (1 + 5 + filler(0x200 - 2)) % 65536u},
        {"NUL byte between records",
         first + std::string("\0\r\n", 3) + record(0, 0x8001, {0x05}) + std::string(1, '\0') + eof(),
         (1 + 5 + filler(0x200 - 2)) % 65536u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint16_t sum = 0;
        ASSERT_TRUE(station::computeHexChecksumOfText(c.text, sum));
        EXPECT_EQ(sum, c.expected);
    }
}

TEST(HexChecksum, MalformedFilesFail) {
    const std::string body = fill(0x8000, 0x20, 0x11);
    const std::string cases[] = {
        body + record(0, 0x8020, {1}, "\n") + eof(),                    // LF only
        body + ":0100000300FB\r\n",                                     // start segment record, bad checksum
        body + record(6, 0, {}) + eof(),                                // record type 06
        body + std::string(":01802000\0", 10) + "FE\r\n" + eof(),       // NUL inside a record
        body + ":02802000AB\r\n",                                       // count says more bytes than the line has
        body + hexfixture::linear(0x0007) + record(0, 0, {1}) + eof(),  // past the 0x60000 image
        body + fill(0x7000, 1, 0) + eof(),                              // below the first record
    };
    for (const auto& text : cases) {
        std::uint16_t sum = 0x1234;
        EXPECT_FALSE(station::computeHexChecksumOfText(text, sum)) << text.substr(text.size() - 40);
    }
}

TEST(HexChecksum, AFileNotReadChecksumsAsEmptyImageAndSaysWhy) {
    platform::test::IdleFifo fifo;
    struct Case {
        std::string path, why;
    } cases[] = {
        {"/nonexistent/vorlick/fw_0A52_0103.hex", "No such file or directory"},
        {fifo.path(), "is not a regular file but a FIFO"},
        {"/dev/zero", "is not a regular file but a character device"},
        {fifo.dir(), "is a directory"},
    };
    for (const auto& c : cases) {
        std::uint16_t sum = 0;
        bool ok = false;
        platform::Failure why;
        EXPECT_FALSE(platform::test::blockedOnFifo(fifo.path(), [&] {
            ok = station::computeHexChecksum(c.path, sum, &why);
        })) << c.path;
        EXPECT_TRUE(ok);
        EXPECT_EQ(sum, 0xFE00);
        EXPECT_EQ(why.text(), c.path + ": " + c.why);
    }
}

// The example images: checksums worked out from the generator's data outside this code (the R6
// image leaves 0x9000..0x91FF erased), and the writer must show the same value.
TEST(HexChecksum, ExampleImagesMatchTheWriter) {
    struct Case {
        const char* file;
        std::uint16_t checksum;
        std::uint32_t size;
    };
    for (const auto& c : {Case{"fw_r6_0A52_0103.hex", 0x5F64, 0xB800}, Case{"fw_r5_0952_0207.hex", 0xA82A, 0x5C00}}) {
        SCOPED_TRACE(c.file);
        const std::string path = std::string(VORLICK_SOURCE_DIR) + "/examples/station/" + c.file;
        std::uint16_t sum = 0;
        ASSERT_TRUE(station::computeHexChecksum(path, sum));
        EXPECT_EQ(sum, c.checksum);

        romwrite::FirmwareImage image;
        std::string error;
        ASSERT_TRUE(romwrite::loadHexImage(image, path, error)) << error;
        EXPECT_EQ(image.checksum, c.checksum);
        EXPECT_EQ(image.size, c.size);
        EXPECT_TRUE(image.encCapable);
    }
}

}  // namespace
