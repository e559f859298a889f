// This binary links a real "BIN_DAT" resource (fixture_image.bin) instead of the placeholder.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "romwrite/image/embedded_image.h"

using namespace romwrite;

TEST(LinkedImage, LoadsTheLinkedResource) {
    std::ifstream in(VORLICK_FIXTURE_RESOURCE, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(file.size(), 16u);
    const auto linked = embeddedResource();
    ASSERT_EQ(std::vector<std::uint8_t>(linked.begin(), linked.end()), file);

    ASSERT_TRUE(hasEmbeddedImage());
    FirmwareImage image;
    EmbeddedOptions options;
    std::string error;
    ASSERT_TRUE(loadEmbeddedImage(image, options, error)) << error;

    // The fixture: 0x1234 payload bytes, product id 0x0A52, version 0x0103, flags 0x02C2.
    const std::size_t payload = 0x1234;
    ASSERT_EQ(file.size(), 16 + payload);
    std::uint32_t sum = 0;
    for (std::size_t k = 16; k < file.size(); ++k) sum += file[k];
    sum += (0x1400 - payload) * 0xFF;

    EXPECT_TRUE(image.valid);
    EXPECT_EQ(image.start, 0x8000u);
    EXPECT_EQ(image.size, 0x1400u);
    EXPECT_EQ(image.checksum, sum % 65536);
    EXPECT_TRUE(std::equal(file.begin() + 16, file.end(), image.bytes.begin()));
    EXPECT_EQ(image.bytes[payload], 0xFF);
    EXPECT_EQ(image.lockedPid, 0x0A52u);
    EXPECT_EQ(image.fileVersion, 0x0103u);
    EXPECT_FALSE(image.encCapable);
    EXPECT_EQ(options.kind, JOB_WRITE);
    EXPECT_TRUE(options.completionBox);
    EXPECT_TRUE(options.pidLock);
    EXPECT_TRUE(options.embeddedMode);
    EXPECT_FALSE(options.exitOnError);
}
