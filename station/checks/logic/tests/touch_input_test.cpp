#include "station/checks/logic/touch_input.h"

#include <gtest/gtest.h>

#include "station/checks/logic/tests/touch_reports.h"

namespace station::checks {
namespace {

std::vector<Finger> fingers(std::size_t n) {
    std::vector<Finger> f;
    for (std::size_t i = 0; i < n; ++i)
        f.push_back({static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(100 + i),
                     static_cast<std::uint16_t>(2000 + i), static_cast<std::uint8_t>(i % 2 == 0 ? 7 : 4)});
    return f;
}

TEST(TouchFrames, AFrameSpreadOverReportsIsHandedOutWhenItsLastContactCame) {
    struct Case {
        const char* name;
        ContactFormat format;
        std::size_t contacts, reports;
    };
    const Case cases[] = {
        {"plain slots, five a report", {0x00, 5}, 7, 2}, {"size words, three a report", {0x01, 3}, 7, 3},
        {"extra words, two a report", {0x04, 2}, 7, 4},  {"both, one a report", {0x05, 1}, 3, 3},
        {"exactly one report's worth", {0x00, 5}, 5, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameAssembler a;
        const auto reports = touchReports(fingers(c.contacts), c.format, 0x1234);
        ASSERT_EQ(reports.size(), c.reports);
        for (std::size_t i = 0; i + 1 < reports.size(); ++i) EXPECT_FALSE(a.addMaintenanceReport(reports[i], c.format));
        const auto frame = a.addMaintenanceReport(reports.back(), c.format);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->count, c.contacts);
        EXPECT_EQ(frame->scanTime, 0x1234u);
        for (std::size_t i = 0; i < c.contacts; ++i) {
            EXPECT_EQ(frame->contacts[i].id, i + 1);
            EXPECT_EQ(frame->contacts[i].x, 100 + i);
            EXPECT_EQ(frame->contacts[i].y, 2000 + i);
            EXPECT_EQ(frame->contacts[i].status, i % 2 == 0 ? 7u : 4u);
        }
        EXPECT_EQ(frame->contacts[c.contacts].id, 0u) << "the empty slots of the last report are not contacts";
    }
}

TEST(TouchFrames, StaleFollowOnsAndShortReportsAreLeftOut) {
    const ContactFormat f{0x00, 5};
    {
        SCOPED_TRACE("a follow-on of another scan");
        FrameAssembler a;
        auto r = touchReports(fingers(7), f, 10);
        EXPECT_FALSE(a.addMaintenanceReport(r[0], f));
        auto other = touchReports(fingers(7), f, 11);
        EXPECT_FALSE(a.addMaintenanceReport(other[1], f));
        const auto frame = a.addMaintenanceReport(r[1], f);
        ASSERT_TRUE(frame) << "the frame's own follow-on still completes it";
        EXPECT_EQ(frame->contacts[5].id, 6u);
    }
    {
        SCOPED_TRACE("a follow-on after the frame completed");
        FrameAssembler a;
        auto r = touchReports(fingers(7), f, 10);
        EXPECT_FALSE(a.addMaintenanceReport(r[0], f));
        EXPECT_TRUE(a.addMaintenanceReport(r[1], f));
        EXPECT_FALSE(a.addMaintenanceReport(r[1], f)) << "repeated follow-on";
    }
    {
        SCOPED_TRACE("a new frame before the last one completed");
        FrameAssembler a;
        auto r = touchReports(fingers(7), f, 10);
        auto next = touchReports(fingers(2), f, 11);
        EXPECT_FALSE(a.addMaintenanceReport(r[0], f));
        const auto frame = a.addMaintenanceReport(next[0], f);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->count, 2u);
        EXPECT_EQ(frame->contacts[2].id, 0u) << "nothing of the abandoned frame";
    }
    {
        SCOPED_TRACE("a report shorter than the format announces");
        FrameAssembler a;
        auto r = touchReports(fingers(2), f, 10);
        r[0].resize(r[0].size() - 1);
        EXPECT_FALSE(a.addMaintenanceReport(r[0], f));
        const ContactFormat wider{0x05, 5};
        EXPECT_FALSE(a.addMaintenanceReport(touchReports(fingers(2), f, 10)[0], wider));
    }
}

TEST(TouchFrames, AFrameAnnouncingMoreThanTwentyContactsKeepsTwenty) {
    const ContactFormat f{0x00, 5};
    FrameAssembler a;
    const auto reports = touchReports(fingers(25), f, 3);
    std::optional<TouchFrame> frame;
    for (const auto& r : reports) frame = a.addMaintenanceReport(r, f);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->count, 25u);
    EXPECT_EQ(frame->kept(), kFrameContacts);
    EXPECT_EQ(frame->contacts[19].id, 20u);
}

TEST(TouchFrames, DigitizerRecordsAssembleTheSameWay) {
    FrameAssembler a;
    controllerlink::RawContactRecord first{};
    first.contactCount = 7;
    first.scanTime = 5;
    for (std::size_t i = 0; i < 5; ++i)
        first.contacts[i] = {7, static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(i), 9};
    controllerlink::RawContactRecord second{};
    second.scanTime = 5;
    second.contacts[0] = {3, 6, 60, 61};
    second.contacts[1] = {3, 7, 70, 71};
    second.contacts[2] = {3, 99, 1, 1};  // past the frame's count
    controllerlink::RawContactRecord stale = second;
    stale.scanTime = 4;
    EXPECT_FALSE(a.addRawRecord(first));
    EXPECT_FALSE(a.addRawRecord(stale));
    const auto frame = a.addRawRecord(second);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->count, 7u);
    EXPECT_EQ(frame->contacts[6].id, 7u);
    EXPECT_EQ(frame->contacts[6].x, 70u);
    EXPECT_EQ(frame->contacts[6].status, 3u);
    EXPECT_EQ(frame->contacts[7].id, 0u);
}

TEST(PenSamples, TheFirstEightBytesOfReportElevenOnly) {
    const auto p = decodePenSample(penReport(0x21, 0x1234, 0x0567, 900));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->status, 0x21);
    EXPECT_EQ(p->x, 0x1234);
    EXPECT_EQ(p->y, 0x0567);
    EXPECT_EQ(p->pressure, 900);
    auto shortReport = penReport(0x21, 1, 1);
    shortReport.pop_back();
    EXPECT_FALSE(decodePenSample(shortReport));
    auto other = penReport(0x21, 1, 1);
    other[0] = 15;
    EXPECT_FALSE(decodePenSample(other));
}

}  // namespace
}  // namespace station::checks
