#include "station/logs/record_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace station {
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(RecordFile, LineEndsBecomeCrLfOnce) {
    EXPECT_EQ(withCrLf("a\nb\r\n\n"), "a\r\nb\r\n\r\n");
    EXPECT_EQ(withCrLf("\n"), "\r\n");
    EXPECT_EQ(withCrLf("no end"), "no end");
}

TEST(RecordFile, AppendNeverCreatesAndCopyOverwrites) {
    const auto dir = std::filesystem::path(testing::TempDir()) / "record_file";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string log = (dir / "x.log").string();

    EXPECT_FALSE(appendRecordFile(log, "row\n"));
    EXPECT_FALSE(std::filesystem::exists(log));
    ASSERT_TRUE(writeRecordFile(log, "head\n"));
    ASSERT_TRUE(appendRecordFile(log, "row\n"));
    EXPECT_EQ(slurp(log), "head\r\nrow\r\n");

    const std::string copy = (dir / "copy.log").string();
    ASSERT_TRUE(writeRecordFile(copy, "old old old\n"));
    ASSERT_TRUE(copyRecordFile(log, copy));
    EXPECT_EQ(slurp(copy), "head\r\nrow\r\n");
    EXPECT_FALSE(copyRecordFile((dir / "missing").string(), copy));
}

TEST(RecordFile, FullDiskIsAFailure) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(writeRecordFile("/dev/full", "a row that cannot be kept\n"));
    EXPECT_FALSE(appendRecordFile("/dev/full", "a row that cannot be kept\n"));
}

}  // namespace
}  // namespace station
