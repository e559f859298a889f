#include "station/viewers/logic/raw_map.h"

#include <algorithm>
#include <cmath>

namespace station::viewers {
namespace {

// Each band of the scale spans 20 units of position (10 at the ends) and moves one colour
// component over 255 levels.
constexpr double kSlope = 12.75;

int level(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

double colourPosition(double x, double minimum, double maximum) {
    if (x <= minimum) return 0.0;
    if (x >= maximum) return 100.0;
    return (x - minimum) / (maximum - minimum) * 100.0;
}

Rgba colourOf(double x, double minimum, double maximum) {
    const double c = colourPosition(x, minimum, maximum);
    Rgba out;
    out.alpha = level(155.0 + c);
    if (c <= 10.0) {
        out.blue = level(127.5 + kSlope * c);
    } else if (c <= 30.0) {
        out.green = level(kSlope * (c - 10.0));
        out.blue = 255;
    } else if (c <= 50.0) {
        out.green = 255;
        out.blue = level(255.0 - kSlope * (c - 30.0));
    } else if (c <= 70.0) {
        out.red = level(kSlope * (c - 50.0));
        out.green = 255;
    } else if (c <= 90.0) {
        out.red = 255;
        out.green = level(255.0 - kSlope * (c - 70.0));
    } else {
        out.red = 255;
        out.green = level(kSlope * (c - 90.0));
        out.blue = level(kSlope * (c - 90.0));
    }
    return out;
}

Rect fitGridAspect(const Rect& area, std::uint32_t rxCount, std::uint32_t txCount) {
    if (rxCount == 0 || txCount == 0 || area.width <= 0 || area.height <= 0) return area;
    Rect map = area;
    const std::int64_t w = area.width;
    const std::int64_t h = area.height;
    if (w * txCount > h * rxCount)
        map.width = static_cast<int>(h * rxCount / txCount);
    else
        map.height = static_cast<int>(w * txCount / rxCount);
    return map;
}

MapGeometry::MapGeometry(const Rect& area, std::uint32_t rx, std::uint32_t tx)
    : map(fitGridAspect(area, rx, tx)), rxCount(rx), txCount(tx) {
    cellWidth = map.width / static_cast<double>(rx + 1);
    cellHeight = map.height / static_cast<double>(tx + 1);
}

bool MapGeometry::cellAt(int px, int py, int& tx, int& rx) const {
    if (rxCount == 0 || txCount == 0 || !map.contains(px, py)) return false;
    const auto index = [](double offset, double cell, std::uint32_t count) {
        const long i = std::lround(offset / cell) - 1;
        return static_cast<int>(std::clamp<long>(i, 0, static_cast<long>(count) - 1));
    };
    rx = index(px - map.x, cellWidth, rxCount);
    tx = index(py - map.y, cellHeight, txCount);
    return true;
}

MapRange mapRange(const RawViewer& viewer) {
    MapRange range;
    if (!viewer.autoRange()) {
        range.minimum = viewer.manualMin();
        range.maximum = viewer.manualMax();
        range.minLabel.set("min");
        range.maxLabel.set("max");
        return range;
    }
    const StatisticsRecord& s = viewer.statistics(viewer.view());
    range.minimum = viewer.view() == RawView::Error ? 0.0 : s.totalMin;
    range.maximum = s.totalMax;
    range.minLabel.format("min (%d)", wholeNumber(range.minimum));
    range.maxLabel.format("(%d) max", wholeNumber(range.maximum));
    return range;
}

CellPaint cellPaint(const RawViewer& viewer, const MapRange& range, int tx, int rx) {
    CellPaint paint;
    if (!viewer.hasData() || tx < 0 || rx < 0 || tx >= static_cast<int>(viewer.txCount()) ||
        rx >= static_cast<int>(viewer.rxCount()))
        return paint;
    const auto t = static_cast<std::size_t>(tx);
    const auto r = static_cast<std::size_t>(rx);
    const RawView view = viewer.view();
    const double value = viewer.table(view)[t][r];
    // In the margin and error views a cell with nothing to tell stays empty.
    const bool zeroMeansNothing = view == RawView::Upper || view == RawView::Lower || view == RawView::Error;
    paint.filled = !(zeroMeansNothing && value == 0.0);
    if (paint.filled) paint.colour = colourOf(value, range.minimum, range.maximum);
    paint.cross = viewer.errorCross() && viewer.table(RawView::Error)[t][r] > 0.0;
    return paint;
}

Rgba colourBarColour(int column, int width, double minimum, double maximum) {
    const double f = width > 1 ? static_cast<double>(column) / (width - 1) : 0.0;
    return colourOf(minimum + (maximum - minimum) * f, minimum, maximum);
}

NoiseChart::NoiseChart(const Rect& chart, const RawViewer& viewer) : area(chart), rxCount(viewer.rxCount()) {
    for (std::uint32_t r = 0; r < rxCount; ++r) top = std::max(top, viewer.noise().worst[r]);
    columnWidth = rxCount == 0 ? 0.0 : area.width / static_cast<double>(rxCount);
}

int NoiseChart::lineAt(int px) const {
    if (rxCount == 0 || px < area.x || px >= area.x + area.width) return -1;
    const int line = static_cast<int>((px - area.x) / columnWidth);
    return std::clamp(line, 0, static_cast<int>(rxCount) - 1);
}

void mapTooltip(const RawViewer& viewer, const MapGeometry& geometry, int px, int py, TooltipText& text) {
    text.clear();
    int tx = 0;
    int rx = 0;
    if (!viewer.hasData() || !geometry.cellAt(px, py, tx, rx)) return;
    const auto t = static_cast<std::size_t>(tx);
    const auto r = static_cast<std::size_t>(rx);
    const auto at = [&](RawView v) { return viewer.table(v)[t][r]; };
    text.format(
        "(%d,%d)\r\n[Data]\t%.2f\r\n[Average]\t%.2f\r\n[Sigma]\t%.2f\r\n[Diff]\t%.2f (%.2f)\r\n[Error]\t%d\r\n"
        "[Upper]\t%.2f (%d)\r\n[Lower]\t%.2f (%d)\r\n",
        rx, tx, at(RawView::Raw), at(RawView::Average), at(RawView::Sigma), at(RawView::Diff), viewer.reference()[t][r],
        wholeNumber(at(RawView::Error)), at(RawView::Upper), wholeNumber(viewer.upper()[t][r]), at(RawView::Lower),
        wholeNumber(viewer.lower()[t][r]));
}

void noiseTooltip(const RawViewer& viewer, const NoiseChart& chart, int px, int py, TooltipText& text) {
    text.clear();
    if (!viewer.hasData() || !chart.area.contains(px, py)) return;
    const int line = chart.lineAt(px);
    if (line < 0) return;
    const NoiseArrays& n = viewer.noise();
    const auto r = static_cast<std::size_t>(line);
    text.format("(%d)\r\n[Data]    %.2f\r\n[Average] %.2f\r\n[Worst]   %.2f", line, n.current[r], n.average[r],
                n.worst[r]);
}

}  // namespace station::viewers
