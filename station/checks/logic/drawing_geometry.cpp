#include "station/checks/logic/drawing_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace station::checks {

DrawingGeometry DrawingGeometry::make(const Surface& s, double judgeAreaPercent, std::uint32_t penMaxX,
                                      std::uint32_t penMaxY) {
    DrawingGeometry g;
    g.surface = s;
    const int L = s.left, T = s.top, W = s.width, H = s.height;
    const double a = judgeAreaPercent / 100.0;
    const int jw = static_cast<int>(a * W);
    const int jh = static_cast<int>(a * H);
    g.judgeW = jw;
    g.judgeH = jh;
    g.cornerBox[TL] = {L, T, jw, jh};
    g.cornerBox[TR] = {L + W - jw, T, jw, jh};
    g.cornerBox[BR] = {L + W - jw, T + H - jh, jw, jh};
    g.cornerBox[BL] = {L, T + H - jh, jw, jh};
    g.startZone = {L - jw / 4, T - jh / 4, static_cast<int>(1.5 * jw), static_cast<int>(1.5 * jh)};
    const int aw = static_cast<int>(0.15 * W);
    const int ah = static_cast<int>(0.15 * H);
    g.actionBox = {L + W / 2 - aw / 2, T + 4 * H / 5 - ah / 2, aw, ah};
    g.diagonalTolerance = std::max(jw, jh);
    const double fx[kAccuracyTargets] = {0.05, 0.95, 0.95, 0.05, 0.5};
    const double fy[kAccuracyTargets] = {0.05, 0.05, 0.95, 0.95, 0.5};
    for (std::size_t i = 0; i < kAccuracyTargets; ++i) {
        g.accuracyScreen[i] = {L + fx[i] * W, T + fy[i] * H};
        g.accuracyPen[i] = {fx[i] * penMaxX, fy[i] * penMaxY};
    }
    const int cx[kHoverTargets] = {L + W / 4, L + W / 2, L + 3 * W / 4};
    for (std::size_t i = 0; i < kHoverTargets; ++i) g.hoverTargets[i] = {cx[i] - jw / 2, T + H / 2 - jh / 2, jw, jh};
    return g;
}

bool DrawingGeometry::outsideBand(Point p) const {
    const Box& tl = cornerBox[TL];
    const Box& tr = cornerBox[TR];
    const Box& br = cornerBox[BR];
    const bool inOuter = tl.x <= p.x && p.x <= tr.right() && tl.y <= p.y && p.y <= br.bottom();
    const bool inInner = tl.right() <= p.x && p.x <= tr.x && tl.bottom() <= p.y && p.y <= br.y;
    return !inOuter || inInner;
}

bool DrawingGeometry::inAccuracyRegion(std::size_t i, Point p) const {
    const double x1 = surface.left + surface.width / 3.0, x2 = surface.left + 2.0 * surface.width / 3.0;
    const double y1 = surface.top + surface.height / 3.0, y2 = surface.top + 2.0 * surface.height / 3.0;
    const bool left = p.x <= x1, right = p.x >= x2, top = p.y <= y1, bottom = p.y >= y2;
    switch (i) {
        case TL:
            return left && top;
        case TR:
            return right && top;
        case BR:
            return right && bottom;
        case BL:
            return left && bottom;
        default:
            return x1 <= p.x && p.x <= x2 && y1 <= p.y && p.y <= y2;
    }
}

namespace {

double factor(int pixels, std::uint32_t range) { return range == 0 ? 0.0 : static_cast<double>(pixels) / range; }

}  // namespace

void InputScale::setTouch(const Surface& s, std::uint32_t maxX, std::uint32_t maxY, bool rotate) {
    const std::uint32_t rx = rotate ? maxY : maxX;
    const std::uint32_t ry = rotate ? maxX : maxY;
    touchX = rx > 1 ? factor(s.width, rx - 1) : 0.0;
    touchY = ry > 1 ? factor(s.height, ry - 1) : 0.0;
}

void InputScale::setPen(const Surface& s, std::uint32_t maxX, std::uint32_t maxY, std::uint32_t maxPressure) {
    penX = factor(s.width, maxX);
    penY = factor(s.height, maxY);
    penWidth = maxPressure == 0 ? 0.0 : 10.0 / maxPressure;
}

Point InputScale::touchPoint(std::uint32_t x, std::uint32_t y) const {
    return {static_cast<int>(x * touchX), static_cast<int>(y * touchY)};
}

Point InputScale::penPoint(std::uint32_t x, std::uint32_t y) const {
    return {static_cast<int>(x * penX), static_cast<int>(y * penY)};
}

double diagonalDistance(Point a, Point b, Point p) {
    const double abx = b.x - a.x, aby = b.y - a.y;
    const double apx = p.x - a.x, apy = p.y - a.y;
    const double d = std::trunc(std::hypot(apx, apy));
    // |atan(dy/dx)| without dividing: a vertical line's slope is infinite, its angle a right one.
    const double angleAB = std::atan2(std::abs(aby), std::abs(abx));
    const double angleAP = std::atan2(std::abs(apy), std::abs(apx));
    return std::sin(std::abs(angleAB - angleAP)) * d;
}

}  // namespace station::checks
