#include "controllerlink/line_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using controllerlink::kStatisticsXLines;
using controllerlink::LineStatistics;

// A line report: id 15, the axis's line count, the first line, then the samples.
std::vector<std::uint8_t> lineReport(bool yAxis, std::uint8_t lines, std::uint8_t first,
                                     const std::vector<std::uint16_t>& samples, std::size_t length = 64) {
    std::vector<std::uint8_t> r(std::max<std::size_t>(length, 4), 0);
    r[0] = 15;
    r[1] = lines;
    r[2] = first;
    r[3] = static_cast<std::uint8_t>((yAxis ? 0x80 : 0) | (samples.size() & 0x1F));
    for (std::size_t j = 0; j < samples.size() && 5 + 2 * j < r.size(); ++j) {
        r[4 + 2 * j] = static_cast<std::uint8_t>(samples[j] & 0xFF);
        r[5 + 2 * j] = static_cast<std::uint8_t>(samples[j] >> 8);
    }
    r.resize(length);
    return r;
}

TEST(LineStatistics, AWindowOfThreeKeepsTheLastThreeSamples) {
    LineStatistics s;
    ASSERT_TRUE(s.reset(3));
    for (const std::uint16_t v : {std::uint16_t{1}, std::uint16_t{2}, std::uint16_t{3}, std::uint16_t{4}})
        ASSERT_TRUE(s.addLineReport(lineReport(false, 10, 5, {v})));
    const auto& line = s.line(5);
    EXPECT_EQ(s.held(5), 3u);
    EXPECT_EQ(line.sum, 9u);
    EXPECT_EQ(line.sumSquares, 29u);
    EXPECT_EQ(line.largest, 4);
    EXPECT_FLOAT_EQ(line.average, 3.0F);
    EXPECT_FLOAT_EQ(line.deviation, std::sqrt(29.0F / 3.0F - 9.0F));
    EXPECT_EQ(s.xLines(), 10u);
    EXPECT_EQ(s.yLines(), 0u);
}

// A saturating pen on a long window: the squares of 1000 samples of 60000 pass 2^32 many
// times over; the deviation of a constant line must still be 0 and its average the sample.
TEST(LineStatistics, ALongWindowOfStrongSamplesKeepsExactSums) {
    LineStatistics s;
    ASSERT_TRUE(s.reset(1000));
    for (int i = 0; i < 1500; ++i) ASSERT_TRUE(s.addLineReport(lineReport(false, 72, 0, {60000})));
    const auto& line = s.line(0);
    EXPECT_EQ(line.sum, 60000ULL * 1000);
    EXPECT_EQ(line.sumSquares, 60000ULL * 60000 * 1000);
    EXPECT_FLOAT_EQ(line.average, 60000.0F);
    EXPECT_LT(line.deviation, 60000.0F * 1e-3F) << "single precision, but not a wrapped sum";
}

TEST(LineStatistics, WhichSamplesAReportFeeds) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> report;
        std::vector<std::size_t> fed;  // statistics indices that got a sample, in order
    };
    std::vector<std::uint16_t> thirtyOne(31, 7);
    const Case cases[] = {
        {"X lines from the first index", lineReport(false, 72, 3, {10, 20, 30}), {3, 4, 5}},
        {"Y lines sit after the 72 X lines", lineReport(true, 46, 0, {10, 20}), {72, 73}},
        {"stops at the axis's line count", lineReport(false, 5, 3, {1, 2, 3, 4}), {3, 4}},
        {"stops at the sensor's last Y line", lineReport(true, 200, 44, {1, 2, 3, 4}), {116, 117}},
        {"only the first 40 bytes are read",
         lineReport(false, 72, 0, thirtyOne),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}},
        {"a short report gives what it holds", lineReport(false, 72, 0, {5, 6, 7}, 9), {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LineStatistics s;
        ASSERT_TRUE(s.reset(4));
        EXPECT_TRUE(s.addLineReport(c.report));
        std::vector<std::size_t> fed;
        for (std::size_t i = 0; i < controllerlink::kStatisticsLines; ++i)
            if (s.held(i) != 0) fed.push_back(i);
        EXPECT_EQ(fed, c.fed);
    }
}

TEST(LineStatistics, NothingIsCollectedOutsideAWindow) {
    LineStatistics s;
    EXPECT_FALSE(s.addLineReport(lineReport(false, 72, 0, {1}))) << "before any reset";
    ASSERT_TRUE(s.reset(2));
    EXPECT_FALSE(s.addLineReport(std::vector<std::uint8_t>{15, 72, 0})) << "too short to name its lines";
    ASSERT_TRUE(s.addLineReport(lineReport(false, 72, 0, {1})));
    ASSERT_TRUE(s.reset(0));
    EXPECT_FALSE(s.collecting());
    EXPECT_FALSE(s.addLineReport(lineReport(false, 72, 0, {1})));
    EXPECT_EQ(s.held(0), 0u) << "a reset clears";
    EXPECT_FALSE(s.reset(controllerlink::kMaxLineWindow + 1));
    EXPECT_FALSE(s.collecting());
}

TEST(LineStatistics, CompleteWhenEveryAnnouncedLineHoldsAWindow) {
    LineStatistics s;
    ASSERT_TRUE(s.reset(2));
    for (int round = 0; round < 2; ++round) s.addLineReport(lineReport(false, 3, 0, {1, 2, 3}));
    EXPECT_FALSE(s.complete()) << "no Y count announced yet";
    s.addLineReport(lineReport(true, 2, 0, {4, 5}));
    EXPECT_FALSE(s.complete()) << "the Y lines hold one sample each";
    s.addLineReport(lineReport(true, 2, 0, {4, 5}));
    EXPECT_TRUE(s.complete());
    const auto copy = s.copy();
    EXPECT_EQ(copy.xLines, 3u);
    EXPECT_EQ(copy.yLines, 2u);
    EXPECT_FLOAT_EQ(copy.averages[kStatisticsXLines + 1], 5.0F);
    EXPECT_FLOAT_EQ(copy.deviations[0], 0.0F);
}

}  // namespace
