#include "controllerlink/device_link_base.h"

#include <gtest/gtest.h>

#include "controllerlink/vendor_ids.h"
#include "platform/clock.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"

namespace {

using hidlink::CollectionIdentity;
using sim::CollectionSpec;
using sim::ReportSpec;

CollectionSpec vendorCollection(std::uint16_t page, std::uint16_t usage) {
    return {page, usage, {{ReportSpec::Feature, 9, 64}, {ReportSpec::Input, 1, 64}}};
}

class DeviceLinkBaseTest : public ::testing::Test {
protected:
    std::shared_ptr<sim::TableDevice> plug(std::uint16_t vid, std::uint16_t pid,
                                           std::vector<std::vector<CollectionSpec>> ifaces) {
        auto dev = std::make_shared<sim::TableDevice>(sim::UsbIdentity{vid, pid, 0x0102}, std::move(ifaces));
        bus.addDevice(dev);
        return dev;
    }
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
};

TEST_F(DeviceLinkBaseTest, NoDevicePresentGivesAnEmptyFoundList) {
    controllerlink::DeviceLinkBase link(table, controllerlink::TOUCH_KEY);
    EXPECT_EQ(link.refreshFoundList(), 0u);
    EXPECT_EQ(link.found(), 0u);
}

TEST_F(DeviceLinkBaseTest, FoundListKeepsOnlyTheMakersCollectionsInOrder) {
    plug(0x046D, 0xC077, {{vendorCollection(0x0001, 0x02)}});
    plug(controllerlink::VID_SECONDARY, 0x2000, {{vendorCollection(0xFF09, 0x11)}});
    plug(controllerlink::VID_PRIMARY, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    controllerlink::DeviceLinkBase link(table, controllerlink::TOUCH_KEY);
    ASSERT_EQ(link.refreshFoundList(), 2u);
    EXPECT_EQ(link.foundList()[0].productId, 0x2000u);
    EXPECT_EQ(link.foundList()[1].productId, 0x3000u);
}

TEST_F(DeviceLinkBaseTest, LinkOpenAndCloseTrackState) {
    auto dev = plug(controllerlink::VID_PRIMARY, 0x3000, {{vendorCollection(0xFF11, 0x11)}});
    controllerlink::DeviceLinkBase link(table, controllerlink::TOUCH_KEY);
    link.close();  // closing a closed link is harmless
    EXPECT_FALSE(link.open({controllerlink::VID_PRIMARY, 0x3000, 0xFF11, 0x12}));
    EXPECT_EQ(link.openedIdentity(), CollectionIdentity{});
    ASSERT_TRUE(link.open({controllerlink::VID_PRIMARY, 0x3000, 0xFF11, 0}));
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(link.openedIdentity(), (CollectionIdentity{controllerlink::VID_PRIMARY, 0x3000, 0xFF11, 0x11}));
    EXPECT_EQ(link.info().versionNumber, 0x0102);
    EXPECT_EQ(link.info().caps.featureReportLength, 64u);
    link.close();
    EXPECT_FALSE(link.isOpen());
    EXPECT_FALSE(table.contains(controllerlink::TOUCH_KEY));
}

}  // namespace
