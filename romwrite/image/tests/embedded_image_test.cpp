#include "romwrite/image/embedded_image.h"

#include <gtest/gtest.h>

using namespace romwrite;

namespace {

struct Header {
    std::uint32_t length = 0x300;
    std::uint32_t start = 0x8000;
    std::uint16_t pid = 0x0A52, version = 0x0103, reserved = 0, flags = 0;
};

// A resource with `payload` bytes of 0x01 after the header; length may claim otherwise.
std::vector<std::uint8_t> resource(const Header& h, std::size_t payload) {
    std::vector<std::uint8_t> r;
    auto put = [&r](std::uint32_t v, int n) {
        for (int k = 0; k < n; ++k) r.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    };
    put(h.length, 4);
    put(h.start, 4);
    put(h.pid, 2);
    put(h.version, 2);
    put(h.reserved, 2);
    put(h.flags, 2);
    r.resize(r.size() + payload, 0x01);
    return r;
}
std::vector<std::uint8_t> resource(const Header& h) { return resource(h, h.length); }

TEST(EmbeddedImage, PresenceTest) {
#ifdef VORLICK_HAS_SITE_IMAGE
    EXPECT_TRUE(hasEmbeddedImage()) << "the image given to VORLICK_EMBEDDED_IMAGE counts as absent";
#else
    EXPECT_FALSE(hasEmbeddedImage()) << "the delivered program carries only the placeholder";
#endif
    std::vector<std::uint8_t> signature(32, 0);
    signature[0] = 0xFF;
    signature[1] = 0xFF;
    for (int k = 4; k < 13; ++k) signature[k] = 0xFF;
    signature[13] = 0xC9;  // 11 * 0xFF + 0xC9 = 3006
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool present;
    };
    const Case cases[] = {
        {"nothing", {}, false},
        {"shorter than a word", {1, 0}, false},
        {"first word 0", resource(Header{.length = 0}, 0x40), false},
        {"placeholder sum", signature, false},
        {"real image", resource(Header{}), true},
        {"short resource, sum not 3006", {1, 0, 0, 0, 7}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(hasEmbeddedImage(c.bytes), c.present);
    }
}

TEST(EmbeddedImage, LoadRefusals) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* error;
    };
    const Case cases[] = {
        {"no resource", {}, "No embedded data."},
        {"header cut short", std::vector<std::uint8_t>{4, 0, 0, 0, 0, 0x80, 0, 0}, "No embedded data."},
        {"length 0", resource(Header{.length = 0}, 0), "No embedded data."},
        {"rounds up to the whole flash", resource(Header{.length = 0x2BE01}), "Data size error."},
        {"longer than the resource", resource(Header{.length = 0x1000}, 0x800), "Data size error."},
        {"length that wraps when rounded", resource(Header{.length = 0xFFFFFFFF}, 0x10), "Data size error."},
        {"start 0x9000", resource(Header{.start = 0x9000}), "Start address error."},
        {"needs ids, version 0", resource(Header{.version = 0, .flags = 0x0002}), "EMB data error."},
        {"needs ids, pid 0", resource(Header{.pid = 0, .flags = 0x0002}), "EMB data error."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareImage image;
        image.valid = true;
        EmbeddedOptions options;
        std::string error;
        EXPECT_FALSE(loadEmbeddedImage(c.bytes, image, options, error));
        EXPECT_FALSE(image.valid);
        EXPECT_EQ(error, c.error);
    }
}

TEST(EmbeddedImage, LoadsPayloadPaddedToBlocks) {
    struct Case {
        std::uint32_t length, size;
    };
    for (const auto c : {Case{0x300, 0x400}, Case{0x200, 0x200}, Case{1, 0x200}, Case{0x2BE00, 0x2BE00}}) {
        SCOPED_TRACE(c.length);
        FirmwareImage image;
        EmbeddedOptions options;
        std::string error;
        ASSERT_TRUE(loadEmbeddedImage(resource(Header{.length = c.length}), image, options, error)) << error;
        EXPECT_TRUE(image.valid);
        EXPECT_EQ(image.start, 0x8000u);
        EXPECT_EQ(image.size, c.size);
        EXPECT_EQ(image.bytes[c.length - 1], 0x01);
        if (c.length < c.size) {
            EXPECT_EQ(image.bytes[c.length], 0xFF);
        }
        EXPECT_EQ(image.checksum, (c.length + (c.size - c.length) * 0xFFu) % 65536);
    }
}

TEST(EmbeddedImage, FlagsAndTheOverride) {
    struct Case {
        std::uint16_t flags;
        bool completionBox, pidLock, exitOnError, embeddedMode;
    };
    const Case cases[] = {
        {0x0000, false, false, false, false},
        {0x003F, false, false, false, false},  // kind, security, auto-apply:
                                               // overridden
        {0x0040, true, false, false, false},
        {0x0080, false, true, false, false},
        {0x0100, false, false, true, false},
        {0x0200, false, false, false, true},
        {0x03C2, true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        FirmwareImage image;
        EmbeddedOptions options;
        std::string error;
        ASSERT_TRUE(loadEmbeddedImage(resource(Header{.flags = c.flags}), image, options, error));
        EXPECT_EQ(options.flags, c.flags);
        EXPECT_EQ(options.kind, JOB_WRITE);
        EXPECT_FALSE(options.setSecurity);
        EXPECT_FALSE(options.autoApply);
        EXPECT_FALSE(image.encCapable);
        EXPECT_TRUE(options.autoExit);
        EXPECT_TRUE(options.log);
        EXPECT_EQ(options.completionBox, c.completionBox);
        EXPECT_EQ(options.pidLock, c.pidLock);
        EXPECT_EQ(options.exitOnError, c.exitOnError);
        EXPECT_EQ(options.embeddedMode, c.embeddedMode);
        // The ids stay for the PID lock even though encCapable is overridden.
        EXPECT_EQ(image.lockedPid, 0x0A52u);
        EXPECT_EQ(image.fileVersion, 0x0103u);
    }
}

TEST(EmbeddedImage, IdsKeptOnlyWhenBothPresent) {
    FirmwareImage image;
    image.lockedPid = 0x1111;
    EmbeddedOptions options;
    std::string error;
    ASSERT_TRUE(loadEmbeddedImage(resource(Header{.version = 0}), image, options, error));
    EXPECT_EQ(image.lockedPid, 0u);
    EXPECT_EQ(image.fileVersion, 0u);
}

}  // namespace
