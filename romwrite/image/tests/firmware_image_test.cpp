#include "romwrite/image/firmware_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "intelhex/tests/hex_fixture.h"
#include "platform/tests/fifo_guard.h"

using namespace romwrite;
using hexfixture::eof;
using hexfixture::fill;
using hexfixture::record;

namespace {

struct Loaded {
    bool ok = false;
    std::string error;
    intelhex::HexFault fault;
    FirmwareImage image;
};

Loaded load(const std::string& text, std::string_view name = "image.hex") {
    Loaded l;
    l.ok = loadHexImageText(l.image, text, name, l.error, &l.fault);
    return l;
}

std::uint32_t sumMod16(const std::vector<std::uint8_t>& bytes, std::size_t n) {
    std::uint32_t s = 0;
    for (std::size_t k = 0; k < n; ++k) s += bytes[k];
    return s % 65536;
}

TEST(LoadHexImage, RaisesSizeToWholeBlocksAndSumsTheFiller) {
    const auto l = load(fill(0x8000, 0x1001, 0x01) + eof());
    ASSERT_TRUE(l.ok) << l.error << l.fault.text();
    EXPECT_TRUE(l.image.valid);
    EXPECT_EQ(l.image.start, 0x8000u);
    EXPECT_EQ(l.image.size, 0x1200u);
    EXPECT_EQ(l.image.bytes[0x1000], 0x01);
    EXPECT_EQ(l.image.bytes[0x1001], 0xFF);
    EXPECT_EQ(l.image.bytes[0x11FF], 0xFF);
    // 0x1001 data bytes of 1 plus 0x1FF bytes of filler.
    EXPECT_EQ(l.image.checksum, (0x1001u + 0x1FFu * 0xFF) % 65536);
}

TEST(LoadHexImage, SizeAndStartLimits) {
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        const char* error;
        std::uint32_t size;
    };
    const Case cases[] = {
        {"whole flash", fill(0x8000, 0x2C000, 0x5A) + eof(), true, "", 0x2C000},
        {"one byte more", fill(0x8000, 0x2C001, 0x5A) + eof(), false, "File size error.", 0},
        {"data inside the work area but past the flash", fill(0x8000, 1, 0) + fill(0x36000, 1, 0), false,
         "File size error.", 0},
        {"start 0x8100", fill(0x8100, 0x100, 0) + eof(), false, "Start address error.", 0},
        {"empty file", "", false, "Start address error.", 0},
        {"end of file only", eof(), false, "Start address error.", 0},
        {"one byte", fill(0x8000, 1, 0) + eof(), true, "", 0x200},
        {"exactly one block", fill(0x8000, 0x200, 0) + eof(), true, "", 0x200},
        {"one block and a byte", fill(0x8000, 0x201, 0) + eof(), true, "", 0x400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto l = load(c.text);
        EXPECT_EQ(l.ok, c.ok) << l.fault.text();
        EXPECT_EQ(l.image.valid, c.ok);
        EXPECT_EQ(l.error, c.error);
        if (c.ok) {
            EXPECT_EQ(l.image.size, c.size);
        }
    }
    const auto whole = load(fill(0x8000, 0x2C000, 0x5A) + eof());
    EXPECT_EQ(whole.image.checksum, 0x2C000u * 0x5A % 65536);
}

TEST(LoadHexImage, MalformedRecordsFailWithoutAReason) {
    const std::string body = fill(0x8000, 0x40, 0x11);
    const std::string cases[] = {
        body + record(0, 0x8040, {1}, "\n") + eof(),                    // LF only
        body + std::string(1, '\0') + eof(),                            // NUL byte
        body + ":00000001FE\r\n",                                       // bad end-of-file checksum
        body + fill(0x7000, 0x10, 0) + eof(),                           // data below the first record
        body + hexfixture::linear(0x0004) + record(0, 0, {1}) + eof(),  // past the work area
    };
    for (const auto& text : cases) {
        const auto l = load(text);
        EXPECT_FALSE(l.ok);
        EXPECT_FALSE(l.image.valid);
        EXPECT_EQ(l.error, "");
        EXPECT_FALSE(l.fault.what.empty());
    }
}

TEST(LoadHexImage, NeedsAnEndOfFileRecordAndReadsOnAfterIt) {
    const std::string whole = fill(0x8000, 0x300, 0x11);
    struct Case {
        const char* name;
        std::string text;
        bool ok;
    } cases[] = {
        {"cut after a whole record", whole, false},
        {"cut with text after the last record", whole + "garbage\r\n", false},
        {"end of file last", whole + eof(), true},
        {"data after the end of file", fill(0x8000, 0x100, 0x11) + eof() + fill(0x8100, 0x200, 0x11), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto l = load(c.text);
        EXPECT_EQ(l.ok, c.ok) << l.fault.text();
        EXPECT_EQ(l.image.valid, c.ok);
        EXPECT_EQ(l.error, "");
        if (c.ok) {
            EXPECT_EQ(l.image.size, 0x400u);
            EXPECT_EQ(l.image.checksum, (0x300u * 0x11 + 0x100u * 0xFF) % 65536);
        } else {
            EXPECT_EQ(l.fault.what, "no end-of-file record");
        }
    }
}

TEST(LoadHexImage, ExtendedAddressesPlaceDataRelativeToTheFirstRecord) {
    const std::string first = record(0, 0x8000, {0x01});
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"linear 0x0001", first + hexfixture::linear(0x0001) + record(0, 0x0000, {0xA5}) + eof()},
        {"segment 0x1000", first + hexfixture::segment(0x1000) + record(0, 0x0000, {0xA5}) + eof()},
        {"segment 0x0800", first + hexfixture::segment(0x0800) + record(0, 0x8000, {0xA5}) + eof()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto l = load(c.text);
        ASSERT_TRUE(l.ok) << l.error << l.fault.text();
        EXPECT_EQ(l.image.bytes[0x8000], 0xA5);
        EXPECT_EQ(l.image.size, 0x8200u);
        EXPECT_EQ(l.image.checksum, (0x01u + 0xA5u + (0x8200u - 2) * 0xFF) % 65536);
    }
}

TEST(LoadHexImage, StartSegmentRecordBetweenDataDoesNotMoveData) {
    const auto l =
        load(record(0, 0x8000, {1, 2}) + record(3, 0, {0x12, 0x34, 0x00, 0x00}) + record(0, 0x8002, {3, 4}) + eof());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ((std::vector<std::uint8_t>(l.image.bytes.begin(), l.image.bytes.begin() + 5)),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 0xFF}));
}

