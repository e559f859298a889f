#include "controllerlink/feature_transfer.h"

#include <gtest/gtest.h>

#include "controllerlink/tests/scripted_controller.h"

namespace {

using testfx::Bytes;

// The transfer needs only the open collection, not the station's command set.
struct PlainLink : controllerlink::DeviceLinkBase {
    PlainLink(hidlink::DeviceTable& table, int key, platform::Clock&) : DeviceLinkBase(table, key) {}
};
using Bench = testfx::BasicBench<PlainLink>;

// The 1024-byte wrapper around `report`, padded with `pad`.
Bytes wrapped(std::uint8_t tag, const Bytes& report, std::uint8_t pad = 0) {
    Bytes w(1024, pad);
    w[0] = tag;
    w[1] = static_cast<std::uint8_t>(report.size() >> 8);
    w[2] = static_cast<std::uint8_t>(report.size() & 0xFF);
    std::copy(report.begin(), report.end(), w.begin() + 3);
    return w;
}

TEST(FeatureTransfer, DriverModeWrapsEverySetButItsTwoExceptions) {
    struct Case {
        const char* what;
        Bytes report;
        bool wrapped;
    };
    Bytes block(263, 0xA5);
    block[0] = 15;
    block[3] = 2;
    Bytes notBlock = block;
    notBlock[3] = 1;
    Bytes report3long(64, 0);
    report3long[0] = 3;
    report3long[1] = 1;
    const std::vector<Case> cases = {
        {"mode report of two bytes", {2, 1}, true},
        {"home-key switch, report 3 of two bytes", {3, 4}, false},
        {"report 3 of 64 bytes", report3long, true},
        {"263-byte block write", block, false},
        {"263-byte report 15 of another command", notBlock, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b(testfx::wrappedCollections());
        ASSERT_TRUE(controllerlink::setFeature(b.table, c.report.size(), c.report, controllerlink::TOUCH_KEY));
        const auto sets = b.device->sets();
        ASSERT_EQ(sets.size(), 1u);
        if (!c.wrapped) {
            EXPECT_EQ(sets[0], c.report);
            continue;
        }
        EXPECT_EQ(sets[0], wrapped(0xBB, c.report));
    }
}

TEST(FeatureTransfer, ModeReportOnDriverModeCollectionIsWrappedAsTheControllerExpects) {
    Bench b(testfx::wrappedCollections());
    const Bytes mode{2, 0xFF};
    ASSERT_TRUE(controllerlink::setFeature(b.table, 2, mode, controllerlink::TOUCH_KEY));
    const Bytes sent = b.device->sets().at(0);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 5), (Bytes{0xBB, 0, 2, 2, 0xFF}));
}

TEST(FeatureTransfer, WrappedGetTakesTheReportFromByteThree) {
    Bench b(testfx::wrappedCollections());
    Bytes query(16);
    for (std::size_t i = 0; i < query.size(); ++i) query[i] = static_cast<std::uint8_t>(0x40 + i);
    query[0] = 4;
    b.device->queue(0xBB, wrapped(0xBB, query, 0xEE));

    Bytes buffer(20, 0x77);
    ASSERT_TRUE(controllerlink::getFeature(b.table, 4, 16, buffer, controllerlink::TOUCH_KEY));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 16), query);
    EXPECT_EQ(buffer[16], 0x77) << "nothing past the asked length is written";
}

TEST(FeatureTransfer, WrappedAnswerOfAnotherReportIsRefused) {
    Bench b(testfx::wrappedCollections());
    Bytes maintenance(64, 0x55);
    maintenance[0] = 9;
    b.device->queue(0xBB, wrapped(0xBB, maintenance));
    Bytes buffer(16, 0);
    EXPECT_FALSE(controllerlink::getFeature(b.table, 4, 16, buffer, controllerlink::TOUCH_KEY));
}

TEST(FeatureTransfer, PenCollectionOfTheDriverModePairUsesItsOwnTag) {
    Bench b(testfx::wrappedCollections());
    const Bytes pen{11, 1};
    ASSERT_TRUE(controllerlink::setFeature(b.table, 2, pen, controllerlink::PEN_KEY));
    EXPECT_EQ(b.device->sets().at(0)[0], 0xBA);
}

TEST(FeatureTransfer, PlainCollectionSendsAndReadsReportsAsTheyAre) {
    Bench b;
    Bytes mode{2, 1};
    ASSERT_TRUE(controllerlink::setFeature(b.table, 2, mode, controllerlink::TOUCH_KEY));
    EXPECT_EQ(b.device->sets().at(0), mode);
    b.device->queue(2, {2, 1});
    Bytes buffer(2, 0xFF);
    ASSERT_TRUE(controllerlink::getFeature(b.table, 2, 2, buffer, controllerlink::TOUCH_KEY));
    EXPECT_EQ(buffer, (Bytes{2, 1}));
}

TEST(FeatureTransfer, RefusesBadRequestsWithoutTransfer) {
    Bench b(testfx::wrappedCollections());
    Bytes small(8, 0);
    Bytes huge(1022, 0);
    huge[0] = 9;
    EXPECT_FALSE(controllerlink::getFeature(b.table, 9, 64, small, controllerlink::TOUCH_KEY))
        << "length beyond the buffer";
    EXPECT_FALSE(controllerlink::setFeature(b.table, 64, small, controllerlink::TOUCH_KEY))
        << "length beyond the buffer";
    EXPECT_FALSE(controllerlink::setFeature(b.table, huge.size(), huge, controllerlink::TOUCH_KEY))
        << "larger than the wrapper holds";
    EXPECT_FALSE(controllerlink::getFeature(b.table, 9, huge.size(), huge, controllerlink::TOUCH_KEY))
        << "larger than the wrapper holds";
    EXPECT_FALSE(controllerlink::setFeature(b.table, 0, small, controllerlink::TOUCH_KEY));
    EXPECT_FALSE(controllerlink::setFeature(b.table, 2, small, 7)) << "key not open";
    EXPECT_FALSE(controllerlink::getFeature(b.table, 9, 8, small, 7)) << "key not open";
    EXPECT_TRUE(b.device->sets().empty());
    EXPECT_EQ(b.device->getsOf(0xBB), 0u);
}

TEST(FeatureTransfer, RefusedTransferIsAFailure) {
    Bench b;
    b.bus.setFaults(b.deviceId, {0, 1, false});
    const Bytes mode{2, 1};
    EXPECT_FALSE(controllerlink::setFeature(b.table, 2, mode, controllerlink::TOUCH_KEY));
    EXPECT_TRUE(controllerlink::setFeature(b.table, 2, mode, controllerlink::TOUCH_KEY))
        << "nothing is retried, nothing is stuck";
}

}  // namespace
