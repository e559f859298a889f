// The drawing window at 1920 x 1080 on the offscreen platform: one evaluation pass of the check
// (the 100 ms tick, ten fingers on the panel during the ten-finger step), one full repaint (the
// ink layer copied and the prompts, boxes, countdown bar and ten contact tags drawn over it, the
// painter alone and the window's own repaint), and the ink layer made again from the grid with
// 2000 strokes after a clearing. Each is timed on its own; median, min and max are printed.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "station/checks/logic/tests/drawing_rig.h"
#include "station/checks/qt/drawing_painter.h"
#include "station/checks/qt/drawing_window.h"

namespace {

using namespace station::checks;

constexpr double kRepaintTargetMs = 8.0;

void time(const char* what, int count, double targetMs, const std::function<void()>& run) {
    run();  // warm caches and glyphs
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("  %-40s median %9.1f us   min %9.1f us   max %9.1f us   (%d runs", what, median * 1000,
                ms.front() * 1000, ms.back() * 1000, count);
    if (targetMs > 0) std::printf(", %s %.0f ms", median < targetMs ? "under" : "OVER", targetMs);
    std::printf(")\n");
}

DrawingInputs fullHd() {
    DrawingInputs in = rigInputs();
    in.surface = {0, 0, 1920, 1080};
    in.touchMaxX = 1921;
    in.touchMaxY = 1081;
    in.rxCount = 72;
    in.txCount = 46;
    in.mtouchWaitMs = 60000;  // the ten fingers stay while the passes are timed
    return in;
}

std::vector<Finger> tenFingers(int shift) {
    std::vector<Finger> f;
    for (std::uint16_t id = 1; id <= 10; ++id)
        f.push_back({id, static_cast<std::uint16_t>(150 * id + shift % 50), static_cast<std::uint16_t>(500 + id * 20)});
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("drawing window 1920x1080, grid 72 x 46, ten fingers held (platform %s)\n",
                qPrintable(QGuiApplication::platformName()));

    DrawRig rig;
    rig.in = fullHd();
    DrawingCheck& w = rig.openAt(T_MT);
    int shift = 0;
    for (int i = 0; i < 20; ++i) rig.fingers(tenFingers(++shift));

    // One pass: the tick as the window runs it (timer stopped, evaluation, re-armed).
    int passes = 0;
    time("evaluation pass (tick)", 2001, 0, [&] {
        rig.clock.advance(CheckWindowLogic::kTickMs);
        if (w.timerFired()) ++passes;
        w.painted();
        w.rearmTimer();
    });
    if (passes != 2002 || w.step() != T_MT) {
        std::fprintf(stderr, "the ticks did not all run an evaluation pass (%d, step %d)\n", passes, w.step());
        return 1;
    }
    time("report + evaluation (10 contacts)", 2001, 0, [&] {
        for (const auto& r : touchReports(tenFingers(++shift), rig.in.contactFormat, ++rig.scan))
            w.onReport(ReaderCollection::Touch, r);
        w.painted();
    });

    DrawingPainter painter;
    QImage frame;
    painter.compose(w, frame);
    time("full repaint: painter compose", 201, kRepaintTargetMs, [&] { painter.compose(w, frame); });

    DrawingWindow window;
    platform::VirtualClock clock;
    FakeReaders readers;
    DrawingCarryOver carry;
    DrawingInputs in = fullHd();
    window.start(in, carry, readers, clock);
    QApplication::processEvents();
    time("full repaint: window repaint()", 201, kRepaintTargetMs, [&] { window.repaint(); });

    // After a clearing with the ink full of strokes: the grid and every mark drawn again.
    std::vector<InkMark> marks;
    for (int i = 0; i < 2000; ++i) {
        InkMark m;
        m.kind = InkMark::Kind::Line;
        m.argb = contactColour(static_cast<std::uint32_t>(i % 10 + 1));
        m.from = {static_cast<double>(i % 1900), static_cast<double>((i * 7) % 1060)};
        m.at = {m.from.x + 12, m.from.y + 9};
        m.width = 1.6;
        marks.push_back(m);
    }
    QImage ink(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    time("ink layer: grid + 2000 strokes", 51, 0, [&] {
        ink.fill(QColor(220, 220, 220));
        QPainter p(&ink);
        p.setRenderHint(QPainter::Antialiasing);
        DrawingPainter::paintGrid(p, in.surface, in.rxCount, in.txCount);
        for (const InkMark& m : marks) DrawingPainter::paintMark(p, m);
    });
    window.reject();
    return 0;
}
