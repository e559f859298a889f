#include "controllerlink/collection_choice.h"

#include <gtest/gtest.h>

#include <vector>

#include "controllerlink/vendor_ids.h"

namespace {

using controllerlink::ControllerGeneration;
using hidlink::CollectionIdentity;

constexpr auto P = controllerlink::VID_PRIMARY;
constexpr auto S = controllerlink::VID_SECONDARY;

TEST(CollectionChoice, TouchIsTheFirstMakerCollectionOfTheGenerationsPageAndTouchUsage) {
    const std::vector<CollectionIdentity> found = {
        {0x046D, 0x1000, 0xFF11, 0x11},  // another maker
        {P, 0x2000, 0xFF11, 0x02},       // pen collection
        {S, 0x2001, 0xFF09, 0x0B},       // R5 driver-mode touch
        {P, 0x2002, 0xFF11, 0x0B},       // R6 driver-mode touch
        {P, 0x2003, 0xFF11, 0x11},
    };
    EXPECT_EQ(controllerlink::findTouchCollection(found, ControllerGeneration::R6), found[3]);
    EXPECT_EQ(controllerlink::findTouchCollection(found, ControllerGeneration::R5), found[2]);
    EXPECT_FALSE(controllerlink::findTouchCollection(std::span(found).first(2), ControllerGeneration::R6));
}

TEST(CollectionChoice, PenUsageFollowsTheTouchUsageAndGeneration) {
    struct Case {
        std::uint32_t touchUsage;
        ControllerGeneration gen;
        std::uint32_t pen;
    };
    for (const Case& c : {Case{0x0B, ControllerGeneration::R5, 0x0A}, Case{0x0B, ControllerGeneration::R6, 0x0A},
                          Case{0x11, ControllerGeneration::R5, 0x13}, Case{0x11, ControllerGeneration::R6, 0x02}}) {
        EXPECT_EQ(controllerlink::penUsage(c.touchUsage, c.gen), c.pen) << c.touchUsage;
    }
}

TEST(CollectionChoice, PenMustShareTheTouchCollectionsVendorProductAndPage) {
    const CollectionIdentity touch{S, 0x3000, 0xFF11, 0x11};
    const std::vector<CollectionIdentity> found = {
        {P, 0x3000, 0xFF11, 0x02},  // other vendor id
        {S, 0x3001, 0xFF11, 0x02},  // other product
        {S, 0x3000, 0xFF09, 0x02},  // other page
        {S, 0x3000, 0xFF11, 0x02},
    };
    EXPECT_EQ(controllerlink::findPenCollection(found, touch, ControllerGeneration::R6), found[3]);
    EXPECT_FALSE(controllerlink::findPenCollection(found, touch, ControllerGeneration::R5));
}

TEST(CollectionChoice, GenerationNamesAreExact) {
    EXPECT_EQ(controllerlink::parseGeneration("R5"), ControllerGeneration::R5);
    EXPECT_EQ(controllerlink::parseGeneration("R6"), ControllerGeneration::R6);
    EXPECT_FALSE(controllerlink::parseGeneration("r6"));
    EXPECT_FALSE(controllerlink::parseGeneration("R7"));
}

}  // namespace
