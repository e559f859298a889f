#pragma once
// A drawing window on a virtual clock, fed with synthetic reports: a 1000 x 600 surface whose
// touch coordinates are its pixels and whose pen units are half pixels, corner boxes of
// 100 x 60 (a 10 % judge area).
#include <functional>
#include <memory>
#include <vector>

#include "station/checks/logic/drawing_check.h"
#include "station/checks/logic/tests/fake_readers.h"
#include "station/checks/logic/tests/touch_reports.h"

namespace station::checks {

inline DrawingInputs rigInputs() {
    DrawingInputs in;
    in.surface = {0, 0, 1000, 600};
    in.rxCount = 40;
    in.txCount = 30;
    in.touchMaxX = 1001;
    in.touchMaxY = 601;
    in.contactFormat = {0x00, 5};
    in.customPenReport = true;
    in.penMaxX = 2000;
    in.penMaxY = 1200;
    in.penMaxPressure = 1023;
    in.judgeAreaPercent = 10.0;
    return in;
}

// Disable bits for the steps before `step`, so the window starts there after their OK waits.
inline std::uint32_t skipTo(int step) {
    std::uint32_t mask = 0;
    for (int s = T_MT; s < step; ++s) mask |= 1u << s;
    return mask;
}

struct DrawRig {
    platform::VirtualClock clock;
    FakeReaders readers;
    RecordingHost host;
    DrawingCarryOver carry;
    DrawingInputs in = rigInputs();
    std::int32_t drawResult = 0;
    std::unique_ptr<DrawingCheck> w;
    std::uint16_t scan = 0;

    explicit DrawRig(platform::TimeOfDay start = platform::TimeOfDay{2026, 1, 1, 9, 0, 0, 0}) : clock(start) {}

    DrawingCheck& open() {
        in.drawResult = &drawResult;
        w = std::make_unique<DrawingCheck>(in, carry, readers, host, clock);
        w->open();
        return *w;
    }
    // Opens at `step` (INIT and the steps before it passed by their disable bits).
    DrawingCheck& openAt(int step) {
        in.skipInit = true;
        in.disableMask |= skipTo(step);
        open();
        waitFor([&] { return w->step() == step; }, 5000);
        return *w;
    }

    void pump() { runDueTick(*w); }
    // Time passes in 10 ms steps with the window's ticks.
    void wait(int ms) {
        for (int t = 0; t < ms; t += 10) {
            clock.advance(10);
            pump();
        }
    }
    bool waitFor(const std::function<bool()>& done, int limitMs) {
        for (int t = 0; t < limitMs && !done(); t += 10) {
            clock.advance(10);
            pump();
        }
        return done();
    }
    void after(const std::function<void()>& handler) {
        if (w->closed()) return;
        handler();
        w->painted();
        wait(10);
    }

    void fingers(const std::vector<Finger>& f) {
        ++scan;
        after([&] {
            for (const auto& r : touchReports(f, in.contactFormat, scan)) w->onReport(ReaderCollection::Touch, r);
        });
    }
    void at(int x, int y) { fingers({{1, static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), 7}}); }
    void lift(int x, int y) { fingers({{1, static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), 4}}); }
    // A finger moved from a to b in `n` frames, both ends included.
    void stroke(Point a, Point b, int n = 20) {
        for (int i = 0; i <= n; ++i) at(a.x + (b.x - a.x) * i / n, a.y + (b.y - a.y) * i / n);
    }
    void strokeVia(const std::vector<Point>& points) {
        for (std::size_t i = 1; i < points.size(); ++i) stroke(points[i - 1], points[i]);
    }
    // The pen at a screen point (pen units are half pixels).
    void pen(std::uint8_t status, int x, int y, std::uint16_t pressure = 500) {
        after([&] {
            w->onReport(ReaderCollection::Pen, penReport(status, static_cast<std::uint16_t>(2 * x),
                                                         static_cast<std::uint16_t>(2 * y), pressure));
        });
    }
    void penStroke(Point a, Point b, int n = 20) {
        for (int i = 0; i <= n; ++i) pen(kPenTouching, a.x + (b.x - a.x) * i / n, a.y + (b.y - a.y) * i / n);
    }
    void penVia(const std::vector<Point>& points) {
        for (std::size_t i = 1; i < points.size(); ++i) penStroke(points[i - 1], points[i]);
    }
    void key(CheckKey k) {
        w->onKey(k);
        if (!w->closed()) w->painted();
    }
};

// The square along the band, as a careful operator draws it.
inline std::vector<Point> square() { return {{50, 30}, {950, 30}, {950, 570}, {50, 570}, {50, 30}}; }
// The two diagonals along their lines, corner box to corner box.
inline std::vector<Point> firstDiagonal() { return {{60, 36}, {950, 570}}; }
inline std::vector<Point> secondDiagonal() { return {{950, 30}, {50, 570}}; }

}  // namespace station::checks
