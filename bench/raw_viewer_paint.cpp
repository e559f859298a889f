// The raw data viewer's painting on the offscreen platform, at the window's opening size with a
// streamed frame shown: the map (3312 cells, with and without the error crosses), the colour
// bar, the noise chart, and a frame handled by the logic alone and with the three areas
// repainted. Each is timed on its own; median, min and max are printed.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "station/sequence/judgement_maps.h"
#include "station/viewers/logic/tests/fake_viewer_device.h"
#include "station/viewers/qt/raw_viewer_areas.h"
#include "station/viewers/qt/raw_viewer_window.h"

namespace {

// A repaint at 60 frames a second.
constexpr double kTargetMs = 16.0;

void timeIt(const char* what, int count, const std::function<void()>& work) {
    work();  // warm caches and glyphs
    std::vector<double> ms;
    ms.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("  %-30s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%d runs, %s 16 ms)\n", what, median,
                ms.front(), ms.back(), count, median < kTargetMs ? "under" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testfx::FakeViewerDevice device;
    platform::VirtualClock clock;
    platform::VirtualTickCounter ticks;
    auto raw = std::make_unique<controllerlink::Grid>();
    auto maps = std::make_unique<station::JudgementMaps>();
    auto recipe = std::make_unique<station::RecipeSettings>();
    station::viewers::RawViewerWindow window(station::viewers::RawViewerSetup{.device = device,
                                                                              .lastRaw = *raw,
                                                                              .lastDiff = maps->rawDiff,
                                                                              .upperMap = maps->upperMap,
                                                                              .lowerMap = maps->lowerMap,
                                                                              .recipe = *recipe,
                                                                              .marginsAvailable = true,
                                                                              .clock = clock,
                                                                              .ticks = ticks,
                                                                              .tableAccess = {},
                                                                              .dumpFolder = ".",
                                                                              .appendMessage = {}});
    window.show();
    QCoreApplication::processEvents();
    station::viewers::RawViewer& v = window.viewer();
    v.start();
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    std::int32_t n = 0;
    const auto nextFrame = [&] {
        ++n;
        for (std::size_t t = 0; t < controllerlink::kFrameTx; ++t)
            for (std::size_t r = 0; r < controllerlink::kFrameRx; ++r)
                frame->cells[t][r] = static_cast<std::int32_t>(2000 + 4 * t + 3 * r + (n + t * r) % 7);
        for (std::size_t r = 0; r < controllerlink::kFrameRx; ++r)
            frame->cells[controllerlink::kNoiseRow][r] =
                static_cast<std::int32_t>((static_cast<std::size_t>(n) * 13 + r * 7) % 400);
        clock.advance(6);
        ticks.advance(6000);
    };
    nextFrame();
    v.handleFrame(0, *frame);
    const auto& c = window.controls();
    std::printf("raw data viewer, %dx%d, map %dx%d\n", window.width(), window.height(), c.map->width(),
                c.map->height());
    timeIt("map repaint", 200, [&] { c.map->repaint(); });
    v.key(station::viewers::RawKey::E);
    timeIt("map repaint with crosses", 200, [&] { c.map->repaint(); });
    timeIt("colour bar repaint", 200, [&] { c.colourBar->repaint(); });
    timeIt("noise chart repaint", 200, [&] { c.noise->repaint(); });
    timeIt("frame handled", 200, [&] {
        nextFrame();
        v.handleFrame(0, *frame);
    });
    timeIt("frame handled and painted", 200, [&] {
        nextFrame();
        v.handleFrame(0, *frame);
        c.map->repaint();
        c.colourBar->repaint();
        c.noise->repaint();
    });
    return 0;
}
