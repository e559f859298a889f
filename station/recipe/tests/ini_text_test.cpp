#include "station/recipe/ini_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "station/recipe/tests/recipe_test_support.h"

namespace station::ini {
namespace {

struct IntCase {
    const char* text;
    std::int32_t expected;
};

TEST(IniConversions, DecReadsLikeAtoi) {
    const IntCase cases[] = {
        {"5", 5},
        {"  -12", -12},
        {"+7", 7},
        {"\"5\"", 0},  // quoted: no digits
        {"12abc", 12},
        {"0x10", 0},
        {"010", 10},
        {"", 0},
        {" 3 4", 3},
        {"99999999999", std::numeric_limits<std::int32_t>::max()},
        {"-99999999999", std::numeric_limits<std::int32_t>::min()},
    };
    for (const auto& c : cases) EXPECT_EQ(decValue(c.text), c.expected) << '"' << c.text << '"';
}

TEST(IniConversions, NumReadsLikeStrtolBaseZero) {
    const IntCase cases[] = {
        {"0x0112", 0x0112},
        {"0X0112", 0x0112},
        {"274", 274},
        {"0422", 0x0112},
        {"-0x10", -16},
        {"08", 0},
        {"0x", 0},
        {"0xZ", 0},
        {"abc", 0},
        {"0x7FFFFFFF", 0x7FFFFFFF},
        {"0xFFFFFFFF", std::numeric_limits<std::int32_t>::max()},
        {"-0x80000001", std::numeric_limits<std::int32_t>::min()},
    };
    for (const auto& c : cases) EXPECT_EQ(numValue(c.text), c.expected) << '"' << c.text << '"';
}

TEST(IniConversions, RealReadsLikeAtof) {
    EXPECT_DOUBLE_EQ(realValue("7.5"), 7.5);
    EXPECT_DOUBLE_EQ(realValue("-1e2x"), -100.0);
    EXPECT_DOUBLE_EQ(realValue("junk"), 0.0);
    EXPECT_DOUBLE_EQ(realValue(""), 0.0);
}

TEST(IniConversions, RealReadsADecimalPointOnADecimalCommaDesk) {
    test::ScratchDir dir;
    const test::DecimalCommaLocale comma(dir.path());
    if (!comma.active()) GTEST_SKIP() << "no decimal-comma locale can be had here";
    EXPECT_DOUBLE_EQ(realValue("7.5"), 7.5);
    EXPECT_DOUBLE_EQ(realValue("-2.25e1"), -22.5);
    EXPECT_DOUBLE_EQ(realValue("7,5"), 7.0);  // a comma is no decimal sign in a recipe
}

TEST(IniConversions, CleanValueTrimsAndDropsEveryQuote) {
    EXPECT_EQ(cleanValue("  \"0x0112\"  "), "0x0112");
    EXPECT_EQ(cleanValue("\"a\"b\"c\""), "abc");
    EXPECT_EQ(cleanValue(" \t "), "");
    // Quotes inside the trimmed text go too, but blanks inside quotes stay.
    EXPECT_EQ(cleanValue("\" padded \""), " padded ");
}

TEST(IniConversions, ListsSplitAtCommasKeepingEmptyParts) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(splitList(""), V{});
    EXPECT_EQ(splitList("3"), V{"3"});
    EXPECT_EQ(splitList("1, 2,3"), (V{"1", " 2", "3"}));
    EXPECT_EQ(splitList("1,,3,"), (V{"1", "", "3", ""}));
}

TEST(IniLines, CommentsHeadersAndKeys) {
    struct Case {
        const char* line;
        IniLine::Kind kind;
        const char* text;
        const char* key;
        const char* raw;
    };
    using K = IniLine::Kind;
    const Case cases[] = {
        {"   ", K::Empty, "", "", ""},
        {"; only a comment", K::Empty, "", "", ""},
        {"[XLUT]", K::Header, "[XLUT]", "", ""},
        {"[XLUT] ; pins", K::Header, "[XLUT] ", "", ""},  // the blank stays: not the [XLUT] header
        {"]odd", K::Header, "]odd", "", ""},
        {"  PID=0x0112  ", K::Entry, "PID=0x0112", "PID", "0x0112"},
        {"DATA_COUNT = 5", K::Entry, "DATA_COUNT = 5", "DATA_COUNT ", " 5"},
        {"TITLE=\"a;b\"", K::Entry, "TITLE=\"a", "TITLE", "\"a"},  // ";" in quotes starts a comment too
        {"A=B=C", K::Entry, "A=B=C", "A", "B=C"},
        {"NOEQUALS", K::Entry, "NOEQUALS", "", ""},
        {"\tGPIO=3\r", K::Entry, "GPIO=3", "GPIO", "3"},
    };
    for (const auto& c : cases) {
        const IniLine l = splitIniLine(c.line);
        EXPECT_EQ(l.kind, c.kind) << c.line;
        EXPECT_EQ(l.text, c.text) << c.line;
        EXPECT_EQ(l.key, c.key) << c.line;
        EXPECT_EQ(l.raw, c.raw) << c.line;
    }
}

TEST(IniLut, ValuesContinueAcrossLinesAndStopAtTheTableEnd) {
    std::array<std::uint16_t, 4> table{};
    std::int64_t counter = 0;
    readLutLine("0x0001, 0x0002,0x0003", table, counter);
    EXPECT_EQ(counter, 3);
    readLutLine("0x0104 0x0205", table, counter);  // the fifth value is counted, not stored
    EXPECT_EQ(counter, 5);
    EXPECT_EQ(table, (std::array<std::uint16_t, 4>{1, 2, 3, 0x0104}));
}

TEST(IniLut, AValueIsAtMostFourHexDigits) {
    struct Case {
        const char* line;
        std::vector<std::uint16_t> values;
    };
    const Case cases[] = {
        {"0x123456 0xAb,0x7", {0x1234, 0x00AB, 0x0007}},
        // Every "0x" starts a value, also one that stands inside the previous value's digits.
        {"0x0100x0200", {0x0100, 0x0200}},
        {"0x0x12", {0x0000, 0x0012}},
        {"0X0100 x0100", {}},
    };
    for (const auto& c : cases) {
        std::array<std::uint16_t, 8> table{};
        std::int64_t counter = 0;
        readLutLine(c.line, table, counter);
        EXPECT_EQ(counter, static_cast<std::int64_t>(c.values.size())) << c.line;
        EXPECT_TRUE(std::equal(c.values.begin(), c.values.end(), table.begin())) << c.line;
    }
}

TEST(IniFile, LinesSplitOnLfWithOrWithoutCr) {
    std::vector<std::string> lines;
    forEachLine("a\r\nb\n\nc", [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c"}));
}

}  // namespace
}  // namespace station::ini
