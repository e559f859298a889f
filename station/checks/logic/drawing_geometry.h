#pragma once
// Where the drawing check's boxes and targets lie on the drawing area, computed once when the
// window opens, and how controller coordinates become screen pixels.
#include <array>
#include <cstdint>

namespace station::checks {

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct PointF {
    double x = 0, y = 0;
};

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    int right() const { return x + w; }
    int bottom() const { return y + h; }
    // Edges count as inside.
    bool contains(Point p) const { return x <= p.x && p.x <= x + w && y <= p.y && p.y <= y + h; }
    // Edges count as outside.
    bool strictlyContains(Point p) const { return x < p.x && p.x < x + w && y < p.y && p.y < y + h; }
    bool operator==(const Box&) const = default;
};

// The drawing surface's client rectangle.
struct Surface {
    int left = 0, top = 0, width = 0, height = 0;
};

enum Corner : std::size_t { TL = 0, TR = 1, BR = 2, BL = 3 };

// The five accuracy targets in this order: top left, top right, bottom right, bottom left, centre.
inline constexpr std::size_t kAccuracyTargets = 5;
inline constexpr std::size_t kHoverTargets = 3;

struct DrawingGeometry {
    Surface surface;
    int judgeW = 0, judgeH = 0;  // a corner box's size
    std::array<Box, 4> cornerBox{};
    Box startZone;
    Box actionBox;
    int diagonalTolerance = 0;
    std::array<PointF, kAccuracyTargets> accuracyScreen{};
    std::array<PointF, kAccuracyTargets> accuracyPen{};
    std::array<Box, kHoverTargets> hoverTargets{};

    // `judgeAreaPercent`: DRAW_JUDGE_AREA; the pen range for the targets in pen units.
    static DrawingGeometry make(const Surface& s, double judgeAreaPercent, std::uint32_t penMaxX,
                                std::uint32_t penMaxY);

    // Outside the square's band: beyond the corner boxes' outer edges, or inside the inner
    // rectangle their inner edges bound (its edges included).
    bool outsideBand(Point p) const;
    // The screen region of accuracy target `i`: a corner third, or the middle third both ways.
    bool inAccuracyRegion(std::size_t i, Point p) const;
};

// Touch and pen coordinates to pixels.
struct InputScale {
    double touchX = 0, touchY = 0;
    double penX = 0, penY = 0;
    double penWidth = 0;  // ink width per pressure unit

    // With `rotate` the two touch ranges change places; the coordinates stay as they are. A
    // range that cannot scale (1 or less) gives factor 0.
    void setTouch(const Surface& s, std::uint32_t maxX, std::uint32_t maxY, bool rotate);
    void setPen(const Surface& s, std::uint32_t maxX, std::uint32_t maxY, std::uint32_t maxPressure);

    Point touchPoint(std::uint32_t x, std::uint32_t y) const;
    Point penPoint(std::uint32_t x, std::uint32_t y) const;
};

// How far P lies from the line from A towards B, as the check measures it: the angle between
// AB and AP (their slopes' arctangents taken without sign) applied to |AP| truncated to pixels.
double diagonalDistance(Point a, Point b, Point p);

}  // namespace station::checks
