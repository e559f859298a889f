#include "intelhex/hex_reader.h"

#include <gtest/gtest.h>

#include "intelhex/tests/hex_fixture.h"

using namespace intelhex;
using hexfixture::record;

namespace {

struct Read {
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> data;
    bool failed = false;
    HexFault fault;
};

Read readAll(std::string_view text, HexLineEnds ends = HexLineEnds::CrLf) {
    Read r;
    HexRecordReader reader(text, ends);
    HexDataRecord rec;
    while (reader.nextData(rec)) r.data.emplace_back(rec.absolute, std::vector(rec.bytes.begin(), rec.bytes.end()));
    r.failed = reader.failed();
    r.fault = reader.fault();
    return r;
}

// Flips the record checksum (the two digits before the line end) of a one-line record.
std::string withBadChecksum(std::string line) {
    auto& c = line[line.size() - 3];
    c = c == '0' ? '1' : '0';
    return line;
}

struct BadCase {
    const char* name;
    std::string text;
    const char* fault;
};

TEST(HexRecordReader, RefusesMalformedRecords) {
    const std::string good = record(0, 0x8000, {1, 2, 3});
    const BadCase cases[] = {
        {"data checksum", withBadChecksum(good), "line 1: record checksum"},
        {"eof checksum", good + withBadChecksum(record(1, 0, {})), "line 2: record checksum"},
        {"segment checksum", withBadChecksum(record(2, 0, {0x10, 0})), "record checksum"},
        {"start segment checksum", withBadChecksum(record(3, 0, {0, 0, 0x80, 0})), "record checksum"},
        {"linear checksum", withBadChecksum(record(4, 0, {0, 1})), "record checksum"},
        {"start linear checksum", withBadChecksum(record(5, 0, {0, 0, 0x80, 0})), "record checksum"},
        {"type 06", record(6, 0, {}), "record type 0x06"},
        {"LF only", record(0, 0x8000, {1}, "\n"), "not followed by CR LF"},
        {"CR only", record(0, 0x8000, {1}, "\r"), "not followed by CR LF"},
        {"no line end at the end of the text", record(0, 0x8000, {1}, ""), "not followed by CR LF"},
        {"cut short at the end of the text", ":1080000001020304", "record cut short"},
        {"count larger than the line", ":0280000001F0\r\n", "not a hex digit"},
        {"letter in a field", ":01800000G1FE\r\n", "not a hex digit"},
        {"NUL between records", good + std::string("\0\r\n", 3) + good, "line 2: NUL byte"},
        {"NUL inside a record", std::string(":01800") + '\0' + "00101\r\n", "NUL byte"},
        {"overlong line", good.substr(0, good.size() - 2) + std::string(100000, 'A') + "\r\n", "not followed by CR LF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = readAll(c.text);
        EXPECT_TRUE(r.failed);
        EXPECT_NE(r.fault.text().find(c.fault), std::string::npos) << r.fault.text();
    }
}

TEST(HexRecordReader, ResolvesBaseAddressesAndIgnoresTextBetweenRecords) {
    // Text between records, however long a line it makes, is skipped without being buffered.
    const std::string text = "; built 2026-12-09\r\n" + record(0, 0x8000, {0xAA}) +
                             record(3, 0, {0x12, 0x34, 0x56, 0x78}) +  // start segment: no effect
                             record(0, 0x8001, {0xBB}) + record(2, 0, {0x10, 0x00}) + record(0, 0x0010, {0xCC}) +
                             std::string(1 << 20, 'x') + "\r\n" + record(4, 0, {0x00, 0x02}) +
                             record(0, 0x0020, {0xDD}) + record(5, 0, {0, 0, 0x80, 0}) + hexfixture::eof() +
                             record(0, 0x0030, {0xEE});  // reading goes on after end of file
    const auto r = readAll(text);
    ASSERT_FALSE(r.failed) << r.fault.text();
    const decltype(r.data) expected = {
        {0x8000, {0xAA}}, {0x8001, {0xBB}}, {0x10010, {0xCC}}, {0x20020, {0xDD}}, {0x20030, {0xEE}}};
    EXPECT_EQ(r.data, expected);
}

TEST(HexRecordReader, TypeAloneSetsTheLengthOfNonDataRecords) {
    using hexfixture::rawRecord;
    const std::string text = record(0, 0x8000, {0xAA}) + rawRecord(0x00, 4, 0, {0x00, 0x01}) +
                             record(0, 0x0000, {0xBB}) + rawRecord(0x10, 1, 0, {}) +
                             rawRecord(0x02, 5, 0, {0, 0, 0x80, 0}) + rawRecord(0xFF, 3, 0, {0x12, 0x34, 0, 0}) +
                             record(0, 0x0001, {0xCC});
    const auto r = readAll(text);
    ASSERT_FALSE(r.failed) << r.fault.text();
    const decltype(r.data) expected = {{0x8000, {0xAA}}, {0x10000, {0xBB}}, {0x10001, {0xCC}}};
    EXPECT_EQ(r.data, expected);
}

TEST(HexRecordReader, BareLfAcceptedOnlyWhenAsked) {
    const std::string text = record(0, 0x8000, {1, 2}, "\n") + record(1, 0, {}, "\n");
    EXPECT_TRUE(readAll(text).failed);
    const auto r = readAll(text, HexLineEnds::CrLfOrLf);
    EXPECT_FALSE(r.failed);
    ASSERT_EQ(r.data.size(), 1u);
    EXPECT_EQ(r.data[0].second, (std::vector<std::uint8_t>{1, 2}));
}

TEST(HexRecordReader, ReportsTheLineOfTheFault) {
    const std::string text =
        record(0, 0x8000, {1}) + "\r\n" + record(0, 0x8001, {2}) + withBadChecksum(record(0, 0x8002, {3}));
    EXPECT_EQ(readAll(text).fault.text().rfind("line 4: ", 0), 0u);
}

}  // namespace
