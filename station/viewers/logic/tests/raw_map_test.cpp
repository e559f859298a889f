// The raw data viewer's pictures as data: colour scale, map geometry, range labels, which cells
// are filled or crossed, the colour bar and the tooltips.
#include "station/viewers/logic/raw_map.h"

#include <gtest/gtest.h>

#include "station/viewers/logic/tests/raw_bench.h"

namespace {

using station::viewers::RawKey;
using station::viewers::RawView;
using station::viewers::Rect;
using station::viewers::Rgba;
using testfx::RawBench;

TEST(RawColourScale, SixBandsFromDarkBlueToPinkGrowingOpaque) {
    struct Case {
        double x, minimum, maximum;
        Rgba colour;
    };
    const Case cases[] = {
        {0, -1000, 1000, {0, 255, 0, 205}},         // the middle of a symmetric range: pure green
        {-1000, -1000, 1000, {0, 0, 128, 155}},     // at the minimum (127.5 rounds up)
        {-5000, -1000, 1000, {0, 0, 128, 155}},     // below it
        {1000, -1000, 1000, {255, 128, 128, 255}},  // at the maximum
        {10, 0, 100, {0, 0, 255, 165}},             // a band's upper bound belongs to it
        {20, 0, 100, {0, 128, 255, 175}},
        {30, 0, 100, {0, 255, 255, 185}},
        {40, 0, 100, {0, 255, 128, 195}},
        {60, 0, 100, {128, 255, 0, 215}},
        {70, 0, 100, {255, 255, 0, 225}},
        {90, 0, 100, {255, 0, 0, 245}},
        {95, 0, 100, {255, 64, 64, 250}},
        {5, 5, 5, {0, 0, 128, 155}},  // an empty range divides by nothing
    };
    for (const Case& c : cases) {
        const Rgba got = station::viewers::colourOf(c.x, c.minimum, c.maximum);
        EXPECT_EQ(got, c.colour) << c.x << " in " << c.minimum << ".." << c.maximum << ": " << got.red << ","
                                 << got.green << "," << got.blue << "," << got.alpha;
    }
    EXPECT_EQ(station::viewers::colourOf(0, -1000, 1000).argb(), 0xCD00FF00u);
}

TEST(RawColourMap, MapKeepsTheGridsAspectAndPointsAtTheCellUnderThePointer) {
    struct Case {
        Rect area;
        std::uint32_t rx, tx;
        Rect map;
    };
    const Case cases[] = {
        {{10, 20, 730, 460}, 72, 46, {10, 20, 720, 460}},  // too wide: narrower
        {{0, 0, 720, 900}, 72, 46, {0, 0, 720, 460}},      // too tall: lower
        {{0, 0, 300, 300}, 10, 10, {0, 0, 300, 300}},
    };
    for (const Case& c : cases) EXPECT_EQ(station::viewers::fitGridAspect(c.area, c.rx, c.tx), c.map);

    // 10 x 5 lines in 660 x 330 pixels: cells of 60 x 55, cell (t, r) centred at (60 (r + 1), 55 (t + 1)).
    const station::viewers::MapGeometry g({0, 0, 660, 330}, 10, 5);
    struct Point {
        int x, y, tx, rx;
    };
    const Point points[] = {{120, 55, 0, 1}, {89, 83, 1, 0}, {91, 82, 0, 1}, {2, 2, 0, 0}, {659, 329, 4, 9}};
    for (const Point& p : points) {
        int tx = -1;
        int rx = -1;
        ASSERT_TRUE(g.cellAt(p.x, p.y, tx, rx));
        EXPECT_EQ(rx, p.rx) << p.x;
        EXPECT_EQ(tx, p.tx) << p.y;
    }
    int tx = 0;
    int rx = 0;
    EXPECT_FALSE(g.cellAt(661, 10, tx, rx)) << "beside the map";
    EXPECT_FALSE(station::viewers::MapGeometry({0, 0, 100, 100}, 0, 0).cellAt(5, 5, tx, rx));
}

TEST(RawColourMap, RangeAndLabelsFromTheTotalsOrTheFields) {
    RawBench b(true, 2, 1);
    auto& v = b.streaming();
    b.frame->cells[0][0] = 100;
    b.frame->cells[0][1] = 250;
    b.feed();
    auto range = station::viewers::mapRange(v);
    EXPECT_EQ(range.minimum, 100);
    EXPECT_EQ(range.maximum, 250);
    EXPECT_EQ(range.minLabel.view(), "min (100)");
    EXPECT_EQ(range.maxLabel.view(), "(250) max");
    v.setView(RawView::Error);  // both cells are above an upper limit of 0
    range = station::viewers::mapRange(v);
    EXPECT_EQ(range.minimum, 0) << "error counts start at 0";
    EXPECT_EQ(range.maxLabel.view(), "(1) max");
    v.setAutoRange(false);
    v.setManualRange(-5, 5);
    range = station::viewers::mapRange(v);
    EXPECT_EQ(range.minimum, -5);
    EXPECT_EQ(range.maximum, 5);
    EXPECT_EQ(range.minLabel.view(), "min");
    EXPECT_EQ(range.maxLabel.view(), "max");
}

TEST(RawColourMap, ZeroCellsOfTheJudgementViewsAreOnlyFramedAndErrorsCrossed) {
    RawBench b(true, 2, 1);
    b.recipe->UpperTable[0][0] = 1000;
    b.recipe->UpperTable[0][1] = 10;
    b.recipe->LowerTable[0][0] = -1000;
    b.recipe->LowerTable[0][1] = -1000;
    auto& v = b.streaming();
    b.frame->cells[0][0] = 0;
    b.frame->cells[0][1] = 50;  // 40 above its upper limit
    b.feed();
    v.setAutoRange(false);
    const auto range = station::viewers::mapRange(v);
    struct Case {
        RawView view;
        bool zeroFilled, otherFilled;
    };
    const Case cases[] = {{RawView::Raw, true, true},
                          {RawView::Diff, true, true},
                          {RawView::Upper, false, true},
                          {RawView::Lower, false, false},
                          {RawView::Error, false, true}};
    for (const Case& c : cases) {
        v.setView(c.view);
        EXPECT_EQ(station::viewers::cellPaint(v, range, 0, 0).filled, c.zeroFilled) << rawViewLabel(c.view);
        EXPECT_EQ(station::viewers::cellPaint(v, range, 0, 1).filled, c.otherFilled) << rawViewLabel(c.view);
    }
    v.setView(RawView::Raw);
    EXPECT_EQ(station::viewers::cellPaint(v, range, 0, 0).colour, (Rgba{0, 255, 0, 205}));
    EXPECT_FALSE(station::viewers::cellPaint(v, range, 0, 1).cross);
    v.key(RawKey::E);
    EXPECT_FALSE(station::viewers::cellPaint(v, range, 0, 0).cross);
    EXPECT_TRUE(station::viewers::cellPaint(v, range, 0, 1).cross);
    v.clear();
    EXPECT_FALSE(station::viewers::cellPaint(v, range, 0, 1).filled) << "without data only the grid is drawn";
}

TEST(RawColourMap, ColourBarRunsFromMinimumToMaximum) {
    EXPECT_EQ(station::viewers::colourBarColour(0, 201, -1000, 1000), (Rgba{0, 0, 128, 155}));
    EXPECT_EQ(station::viewers::colourBarColour(100, 201, -1000, 1000), (Rgba{0, 255, 0, 205}));
    EXPECT_EQ(station::viewers::colourBarColour(200, 201, -1000, 1000), (Rgba{255, 128, 128, 255}));
}

TEST(RawTooltips, CellValuesOverTheMapNoiseOverTheChart) {
    RawBench b(true, 10, 5);
    b.recipe->ReferenceTable[1][2] = 1000;
    b.recipe->UpperTable[1][2] = 50;
    b.recipe->LowerTable[1][2] = -40;
    auto& v = b.streaming();
    b.fill(1000, 9);
    b.feed();
    b.fill(1100, 16);
    b.feed();
    const station::viewers::MapGeometry g({0, 0, 660, 330}, 10, 5);
    station::viewers::TooltipText tip;
    station::viewers::mapTooltip(v, g, 180, 110, tip);
    EXPECT_EQ(tip.view(),
              "(2,1)\r\n[Data]\t1100.00\r\n[Average]\t1006.25\r\n[Sigma]\t93.75\r\n[Diff]\t100.00 (1000.00)\r\n"
              "[Error]\t1\r\n[Upper]\t50.00 (50)\r\n[Lower]\t0.00 (-40)\r\n");
    const station::viewers::NoiseChart chart({200, 0, 100, 50}, v);
    station::viewers::noiseTooltip(v, chart, 235, 10, tip);
    EXPECT_EQ(tip.view(), "(3)\r\n[Data]    4.00\r\n[Average] 3.06\r\n[Worst]   4.00");
    station::viewers::noiseTooltip(v, chart, 100, 10, tip);
    EXPECT_EQ(tip.view(), "") << "elsewhere an empty tip";
    EXPECT_EQ(chart.top, 4);
    EXPECT_DOUBLE_EQ(chart.guideLine(3), 25);
    v.clear();
    station::viewers::mapTooltip(v, g, 180, 110, tip);
    EXPECT_EQ(tip.view(), "") << "no tip without data";
}

}  // namespace
