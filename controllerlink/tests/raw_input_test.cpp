#include "controllerlink/raw_input.h"

#include <gtest/gtest.h>

#include <vector>

#include "hidlink/descriptor.h"

namespace {

using controllerlink::kContactConfidence;
using controllerlink::kContactInRange;
using controllerlink::kContactTip;
using controllerlink::RawContactRecord;
using controllerlink::RawTouchRanges;
using Bytes = std::vector<std::uint8_t>;

// One finger's logical collection: tip, in range, confidence (listed, not consecutive), five
// bits of padding, contact id (8 bits), X (0..32767) and Y (0..16383), 16 bits each.
Bytes finger() {
    return {0x05, 0x0D, 0x09, 0x22, 0xA1, 0x02,                                // finger, logical
            0x09, 0x42, 0x09, 0x32, 0x09, 0x47, 0x15, 0x00, 0x25, 0x01,        // tip, in range, confidence
            0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x95, 0x05, 0x81, 0x03,        // 3 bits, 5 bits padding
            0x09, 0x51, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02,  // contact id
            0x05, 0x01, 0x75, 0x10, 0x26, 0xFF, 0x7F, 0x09, 0x30, 0x81, 0x02,  // X
            0x26, 0xFF, 0x3F, 0x09, 0x31, 0x81, 0x02,                          // Y
            0xC0};
}

// The same finger with X and Y in one main item of two 16-bit fields and one logical maximum
// (four bytes, little-endian), as many touch screens describe them.
Bytes fingerXYTogether(std::uint32_t max) {
    Bytes f = finger();
    f.resize(f.size() - 19);  // drop X, Y and the end of the collection
    const Bytes xy = {0x05,
                      0x01,
                      0x75,
                      0x10,
                      0x95,
                      0x02,
                      0x27,
                      static_cast<std::uint8_t>(max),
                      static_cast<std::uint8_t>(max >> 8),
                      static_cast<std::uint8_t>(max >> 16),
                      static_cast<std::uint8_t>(max >> 24),
                      0x09,
                      0x30,
                      0x09,
                      0x31,
                      0x81,
                      0x02,
                      0x95,
                      0x01,
                      0xC0};
    f.insert(f.end(), xy.begin(), xy.end());
    return f;
}

// A touch screen (or, with `usage`, another digitizer) of two fingers, then contact count
// (8 bits) and scan time (16 bits), all in report 1.
hidlink::TopCollection digitizer(std::uint8_t usage = 0x04, const Bytes& oneFinger = finger()) {
    Bytes d = {0x05, 0x0D, 0x09, usage, 0xA1, 0x01, 0x85, 0x01};
    for (int i = 0; i < 2; ++i) {
        const Bytes& f = oneFinger;
        d.insert(d.end(), f.begin(), f.end());
    }
    const Bytes tail = {0x05, 0x0D, 0x09, 0x54, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02,
                        0x09, 0x56, 0x27, 0xFF, 0xFF, 0x00, 0x00, 0x75, 0x10, 0x81, 0x02, 0xC0};
    d.insert(d.end(), tail.begin(), tail.end());
    std::string why;
    const auto parsed = hidlink::parseReportDescriptor(d, &why);
    EXPECT_TRUE(parsed) << why;
    return parsed ? parsed->collections.at(0) : hidlink::TopCollection{};
}

// Report 1: per finger flags, id, X, Y; then count and scan time.
Bytes report(std::uint8_t f1, std::uint8_t id1, std::uint16_t x1, std::uint16_t y1, std::uint8_t f2, std::uint8_t count,
             std::uint16_t scan) {
    return {1,
            f1,
            id1,
            static_cast<std::uint8_t>(x1 & 0xFF),
            static_cast<std::uint8_t>(x1 >> 8),
            static_cast<std::uint8_t>(y1 & 0xFF),
            static_cast<std::uint8_t>(y1 >> 8),
            f2,
            9,
            0x34,
            0x12,
            0x78,
            0x06,
            count,
            static_cast<std::uint8_t>(scan & 0xFF),
            static_cast<std::uint8_t>(scan >> 8)};
}

TEST(RawInput, DecodesEverySlotOfATouchScreenReport) {
    const hidlink::TopCollection caps = digitizer();
    struct Case {
        const char* name;
        Bytes report;
        std::uint8_t count;
        std::uint16_t scan;
        std::uint8_t flags1, flags2;
    };
    const Case cases[] = {
        {"first report of a frame", report(0x07, 1, 1000, 2000, 0x03, 2, 0x1234), 2, 0x1234,
         kContactTip | kContactInRange | kContactConfidence, kContactTip | kContactInRange},
        {"a follow-on report carries no count", report(0x02, 1, 1000, 2000, 0x00, 0, 0x1234), 0, 0x1234,
         kContactInRange, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawContactRecord r;
        RawTouchRanges ranges;
        ASSERT_TRUE(controllerlink::parseRawInput(caps, c.report, r, ranges));
        EXPECT_EQ(r.reportId, 1);
        EXPECT_EQ(r.contactCount, c.count);
        EXPECT_EQ(r.scanTime, c.scan);
        EXPECT_EQ(r.contacts[0].flags, c.flags1);
        EXPECT_EQ(r.contacts[0].contactId, 1);
        EXPECT_EQ(r.contacts[0].x, 1000);
        EXPECT_EQ(r.contacts[0].y, 2000);
        EXPECT_EQ(r.contacts[1].flags, c.flags2);
        EXPECT_EQ(r.contacts[1].contactId, 9);
        EXPECT_EQ(r.contacts[1].x, 0x1234);
        EXPECT_EQ(r.contacts[1].y, 0x0678);
        EXPECT_EQ(r.contacts[2].x, 0) << "only two slots described";
        EXPECT_EQ(ranges.maxX, 0x7FFF);
        EXPECT_EQ(ranges.maxY, 0x3FFF);
    }
}

TEST(RawInput, CoordinateRangesFromAnItemHoldingXAndYTogether) {
    struct Case {
        const char* name;
        std::uint32_t logicalMax;
        std::uint16_t maxX, maxY;
    };
    const Case cases[] = {
        {"one maximum for both axes", 0x0FFF, 0x0FFF, 0x0FFF},
        {"a maximum past 16 bits is not cut to one", 0x0001FFFF, 0x7FFC, 0x7FF9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const hidlink::TopCollection caps = digitizer(0x04, fingerXYTogether(c.logicalMax));
        RawContactRecord r;
        RawTouchRanges ranges;
        ASSERT_TRUE(controllerlink::parseRawInput(caps, report(0x07, 1, 1000, 2000, 0x03, 2, 0x1234), r, ranges));
        EXPECT_EQ(ranges.maxX, c.maxX);
        EXPECT_EQ(ranges.maxY, c.maxY);
        EXPECT_EQ(r.contacts[0].x, 1000);
        EXPECT_EQ(r.contacts[0].y, 2000);
        EXPECT_EQ(r.contacts[1].contactId, 9);
        EXPECT_EQ(r.contacts[1].y, 0x0678);
    }
}

TEST(RawInput, OnlyATouchScreenIsDecodedAndShortReportsReadZero) {
    RawContactRecord r;
    r.contactCount = 42;
    RawTouchRanges ranges;
    EXPECT_FALSE(controllerlink::parseRawInput(digitizer(0x05), report(7, 1, 1, 1, 0, 1, 1), r, ranges))
        << "a touch pad";
    EXPECT_EQ(r.contactCount, 42) << "untouched";
    EXPECT_EQ(ranges.maxX, 0x7FFC);
    EXPECT_EQ(ranges.maxY, 0x7FF9);

    const Bytes cut = {1, 0x07, 5, 0x10};  // ends inside the first X
    ASSERT_TRUE(controllerlink::parseRawInput(digitizer(), cut, r, ranges));
    EXPECT_EQ(r.contacts[0].flags, kContactTip | kContactInRange | kContactConfidence);
    EXPECT_EQ(r.contacts[0].contactId, 5);
    EXPECT_EQ(r.contacts[0].x, 0);
    EXPECT_EQ(r.contactCount, 0);
}

}  // namespace
