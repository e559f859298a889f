// CPU time of the raw data viewer's work per streamed frame: the seven tables, their statistics,
// the noise and the texts for one full 46 x 72 frame; and the colour map as data (every cell's
// paint) that the window draws after it.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "platform/clock.h"
#include "platform/tick_counter.h"
#include "station/viewers/logic/raw_map.h"
#include "station/viewers/logic/raw_viewer.h"

namespace {

class StreamingPort final : public station::viewers::ViewerDevice {
public:
    bool isOpen() const override { return true; }
    std::uint32_t rxCount() const override { return 72; }
    std::uint32_t txCount() const override { return 46; }
    bool setScanArea() override { return true; }
    bool selectImageFrames() override { return true; }
    bool startFrameReader(controllerlink::FrameSink&) override { return running_ = true; }
    bool frameReaderRunning() const override { return running_; }
    void pauseFrameReader(bool) override {}
    void stopFrameReader() override { running_ = false; }
    std::optional<station::PinCheck> runPinCheck(std::uint16_t, std::uint16_t) override { return std::nullopt; }
    std::array<std::uint32_t, 4> pinFaultCounters() const override { return {}; }

private:
    bool running_ = false;
};

class NoSink final : public controllerlink::FrameSink {
public:
    void onImageFrame(std::uint32_t, const controllerlink::ImageFrame&) override {}
    void onAreaFrame(std::uint32_t, const controllerlink::AreaFrame&) override {}
    void onRecordFrame(std::uint32_t, const controllerlink::RecordFrame&) override {}
    void onColumnFrame(std::uint32_t, const controllerlink::ColumnFrame&) override {}
};

struct Stream {
    Stream() {
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0.0, 3.0);
        for (auto& frame : frames)
            for (int t = 0; t < 47; ++t)
                for (int r = 0; r < 72; ++r)
                    frame->cells[t][r] = t == 46 ? static_cast<int>(std::abs(noise(rng)) * 4)
                                                 : static_cast<int>(2000 + 4 * t + 2 * r + noise(rng));
        for (int t = 0; t < 46; ++t)
            for (int r = 0; r < 72; ++r) {
                recipe->ReferenceTable[t][r] = 2000 + 4 * t + 2 * r;
                recipe->UpperTable[t][r] = 5;
                recipe->LowerTable[t][r] = -5;
            }
        viewer = std::make_unique<station::viewers::RawViewer>(station::viewers::RawViewerInputs{
            .device = port,
            .lastRaw = last->grid,
            .lastDiff = last->maps.rawDiff,
            .upperMap = last->maps.upperMap,
            .lowerMap = last->maps.lowerMap,
            .recipe = *recipe,
            .marginsAvailable = true,
            .frameSink = sink,
            .clock = clock,
            .ticks = ticks,
            .tableAccess = {},
        });
        viewer->start();
    }
    std::array<std::unique_ptr<controllerlink::ImageFrame>, 8> frames{
        std::make_unique<controllerlink::ImageFrame>(), std::make_unique<controllerlink::ImageFrame>(),
        std::make_unique<controllerlink::ImageFrame>(), std::make_unique<controllerlink::ImageFrame>(),
        std::make_unique<controllerlink::ImageFrame>(), std::make_unique<controllerlink::ImageFrame>(),
        std::make_unique<controllerlink::ImageFrame>(), std::make_unique<controllerlink::ImageFrame>()};
    struct Last {
        controllerlink::Grid grid{};
        station::JudgementMaps maps;
    };
    std::unique_ptr<Last> last = std::make_unique<Last>();
    std::unique_ptr<station::RecipeSettings> recipe = std::make_unique<station::RecipeSettings>();
    StreamingPort port;
    NoSink sink;
    platform::VirtualClock clock;
    platform::VirtualTickCounter ticks;
    std::unique_ptr<station::viewers::RawViewer> viewer;
};

void BM_RawViewerFrame(benchmark::State& state) {
    Stream s;
    std::size_t n = 0;
    for (auto _ : state) {
        s.clock.advance(16);
        s.ticks.advance(16667);
        s.viewer->handleFrame(0, *s.frames[n++ % s.frames.size()]);
        benchmark::DoNotOptimize(s.viewer->statisticsText().data());
    }
}
BENCHMARK(BM_RawViewerFrame);

void BM_RawViewerMapAsData(benchmark::State& state) {
    Stream s;
    for (const auto& f : s.frames) s.viewer->handleFrame(0, *f);
    s.viewer->setView(station::viewers::RawView::Diff);
    s.viewer->key(station::viewers::RawKey::E);
    for (auto _ : state) {
        const auto range = station::viewers::mapRange(*s.viewer);
        int alpha = 0;
        for (int t = 0; t < 46; ++t)
            for (int r = 0; r < 72; ++r) alpha += station::viewers::cellPaint(*s.viewer, range, t, r).colour.alpha;
        benchmark::DoNotOptimize(alpha);
    }
}
BENCHMARK(BM_RawViewerMapAsData);

}  // namespace