TEST(LoadHexImage, SizeCoversARecordThatEndsFurtherThanTheLastStartingOne) {
    // The second record starts furthest into the image but the first one reaches past the
    // block it lies in; its tail must not be cut off.
    const auto l = load(record(0, 0x8000, {0}) + record(0, 0x81F8, std::vector<std::uint8_t>(16, 0x33)) +
                        record(0, 0x81F9, {0x44}) + eof());
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.image.size, 0x400u);
    EXPECT_EQ(l.image.bytes[0x207], 0x33);
    EXPECT_EQ(l.image.checksum, sumMod16(l.image.bytes, 0x400));
}

TEST(LoadHexImage, FilesFromDisk) {
    const auto dir = std::filesystem::temp_directory_path() / ("vorlick_hex_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = (dir / "fw_0A52_0103.hex").string();
    std::ofstream(path, std::ios::binary) << fill(0x8000, 0x20, 0) + eof();

    FirmwareImage image;
    std::string error;
    ASSERT_TRUE(loadHexImage(image, path, error));
    EXPECT_TRUE(image.encCapable);
    EXPECT_EQ(image.lockedPid, 0x0A52u);
    EXPECT_EQ(image.fileVersion, 0x0103u);

    // Every file that is not read is "No such file." to the writer; the fault says why.
    platform::test::IdleFifo fifo;
    const auto big = (dir / "big.hex").string();
    std::ofstream(big, std::ios::binary) << std::string(kMaxHexFileBytes + 1, '\n');
    struct Bad {
        std::string path, why;
    } bads[] = {
        {(dir / "missing.hex").string(), "No such file or directory"},
        {dir.string(), "is a directory"},
        {fifo.path(), "is not a regular file but a FIFO"},
        {"/dev/zero", "is not a regular file but a character device"},
        {big, "is larger than " + std::to_string(kMaxHexFileBytes) + " bytes"},
    };
    for (const auto& bad : bads) {
        error.clear();
        intelhex::HexFault fault;
        bool ok = true;
        EXPECT_FALSE(platform::test::blockedOnFifo(fifo.path(), [&] {
            ok = loadHexImage(image, bad.path, error, &fault);
        })) << bad.path;
        EXPECT_FALSE(ok);
        EXPECT_FALSE(image.valid);
        EXPECT_EQ(error, "No such file.");
        EXPECT_EQ(fault.what, bad.why) << bad.path;
    }
    std::filesystem::remove_all(dir);
}

TEST(LoadHexImage, NameWithoutIdsIsNotEncCapable) {
    auto l = load(fill(0x8000, 0x20, 0) + eof(), "fw_0A52_0103.hex");
    ASSERT_TRUE(l.image.encCapable);
    // A later load of an unnamed image must not keep the ids of the previous one.
    std::string error;
    ASSERT_TRUE(loadHexImageText(l.image, fill(0x8000, 0x20, 0) + eof(), "plain.hex", error));
    EXPECT_FALSE(l.image.encCapable);
    EXPECT_EQ(l.image.lockedPid, 0u);
    EXPECT_EQ(l.image.fileVersion, 0u);
}

TEST(ParseImageName, NameRule) {
    struct Case {
        const char* path;
        bool result;
        bool stored;
        std::uint32_t pid, version;
    };
    const Case cases[] = {
        {"fw_0123_0204.hex", true, true, 0x0123, 0x0204},
        {"/opt/line3/images/r6_0A52_0103.hex", true, true, 0x0A52, 0x0103},
        {"fw_abcd_00ef.hex", true, true, 0xABCD, 0x00EF},
        {"\"/opt/my images/fw_0123_0204.hex\"", true, true, 0x0123, 0x0204},
        {"\"fw_0123_0204.hex\" -f1", true, true, 0x0123, 0x0204},
        {"fw_ABCD_0000.hex", false, true, 0xABCD, 0x0000},
        {"fw_0000_0001.hex", false, true, 0x0000, 0x0001},
        {"fw_12G4_0204.hex", true, true, 0x0012, 0x0204},  // reading stops at 'G'
        {"_0123_0204.bin", true, true, 0x0123, 0x0204},    // the extension is not examined
        // Characters, not bytes, count from the end of a UTF-8 name.
        {"fw_0123_0204.h\u00e9x", true, true, 0x0123, 0x0204},
        {"fw_01\u00e43_0204.hex", true, true, 0x01, 0x0204},
        {"/bilder/\u30d5_0A52_0103.hex", true, true, 0x0A52, 0x0103},
        {"_0123_0\u00e9\u00e9.hx", false, false, 0, 0},  // 14 bytes, 12 characters
        {"fw-ABCD_0001.hex", false, false, 0, 0},
        {"fw_ABCD-0001.hex", false, false, 0, 0},
        {"0123_0204.hex", false, false, 0, 0},
        {"", false, false, 0, 0},
        {"\"", false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::uint32_t pid = 0x5555, version = 0x6666;
        EXPECT_EQ(parseImageName(c.path, pid, version), c.result);
        EXPECT_EQ(pid, c.stored ? c.pid : 0x5555u);
        EXPECT_EQ(version, c.stored ? c.version : 0x6666u);
    }
}

}  // namespace
