#include "romwrite/log/writer_log.h"

#include <gtest/gtest.h>

#include "romwrite/testing/bench.h"

namespace romwrite {
namespace {

TEST(WriterLog, HeaderStampsDumpsAndErrorsWithCrLf) {
    const std::string dir = testing::freshDirectory("log");
    platform::VirtualClock clock(platform::TimeOfDay{2026, 3, 7, 14, 5, 9, 42});
    {
        WriterLog log(clock);
        log.log("not open: dropped");
        ASSERT_TRUE(log.open(dir));
        log.log("Process start.");
        clock.advance(61'234);
        log.logError("SET ERROR", "Broken pipe");
        const std::uint8_t bytes[18] = {0x07, 0x01, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x10, 0x02};
        log.logDump(bytes);
        log.log("caf\xC3\xA9");
    }
    {
        // Appended by a later run, under a header of its own.
        WriterLog again(clock);
        ASSERT_TRUE(again.open(dir));
        again.log("Close device.");
    }
    EXPECT_EQ(testing::readFile(dir + "/Log.txt"),
              "\r\n03/07 14:05:09.042\r\n"
              "05:09.042 Process start.\r\n"
              "06:10.276 SET ERROR\r\n"
              "Error:Broken pipe\r\n"
              "07,01,AB,00,00,00,00,00,00,00,00,00,00,00,00,FF,\r\n"
              "10,02,\r\n"
              "06:10.276 caf??\r\n"
              "\r\n03/07 14:06:10.276\r\n"
              "06:10.276 Close device.\r\n");
    std::filesystem::remove_all(dir);
}

TEST(WriterLog, LongLineIsCutToItsLimit) {
    const std::string dir = testing::freshDirectory("loglong");
    platform::VirtualClock clock;
    WriterLog log(clock);
    ASSERT_TRUE(log.open(dir));
    log.log(std::string(5000, 'x'));
    log.close();
    const std::string body =
        testing::readFile(dir + "/Log.txt").substr(std::string("\r\n01/01 09:00:00.000\r\n").size());
    ASSERT_EQ(body.size(), WriterLog::kMaxLine);
    EXPECT_EQ(body.substr(0, 10), "00:00.000 ");
    EXPECT_EQ(body.substr(body.size() - 3), "x\r\n");
    std::filesystem::remove_all(dir);
}

TEST(WriterLog, UnopenableDirectoryLogsNothing) {
    platform::VirtualClock clock;
    WriterLog log(clock);
    EXPECT_FALSE(log.open("/nonexistent/dir"));
    EXPECT_FALSE(log.isOpen());
    log.log("dropped");
}

}  // namespace
}  // namespace romwrite
