#include "station/recipe/threshold_tables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/tests/fifo_guard.h"
#include "station/recipe/tests/recipe_test_support.h"

namespace station {
namespace {

using ::testing::ElementsAre;

// One table row: `values` numbers, each followed by a comma (the table files' own layout).
std::string row(int values, double first, double step = 0.0) {
    std::string out;
    for (int i = 0; i < values; ++i) out += std::to_string(first + step * i) + ",";
    return out + "\r\n";
}

std::string block(const std::string& key, int rows, double value) {
    std::string out = key + "\r\n";
    for (int r = 0; r < rows; ++r) out += row(kGridRx, value + r);
    return out;
}

TEST(TableRow, ValuesStandBeforeCommas) {
    struct Case {
        const char* line;
        int count;
        std::array<double, 4> cells;
    };
    const Case cases[] = {
        {"1,2,3", 2, {1, 2, 0, 0}},         // no trailing comma: the last number is no value
        {"1,,-2.5e1,", 3, {1, 0, -25, 0}},  // an empty field reads 0
        {"x,4,", 2, {0, 4, 0, 0}},          // no number reads 0
        {"", 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        std::array<double, kGridRx> cells{};
        EXPECT_EQ(readTableRow(c.line, cells.data()), c.count) << c.line;
        for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(cells[i], c.cells[i]) << c.line << " cell " << i;
    }
}

TEST(TableRow, DecimalPointOnADecimalCommaDesk) {
    test::ScratchDir dir;
    const test::DecimalCommaLocale comma(dir.path());
    if (!comma.active()) GTEST_SKIP() << "no decimal-comma locale can be had here";
    std::array<double, kGridRx> cells{};
    EXPECT_EQ(readTableRow("1.5,-0.25,", cells.data()), 2);
    EXPECT_DOUBLE_EQ(cells[0], 1.5);
    EXPECT_DOUBLE_EQ(cells[1], -0.25);
}

TEST(TableRow, ValuesPastTheGridAreCountedNotStored) {
    std::array<double, kGridRx + 1> cells{};
    cells[kGridRx] = -1.0;  // guard cell just past the row
    EXPECT_EQ(readTableRow(row(80, 1.0).c_str(), cells.data()), 80);
    EXPECT_DOUBLE_EQ(cells[kGridRx - 1], 1.0);
    EXPECT_DOUBLE_EQ(cells[kGridRx], -1.0);
}

TEST(TableRow, BlanksAndIdeographicSpacesAreDeleted) {
    EXPECT_EQ(stripTableBlanks("1\xE3\x80\x80"
                               "0, 2 ,# Ref erence"),
              "10,2,#Reference");
    // A lone E3 byte that does not start U+3000 is kept.
    EXPECT_EQ(stripTableBlanks("\xE3\x80"
                               "1"),
              "\xE3\x80"
              "1");
}

TEST(BlockTable, RowsFollowTheFirstKeyLine) {
    auto table = std::make_unique<Grid>();
    const std::string content = "title,1,2,\r\n# Reference\r\n" + row(3, 5.0) + "#Reference again\r\n" +
                                "1\xE3\x80\x80"
                                "0,7,\n";
    ASSERT_TRUE(readBlockTable(content, "Reference", *table));
    EXPECT_DOUBLE_EQ((*table)[0][2], 5.0);
    EXPECT_DOUBLE_EQ((*table)[1][0],
                     10.0);  // a second key line does not restart the rows
    EXPECT_DOUBLE_EQ((*table)[1][1], 7.0);
    EXPECT_FALSE(readBlockTable("#reference\n1,2,\n", "Reference", *table));  // case matters
}

TEST(BlockTable, StopsAfterAFullLastRowAndDropsRowsPastTheGrid) {
    auto gap = std::make_unique<Grid>();
    const std::string content = block("#Gap", kGridTx, 1.0) + block("#Vertical", kGridTx, 100.0);
    ASSERT_TRUE(readBlockTable(content, "Gap", *gap));
    EXPECT_DOUBLE_EQ((*gap)[45][71], 46.0);
    auto vertical = std::make_unique<Grid>();
    ASSERT_TRUE(readBlockTable(content, "Vertical", *vertical));
    EXPECT_DOUBLE_EQ((*vertical)[0][0], 100.0);
    EXPECT_DOUBLE_EQ((*vertical)[45][0], 145.0);

    // A short 46th row does not end the block; the rows after it have no place and are dropped.
    std::string overlong = "#Reference\n";
    for (int r = 0; r < 50; ++r) overlong += row(r == 45 ? 10 : kGridRx, r);
    auto ref = std::make_unique<Grid>();
    ASSERT_TRUE(readBlockTable(overlong, "Reference", *ref));
    EXPECT_DOUBLE_EQ((*ref)[45][9], 45.0);
    EXPECT_DOUBLE_EQ((*ref)[45][10], 0.0);
}

TEST(ThresholdTable, CompleteBlocksFillBothTables) {
    auto upper = std::make_unique<Grid>();
    auto lower = std::make_unique<Grid>();
    const auto found =
        readThresholdTable(block("#Upper", kGridTx, 300.0) + block("#Lower", kGridTx, -300.0), *upper, *lower);
    EXPECT_TRUE(found.upper);
    EXPECT_TRUE(found.lower);
    EXPECT_DOUBLE_EQ((*upper)[45][0], 345.0);
    EXPECT_DOUBLE_EQ((*lower)[0][0], -300.0);
    EXPECT_DOUBLE_EQ((*lower)[45][71], -255.0);
}

TEST(ThresholdTable, IncompleteUpperBlockContinuesIntoLower) {
    auto upper = std::make_unique<Grid>();
    auto lower = std::make_unique<Grid>();
    readThresholdTable(block("#Upper", 10, 300.0) + block("#Lower", 3, -300.0) + "data,after,\n", *upper, *lower);
    EXPECT_DOUBLE_EQ((*upper)[9][0], 309.0);
    EXPECT_DOUBLE_EQ((*lower)[9][0], 0.0);
    EXPECT_DOUBLE_EQ((*lower)[10][0], -300.0);
    EXPECT_DOUBLE_EQ((*lower)[12][0], -298.0);
    EXPECT_DOUBLE_EQ((*lower)[13][0], 0.0);  // "data,after," holds no numbers

    // Data lines before any key line belong to no table.
    *upper = {};
    const auto found = readThresholdTable(row(kGridRx, 9.0) + "#Upper\n" + row(2, 1.0), *upper, *lower);
    EXPECT_FALSE(found.lower);
    EXPECT_DOUBLE_EQ((*upper)[0][0], 1.0);
}

TEST(ThresholdTable, RowsPastABlockAreDropped) {
    auto upper = std::make_unique<Grid>();
    auto lower = std::make_unique<Grid>();
    std::string content = "#Upper\n";
    for (int r = 0; r < 60; ++r) content += row(5, r);  // never a full row: the block never ends
    content += "#Lower\n" + row(kGridRx, -1.0);
    readThresholdTable(content, *upper, *lower);
    EXPECT_DOUBLE_EQ((*upper)[45][0], 45.0);
    EXPECT_DOUBLE_EQ((*lower)[0][0], 0.0);
}

class LoadTables : public ::testing::Test {
protected:
    LoadTables() : s_(std::make_unique<RecipeSettings>()) {
        s_->REFERENCE_CSV = dir_.write("ref.csv", block("#Reference", kGridTx, 2000.0));
        s_->THRESHOLD_CSV = dir_.write("th.csv", block("#Upper", kGridTx, 300.0) + block("#Lower", kGridTx, -300.0));
        s_->GAP_CSV = dir_.write("gap.csv", block("#Gap", kGridTx, 60.0) + block("#Vertical", kGridTx, 70.0));
    }
    test::ScratchDir dir_;
    std::vector<std::string> messages_;
    std::unique_ptr<RecipeSettings> s_;
};

TEST_F(LoadTables, ReadersRunAsTheChecksNeed) {
    struct Case {
        int rawLogOnly, gap, gapVertical, gapLogOnly;
        bool ref, threshold, gapH, gapV;
    };
    const Case cases[] = {
        {0, 0, 0, 0, true, true, false, false},   {0, 1, 1, 0, true, true, true, true},
        {1, 0, 0, 0, false, false, false, false}, {1, 1, 0, 0, true, false, true, false},
        {0, 1, 1, 1, true, true, false, false},
    };
    for (const auto& c : cases) {
        s_->RAW_LOG_ONLY = c.rawLogOnly;
        s_->GAP_CHECK = c.gap;
        s_->GAP_VERTICAL = c.gapVertical;
        s_->GAP_LOG_ONLY = c.gapLogOnly;
        s_->UpperTable[0][0] = -1.0;  // a reader that does not run still clears its tables
        ASSERT_TRUE(LoadThresholdTables(*s_, messages_));
        EXPECT_EQ(s_->ReferenceTable[0][0] != 0.0, c.ref);
        EXPECT_EQ(s_->UpperTable[0][0] != 0.0, c.threshold);
        EXPECT_EQ(s_->LowerTable[0][0] != 0.0, c.threshold);
        EXPECT_EQ(s_->GapHorizontalTable[0][0] != 0.0, c.gapH);
        EXPECT_EQ(s_->GapVerticalTable[0][0] != 0.0, c.gapV);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(LoadTables, EveryMissingKeyAndFileIsReported) {
    s_->GAP_CHECK = 1;
    s_->GAP_VERTICAL = 1;
    s_->REFERENCE_CSV = dir_.write("ref.csv", "#reference\n1,\n");
    s_->THRESHOLD_CSV = dir_.write("th.csv", block("#Upper", kGridTx, 300.0));
    s_->GAP_CSV = dir_.str() + "/none.csv";
    EXPECT_FALSE(LoadThresholdTables(*s_, messages_));
    EXPECT_THAT(messages_,
                ElementsAre("Ini Error: Could not find the key '#Reference' in " + s_->REFERENCE_CSV + ".",
                            "Ini Error: Could not find the key '#Lower' in " + s_->THRESHOLD_CSV + ".",
                            "Failed to open csv '" + s_->GAP_CSV + "'", "Failed to open csv '" + s_->GAP_CSV + "'"));
    EXPECT_DOUBLE_EQ(s_->UpperTable[0][0], 300.0);

    messages_.clear();
    s_->GAP_CSV = dir_.write("gap.csv", "#Gap\n1,\n");
    s_->THRESHOLD_CSV = dir_.write("th.csv", "nothing,\n");
    EXPECT_FALSE(LoadThresholdTables(*s_, messages_));
    EXPECT_THAT(messages_, ElementsAre("Ini Error: Could not find the key '#Reference' in " + s_->REFERENCE_CSV + ".",
                                       "Ini Error: Could not find the key '#Upper' in " + s_->THRESHOLD_CSV + ".",
                                       "Ini Error: Could not find the key '#Lower' in " + s_->THRESHOLD_CSV + ".",
                                       "Ini Error: Could not find the key '#Vertical' in " + s_->GAP_CSV + "."));
}

TEST_F(LoadTables, FilesThatAreNoSmallRegularFilesAreRefusedAtOnceWithTheReason) {
    platform::test::IdleFifo fifo;
    const std::string big = dir_.write("big.csv", std::string(kMaxTableFileBytes + 1, ' '));
    struct Case {
        std::string path, why;
    } cases[] = {
        {fifo.path(), "is not a regular file but a FIFO"},
        {"/dev/zero", "is not a regular file but a character device"},
        {dir_.str(), "is a directory"},
        {big, "is larger than " + std::to_string(kMaxTableFileBytes) + " bytes"},
    };
    std::vector<std::string> traces;
    const TableFileAccess access{"", [&](std::string_view t) { traces.emplace_back(t); }};
    for (const auto& c : cases) {
        messages_.clear();
        traces.clear();
        s_->REFERENCE_CSV = c.path;
        bool ok = true;
        EXPECT_FALSE(platform::test::blockedOnFifo(fifo.path(), [&] {
            ok = LoadThresholdTables(*s_, messages_, access);
        })) << c.path;
        EXPECT_FALSE(ok);
        EXPECT_THAT(messages_, ElementsAre("Failed to open csv '" + c.path + "'"));
        EXPECT_THAT(traces, ElementsAre(c.path + ": " + c.why + "\n"));
        EXPECT_DOUBLE_EQ(s_->UpperTable[0][0], 300.0) << "the other readers carry on";
    }
}

TEST_F(LoadTables, RelativeNamesAreReadBelowTheStartFolder) {
    s_->REFERENCE_CSV = "ref.csv";
    ASSERT_TRUE(LoadThresholdTables(*s_, messages_, {dir_.str(), {}})) << ::testing::PrintToString(messages_);
    EXPECT_DOUBLE_EQ(s_->ReferenceTable[0][0], 2000.0);
}

}  // namespace
}  // namespace station
