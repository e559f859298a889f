#include "hidlink/descriptor.h"

#include <gtest/gtest.h>

#include <ostream>
#include <tuple>

#include "hidlink/tests/sample_descriptors.h"

namespace {

using hidlink::ReportKind;
using hidlink::TopCollection;
using hidlink::ValueCap;
using Bytes = std::vector<std::uint8_t>;
constexpr auto In = ReportKind::Input;
constexpr auto Out = ReportKind::Output;
constexpr auto Feat = ReportKind::Feature;

// The fields of a value capability a report decoder relies on, comparable as one row.
struct Cap {
    ReportKind kind;
    std::uint16_t page, usage, usageMax;
    std::uint8_t id;
    std::uint32_t offset, size, count;
    std::int32_t min, max;
    std::uint16_t link;
    bool operator==(const Cap&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Cap& c) {
    return os << "{kind " << int(c.kind) << " page " << c.page << " usage " << c.usage << ".." << c.usageMax << " id "
              << int(c.id) << " bits " << c.offset << "+" << c.size << "x" << c.count << " logical " << c.min << ".."
              << c.max << " link " << c.link << "}";
}

std::vector<Cap> caps(const TopCollection& c) {
    std::vector<Cap> out;
    for (const ValueCap& v : c.valueCaps)
        out.push_back({v.kind, v.usagePage, v.usage, v.usageMax, v.reportId, v.bitOffset, v.bitSize, v.reportCount,
                       v.logicalMin, v.logicalMax, v.linkCollection});
    return out;
}

struct Reports {
    std::uint32_t inLen, outLen, featLen;
    Bytes inIds, outIds, featIds;
    bool operator==(const Reports&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Reports& r) {
    auto ids = [&os](const Bytes& v) {
        for (auto id : v) os << ' ' << int(id);
    };
    os << "{in " << r.inLen << " ids";
    ids(r.inIds);
    os << ", out " << r.outLen << " ids";
    ids(r.outIds);
    os << ", feature " << r.featLen << " ids";
    ids(r.featIds);
    return os << "}";
}

Reports reports(const TopCollection& c) {
    return {c.inputReportLength, c.outputReportLength, c.featureReportLength,
            c.inputReportIds,    c.outputReportIds,    c.featureReportIds};
}

hidlink::ParsedDescriptor parse(const Bytes& d) {
    std::string reason;
    auto p = hidlink::parseReportDescriptor(d, &reason);
    EXPECT_TRUE(p.has_value()) << reason;
    return p.value_or(hidlink::ParsedDescriptor{});
}

TEST(DescriptorTest, TouchScreenDigitizer) {
    const auto p = parse(hidlink::samples::kTouchScreen);
    EXPECT_TRUE(p.numbered);
    ASSERT_EQ(p.collections.size(), 2u);
    const TopCollection& touch = p.collections[0];
    EXPECT_EQ(touch.usagePage, 0x0D);
    EXPECT_EQ(touch.usage, 0x04);
    // Two fingers of 6 bytes and the contact count, after the id byte.
    EXPECT_EQ(reports(touch), (Reports{14, 0, 2, {1}, {}, {2}}));
    const std::vector<Cap> expected = {
        {In, 0x0D, 0x42, 0x42, 1, 0, 1, 1, 0, 1, 1},       // tip switch, finger 1
        {In, 0x0D, 0x00, 0x00, 1, 1, 1, 7, 0, 1, 1},       // padding
        {In, 0x0D, 0x51, 0x51, 1, 8, 8, 1, 0, 9, 1},       // contact id
        {In, 0x01, 0x30, 0x30, 1, 16, 16, 1, 0, 4095, 1},  // X
        {In, 0x01, 0x31, 0x31, 1, 32, 16, 1, 0, 4095, 1},  // Y
        {In, 0x0D, 0x42, 0x42, 1, 48, 1, 1, 0, 1, 2},      // finger 2
        {In, 0x0D, 0x00, 0x00, 1, 49, 1, 7, 0, 1, 2},     {In, 0x0D, 0x51, 0x51, 1, 56, 8, 1, 0, 9, 2},
        {In, 0x01, 0x30, 0x30, 1, 64, 16, 1, 0, 4095, 2}, {In, 0x01, 0x31, 0x31, 1, 80, 16, 1, 0, 4095, 2},
        {In, 0x0D, 0x54, 0x54, 1, 96, 8, 1, 0, 127, 0},  // contact count
        {Feat, 0x0D, 0x55, 0x55, 2, 0, 8, 1, 0, 10, 0},  // contact count maximum
    };
    EXPECT_EQ(caps(touch), expected);
    EXPECT_TRUE(touch.valueCaps[1].isConstant());

    const TopCollection& config = p.collections[1];
    EXPECT_EQ(config.usagePage, 0x0D);
    EXPECT_EQ(config.usage, 0x0E);
    EXPECT_EQ(reports(config), (Reports{0, 0, 3, {}, {}, {3}}));
    EXPECT_EQ(caps(config), (std::vector<Cap>{{Feat, 0x0D, 0x52, 0x53, 3, 0, 8, 2, 0, 10, 1}}));
}

TEST(DescriptorTest, ReportsBelongToTheirOwnCollection) {
    struct Case {
        const char* name;
        const Bytes* bytes;
        bool numbered;
        std::vector<std::pair<std::uint16_t, std::uint16_t>> identities;
        std::vector<Reports> reports;
    };
    const Case cases[] = {
        {"vendor controller",
         &hidlink::samples::kVendorController,
         true,
         {{0xFF11, 0x11}, {0xFF11, 0x02}},
         {{1024, 0, 64, {1, 10}, {}, {9}}, {16, 4, 8, {2}, {12}, {11}}}},
        {"keyboard and consumer keys",
         &hidlink::samples::kKeyboardConsumer,
         true,
         {{0x01, 0x06}, {0x0C, 0x01}},
         {{9, 2, 0, {1}, {1}, {}}, {3, 0, 0, {2}, {}, {}}}},
        // The id byte is counted on an unnumbered device too, as a zero placeholder.
        {"unnumbered mouse", &hidlink::samples::kMouse, false, {{0x01, 0x02}}, {{4, 0, 0, {0}, {}, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto p = parse(*c.bytes);
        EXPECT_EQ(p.numbered, c.numbered);
        ASSERT_EQ(p.collections.size(), c.identities.size());
        for (std::size_t i = 0; i < p.collections.size(); ++i) {
            EXPECT_EQ(p.collections[i].usagePage, c.identities[i].first);
            EXPECT_EQ(p.collections[i].usage, c.identities[i].second);
            EXPECT_EQ(reports(p.collections[i]), c.reports[i]);
        }
    }
}

TEST(DescriptorTest, ValueCapsOfArraysRangesAndSignedValues) {
    const auto kb = parse(hidlink::samples::kKeyboardConsumer);
    ASSERT_EQ(kb.collections.size(), 2u);
    EXPECT_EQ(caps(kb.collections[0]), (std::vector<Cap>{
                                           {In, 0x07, 0xE0, 0xE7, 1, 0, 1, 8, 0, 1, 0},     // modifiers
                                           {In, 0x07, 0x00, 0x00, 1, 8, 8, 1, 0, 1, 0},     // reserved
                                           {Out, 0x08, 0x01, 0x05, 1, 0, 1, 5, 0, 1, 0},    // LEDs
                                           {Out, 0x08, 0x00, 0x00, 1, 5, 3, 1, 0, 1, 0},    // padding
                                           {In, 0x07, 0x00, 0xFF, 1, 16, 8, 6, 0, 255, 0},  // key array
                                       }));
    EXPECT_EQ(caps(kb.collections[1]), (std::vector<Cap>{{In, 0x0C, 0x00, 0x23C, 2, 0, 16, 1, 0, 572, 0}}));

    const auto mouse = parse(hidlink::samples::kMouse);
    ASSERT_EQ(mouse.collections.size(), 1u);
    EXPECT_EQ(caps(mouse.collections[0]), (std::vector<Cap>{
                                              {In, 0x09, 0x01, 0x03, 0, 0, 1, 3, 0, 1, 1},
                                              {In, 0x09, 0x00, 0x00, 0, 3, 5, 1, 0, 1, 1},
                                              {In, 0x01, 0x30, 0x31, 0, 8, 8, 2, -127, 127, 1},
                                          }));

    // A one-byte Logical Maximum of 0xFF over a minimum of 0 means 255, as the kernel reads it.
    const auto vendor = parse(hidlink::samples::kVendorController);
    ASSERT_FALSE(vendor.collections[0].valueCaps.empty());
    EXPECT_EQ(vendor.collections[0].valueCaps[0].logicalMax, 255);
}

TEST(DescriptorTest, GlobalAndLocalStateRules) {
    // Push keeps report 1's state while report 2 is described; Pop brings it back.
    const Bytes pushPop = {
        0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Application
        0x85, 0x01, 0x75, 0x08, 0x95, 0x01,  // Report ID 1, 8 bits x 1
        0xA4,                                // Push
        0x85, 0x02, 0x75, 0x10, 0x95, 0x02,  // Report ID 2, 16 bits x 2
        0x09, 0x30, 0x81, 0x02,              // Input X
        0xB4,                                // Pop
        0x09, 0x31, 0x81, 0x02,              // Input Y: report 1 again
        0x81, 0x02,                          // Input without a usage: the Y did not survive
        0xC0,
    };
    auto p = parse(pushPop);
    ASSERT_EQ(p.collections.size(), 1u);
    EXPECT_EQ(reports(p.collections[0]), (Reports{5, 0, 0, {1, 2}, {}, {}}));
    EXPECT_EQ(caps(p.collections[0]), (std::vector<Cap>{
                                          {In, 0x01, 0x30, 0x30, 2, 0, 16, 2, 0, 0, 0},
                                          {In, 0x01, 0x31, 0x31, 1, 0, 8, 1, 0, 0, 0},
                                          {In, 0x01, 0x00, 0x00, 1, 8, 8, 1, 0, 0, 0},
                                      }));

    // Only un-nested Application collections count; a four-byte usage brings its own page.
    const Bytes tops = {
        0x05, 0x01, 0x09, 0x02, 0xA1, 0x00, 0xC0,  // top-level Physical: not listed
        0x0B, 0x11, 0x00, 0x11, 0xFF, 0xA1, 0x01,  // Usage 0xFF11:0x11, Application
        0x09, 0x06, 0xA1, 0x01, 0xC0,              //   nested Application: not listed
        0xC0,
    };
    p = parse(tops);
    ASSERT_EQ(p.collections.size(), 1u);
    EXPECT_EQ(p.collections[0].usagePage, 0xFF11);
    EXPECT_EQ(p.collections[0].usage, 0x11);
    EXPECT_FALSE(p.numbered);
}

Bytes nested(std::size_t depth) {
    Bytes d = {0x09, 0x01};
    for (std::size_t i = 0; i < depth; ++i) d.insert(d.end(), {0xA1, 0x01});
    d.insert(d.end(), depth, 0xC0);
    return d;
}

// An Application collection with one report 1 of `count` bytes in each of `items` inputs.
Bytes bigReport(std::uint16_t count, int items) {
    Bytes d = {0x06,
               0x00,
               0xFF,
               0x09,
               0x01,
               0xA1,
               0x01,
               0x85,
               0x01,
               0x75,
               0x08,
               0x96,
               static_cast<std::uint8_t>(count),
               static_cast<std::uint8_t>(count >> 8)};
    for (int i = 0; i < items; ++i) d.insert(d.end(), {0x81, 0x02});
    d.push_back(0xC0);
    return d;
}

TEST(DescriptorTest, LimitsHoldAtTheirEdges) {
    EXPECT_TRUE(hidlink::parseReportDescriptor(nested(hidlink::kMaxCollectionDepth)));
    EXPECT_FALSE(hidlink::parseReportDescriptor(nested(hidlink::kMaxCollectionDepth + 1)));

    const auto largest = hidlink::parseReportDescriptor(bigReport(4096, 2));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->collections[0].inputReportLength, hidlink::kMaxReportBytes + 1);
    EXPECT_FALSE(hidlink::parseReportDescriptor(bigReport(4096, 3)));

    Bytes padded = hidlink::samples::kMouse;
    padded.resize(hidlink::kMaxDescriptorBytes, 0x00);  // reserved zero-size main items
    EXPECT_TRUE(hidlink::parseReportDescriptor(padded));
    padded.push_back(0x00);
    EXPECT_FALSE(hidlink::parseReportDescriptor(padded));
}

TEST(DescriptorTest, MalformedDescriptorsAreRefused) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"no application collection", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x00, 0xC0}},
        {"item cut short", {0x05, 0x01, 0x09, 0x02, 0xA1}},
        {"four-byte item cut short", {0x09, 0x01, 0xA1, 0x01, 0x97, 0x01, 0x00}},
        {"long item header cut", {0x09, 0x01, 0xA1, 0x01, 0xC0, 0xFE, 0x02}},
        {"long item data cut", {0x09, 0x01, 0xA1, 0x01, 0xC0, 0xFE, 0x05, 0x00, 0x01}},
        {"end collection first", {0xC0, 0x09, 0x01, 0xA1, 0x01, 0xC0}},
        {"collection never closed", {0x09, 0x01, 0xA1, 0x01}},
        {"report id 0", {0x09, 0x01, 0xA1, 0x01, 0x85, 0x00, 0xC0}},
        {"report id above 255", {0x09, 0x01, 0xA1, 0x01, 0x86, 0x00, 0x01, 0xC0}},
        {"pop without push", {0x09, 0x01, 0xA1, 0x01, 0xB4, 0xC0}},
        {"push stack overflow", Bytes(17, 0xA4)},
        {"report size above 256 bits", {0x09, 0x01, 0xA1, 0x01, 0x76, 0x01, 0x01, 0xC0}},
        {"report count that would wrap 32 bits",
         {0x09, 0x01, 0xA1, 0x01, 0x76, 0x00, 0x01, 0x97, 0x00, 0x00, 0x00, 0x01, 0x81, 0x02, 0xC0}},
        {"report size times count over the cap",
         {0x09, 0x01, 0xA1, 0x01, 0x76, 0x00, 0x01, 0x96, 0x01, 0x01, 0x81, 0x02, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string reason;
        EXPECT_FALSE(hidlink::parseReportDescriptor(c.bytes, &reason));
        EXPECT_FALSE(reason.empty());
    }
}

}  // namespace
