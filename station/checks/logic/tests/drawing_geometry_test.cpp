#include "station/checks/logic/drawing_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace station::checks {
namespace {

// 1000 x 600 pixels with a 10 % judge area: corner boxes of 100 x 60.
DrawingGeometry screen() { return DrawingGeometry::make({0, 0, 1000, 600}, 10.0, 20000, 12000); }

TEST(DrawingGeometry, BoxesZonesAndTargetsOfTheDrawingArea) {
    const DrawingGeometry g = screen();
    EXPECT_EQ(g.cornerBox[TL], (Box{0, 0, 100, 60}));
    EXPECT_EQ(g.cornerBox[TR], (Box{900, 0, 100, 60}));
    EXPECT_EQ(g.cornerBox[BR], (Box{900, 540, 100, 60}));
    EXPECT_EQ(g.cornerBox[BL], (Box{0, 540, 100, 60}));
    EXPECT_EQ(g.startZone, (Box{-25, -15, 150, 90}));
    EXPECT_EQ(g.actionBox, (Box{425, 435, 150, 90}));
    EXPECT_EQ(g.diagonalTolerance, 100);
    EXPECT_EQ(g.hoverTargets[0], (Box{200, 270, 100, 60}));
    EXPECT_EQ(g.hoverTargets[2], (Box{700, 270, 100, 60}));
    EXPECT_DOUBLE_EQ(g.accuracyPen[BR].x, 19000);
    EXPECT_DOUBLE_EQ(g.accuracyPen[4].y, 6000);
    EXPECT_DOUBLE_EQ(g.accuracyScreen[TR].x, 950);

    // An odd judge area truncates the boxes and the start zone's quarter.
    const DrawingGeometry odd = DrawingGeometry::make({0, 0, 1366, 768}, 7.5, 1, 1);
    EXPECT_EQ(odd.judgeW, 102);
    EXPECT_EQ(odd.judgeH, 57);
    EXPECT_EQ(odd.startZone, (Box{-25, -14, 153, 85}));
    EXPECT_EQ(odd.cornerBox[BR], (Box{1264, 711, 102, 57}));
}

TEST(DrawingGeometry, InsideCountsTheEdgesExceptForTheExitBox) {
    const Box b{10, 20, 30, 40};
    struct Case {
        Point p;
        bool inside, strictly;
    };
    const Case cases[] = {
        {{10, 20}, true, false}, {{40, 60}, true, false},  {{11, 21}, true, true},
        {{9, 30}, false, false}, {{25, 61}, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(b.contains(c.p), c.inside) << c.p.x << "," << c.p.y;
        EXPECT_EQ(b.strictlyContains(c.p), c.strictly) << c.p.x << "," << c.p.y;
    }
}

TEST(DrawingGeometry, TheSquaresBandLiesBetweenTheCornerBoxesOuterAndInnerEdges) {
    const DrawingGeometry g = screen();
    struct Case {
        const char* name;
        Point p;
        bool outside;
    };
    const Case cases[] = {
        {"in the top left box", {50, 30}, false},
        {"on the top strip", {500, 30}, false},
        {"on the inner rectangle's top edge", {500, 60}, true},
        {"in the middle", {500, 300}, true},
        {"on the inner rectangle's right edge", {900, 300}, true},
        {"just right of it", {901, 300}, false},
        {"on the outer right edge", {1000, 300}, false},
        {"beyond it", {1001, 300}, true},
        {"on the bottom strip", {500, 599}, false},
        {"left of the area", {-1, 300}, true},
    };
    for (const Case& c : cases) EXPECT_EQ(g.outsideBand(c.p), c.outside) << c.name;
}

TEST(DrawingGeometry, AccuracyRegionsAreThirdsWithInclusiveBounds) {
    const DrawingGeometry g = DrawingGeometry::make({0, 0, 900, 600}, 10.0, 1, 1);
    struct Case {
        Point p;
        int region;  // the one target region it lies in; -1 none
    };
    const Case cases[] = {
        {{0, 0}, TL},   {{300, 200}, -2},  // both a corner third and the middle: checked below
        {{600, 0}, TR}, {{899, 599}, BR}, {{0, 400}, BL}, {{450, 300}, 4}, {{450, 100}, -1}, {{301, 199}, -1},
    };
    for (const Case& c : cases) {
        if (c.region == -2) {
            EXPECT_TRUE(g.inAccuracyRegion(TL, c.p));
            EXPECT_TRUE(g.inAccuracyRegion(4, c.p));
            continue;
        }
        for (std::size_t i = 0; i < kAccuracyTargets; ++i)
            EXPECT_EQ(g.inAccuracyRegion(i, c.p), static_cast<int>(i) == c.region)
                << c.p.x << "," << c.p.y << " region " << i;
    }
}

TEST(DrawingGeometry, DiagonalDistanceFromTheAngleBetweenTheSlopes) {
    const Point a{100, 60}, b{900, 540};
    struct Case {
        const char* name;
        Point p;
        double distance;
    };
    const Case cases[] = {
        {"on the line", {500, 300}, 0.0},
        {"at the start", {100, 60}, 0.0},
        {"straight below the start", {100, 160}, std::sin(std::atan(800.0 / 480.0)) * 100},
        // |AP| = 141.42 is truncated to 141 before the angle applies.
        {"level with the start", {200, 160}, std::sin(std::atan(1.0) - std::atan(0.6)) * 141},
    };
    for (const Case& c : cases) EXPECT_NEAR(diagonalDistance(a, b, c.p), c.distance, 1e-9) << c.name;
    // A vertical line: its slope is infinite, not a division fault.
    EXPECT_NEAR(diagonalDistance({10, 10}, {10, 500}, {20, 110}), std::sin(std::atan(10.0 / 100.0)) * 100, 1e-9);
}

TEST(DrawingGeometry, TouchAndPenScales) {
    const Surface s{0, 0, 1000, 600};
    InputScale k;
    k.setTouch(s, 1001, 601, false);
    EXPECT_EQ(k.touchPoint(1000, 600), (Point{1000, 600}));
    // Rotated: the ranges change places, the coordinates do not.
    k.setTouch(s, 601, 1001, true);
    EXPECT_EQ(k.touchPoint(500, 300), (Point{500, 300}));
    k.setTouch(s, 1, 0, false);
    EXPECT_EQ(k.touchPoint(500, 300), (Point{0, 0})) << "a range that cannot scale";
    k.setPen(s, 2000, 1200, 1023);
    EXPECT_EQ(k.penPoint(1999, 600), (Point{999, 300}));
    EXPECT_DOUBLE_EQ(k.penWidth, 10.0 / 1023);
    k.setPen(s, 0, 0, 0);
    EXPECT_EQ(k.penPoint(1999, 600), (Point{0, 0}));
}

}  // namespace
}  // namespace station::checks
