// Reports from a reader thread reach the window's thread as copies, in order, and nothing
// reaches a receiver that is gone.
#include "station/window/qt/report_poster.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>
#include <thread>

namespace {

TEST(ReportPoster, ReportsArriveOnTheWindowsThreadAsCopiesInOrder) {
    QObject receiver;
    std::vector<std::vector<std::uint8_t>> got;
    std::vector<int> ended;
    bool onUiThread = true;
    station::ReportPoster poster(
        receiver,
        [&](int key, const std::vector<std::uint8_t>& r) {
            EXPECT_EQ(key, 1);
            onUiThread = onUiThread && QThread::currentThread() == receiver.thread();
            got.push_back(r);
        },
        [&](int key) { ended.push_back(key); });
    std::thread reader([&] {
        std::vector<std::uint8_t> buffer = {3, 0};
        for (std::uint8_t i = 0; i < 3; ++i) {
            buffer[1] = i;
            poster.onReport(1, buffer);  // the reader writes the next report into the same buffer
        }
        poster.onReaderEnded(1);
    });
    reader.join();
    EXPECT_TRUE(got.empty()) << "nothing runs before the event loop does";
    QCoreApplication::processEvents();
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(got, (std::vector<std::vector<std::uint8_t>>{{3, 0}, {3, 1}, {3, 2}}));
    EXPECT_EQ(ended, std::vector<int>{1});

    got.clear();
    auto gone = std::make_unique<QObject>();
    station::ReportPoster late(*gone, [&](int, const std::vector<std::uint8_t>& r) { got.push_back(r); });
    late.onReport(2, std::vector<std::uint8_t>{3, 9});
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(got.empty()) << "the receiver was deleted before its event loop ran";
}

}  // namespace
