#pragma once
// The raw data viewer's pictures as data: the colour map of the selected table with its range,
// cell colours, frames and error crosses; the colour bar; the noise chart; the tooltips. The
// widget only draws what these say.
#include <cstdint>
#include <string_view>

#include "station/viewers/logic/fixed_text.h"
#include "station/viewers/logic/grid_lines.h"
#include "station/viewers/logic/raw_viewer.h"

namespace station::viewers {

struct Rgba {
    int red = 0;
    int green = 0;
    int blue = 0;
    int alpha = 0;
    bool operator==(const Rgba&) const = default;
    // 0xAARRGGBB
    std::uint32_t argb() const {
        return static_cast<std::uint32_t>(alpha) << 24 | static_cast<std::uint32_t>(red) << 16 |
               static_cast<std::uint32_t>(green) << 8 | static_cast<std::uint32_t>(blue);
    }
};

// Position of x in minimum..maximum, 0..100 (0 at or below the minimum, 100 at or above the
// maximum).
double colourPosition(double x, double minimum, double maximum);
// Blue through cyan, green, yellow and red to pink, more opaque towards the maximum.
Rgba colourOf(double x, double minimum, double maximum);

inline constexpr std::uint32_t kCellFrameColour = 0xFFCCCCCC;
inline constexpr std::uint32_t kColourBarFrameColour = 0xFF828282;
inline constexpr int kColourBarFrameWidth = 2;
// The error cross: a wide white stroke under a narrow dark one.
inline constexpr std::uint32_t kCrossUnderColour = 0xFFFFFFFF;
inline constexpr int kCrossUnderWidth = 4;
inline constexpr std::uint32_t kCrossOverColour = 0xFF323232;
inline constexpr int kCrossOverWidth = 2;
inline constexpr std::string_view kMapCaption = "[Raw Data]";
inline constexpr std::string_view kNoiseCaption = "[Noise Data]";
inline constexpr std::uint32_t kNoiseBarColour = 0xFFA5A5A5;
inline constexpr std::uint32_t kNoiseAverageColour = 0xFFFF0000;
inline constexpr std::uint32_t kNoiseWorstColour = 0xFF00FF00;
inline constexpr std::string_view kNoiseLegend[3] = {"Current", "Average", "Worst"};

// The map rectangle inside the map area, shrunk in width or height to the grid's aspect
// (rxCount : txCount, whole pixels), kept at the area's top left.
Rect fitGridAspect(const Rect& area, std::uint32_t rxCount, std::uint32_t txCount);

// Cells of the map rectangle: cell (t, r) is centred on grid line (r + 1, t + 1), so a pointer
// rounds to the cell under it; its borders are the grid lines.
struct MapGeometry {
    Rect map;
    double cellWidth = 0.0;   // map width / (rxCount + 1)
    double cellHeight = 0.0;  // map height / (txCount + 1)
    std::uint32_t rxCount = 0;
    std::uint32_t txCount = 0;

    MapGeometry(const Rect& area, std::uint32_t rx, std::uint32_t tx);
    // Left, top, right and bottom of a cell, in pixels.
    double cellLeft(int rx) const { return map.x + (rx + 0.5) * cellWidth; }
    double cellTop(int tx) const { return map.y + (tx + 0.5) * cellHeight; }
    // Vertical border n (0..rxCount) and horizontal border n (0..txCount).
    double verticalLine(int n) const { return map.x + (n + 0.5) * cellWidth; }
    double horizontalLine(int n) const { return map.y + (n + 0.5) * cellHeight; }
    // The cell under a pointer over the map, clamped to the grid; false without lines.
    bool cellAt(int px, int py, int& tx, int& rx) const;
};

// The colour range of the selected view and the range labels beside the colour bar.
struct MapRange {
    double minimum = 0.0;
    double maximum = 0.0;
    FixedText<32> minLabel;
    FixedText<32> maxLabel;
};
MapRange mapRange(const RawViewer& viewer);

// How one cell of the selected view is drawn.
struct CellPaint {
    bool filled = false;  // false: only framed
    Rgba colour;
    bool cross = false;
};
CellPaint cellPaint(const RawViewer& viewer, const MapRange& range, int tx, int rx);

// The colour of pixel column `column` of a colour bar `width` pixels wide: minimum at the left,
// maximum at the right.
Rgba colourBarColour(int column, int width, double minimum, double maximum);

// The noise chart: one column per Rx line, bars and lines scaled to the largest worst value.
struct NoiseChart {
    Rect area;
    double columnWidth = 0.0;
    double top = 1.0;  // the value at the chart's top edge
    NoiseChart(const Rect& chart, const RawViewer& viewer);
    // Pixel y of a noise value.
    double yOf(double value) const { return area.y + area.height - value / top * area.height; }
    // Guide line k (1..5) at sixths of the height.
    double guideLine(int k) const { return area.y + area.height * k / 6.0; }
    // The Rx line under a pointer, or -1.
    int lineAt(int px) const;
    std::uint32_t rxCount = 0;
};

using TooltipText = FixedText<384>;
// Tooltip over the map (cell values) and over the noise chart (the Rx line's noise); empty
// without data or elsewhere.
void mapTooltip(const RawViewer& viewer, const MapGeometry& geometry, int px, int py, TooltipText& text);
void noiseTooltip(const RawViewer& viewer, const NoiseChart& chart, int px, int py, TooltipText& text);

}  // namespace station::viewers
