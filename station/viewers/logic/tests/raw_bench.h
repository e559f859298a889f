#pragma once
// A raw data viewer on a scripted touch collection, a virtual clock and a recipe in memory, with
// the last raw judgement to open on and synthetic frames to feed.
#include <filesystem>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/tick_counter.h"
#include "station/viewers/logic/raw_viewer.h"
#include "station/viewers/logic/tests/fake_viewer_device.h"

namespace testfx {

struct RawBench {
    explicit RawBench(bool margins = true, std::uint32_t rx = 72, std::uint32_t tx = 46,
                      platform::TimeOfDay now = {2026, 12, 11, 9, 5, 7, 0})
        : clock(now) {
        device.rx = rx;
        device.tx = tx;
        marginsAvailable = margins;
        frame = std::make_unique<controllerlink::ImageFrame>();
    }
    station::viewers::RawViewer& open() {
        viewer = std::make_unique<station::viewers::RawViewer>(station::viewers::RawViewerInputs{
            .device = device,
            .lastRaw = last->rawAverage,
            .lastDiff = last->maps.rawDiff,
            .upperMap = last->maps.upperMap,
            .lowerMap = last->maps.lowerMap,
            .recipe = *recipe,
            .marginsAvailable = marginsAvailable,
            .frameSink = sink,
            .clock = clock,
            .ticks = ticks,
            .tableAccess = {},
            .dumpFolder = dumpFolder,
        });
        return *viewer;
    }
    // Opens and starts streaming.
    station::viewers::RawViewer& streaming() {
        open().start();
        return *viewer;
    }
    // Every scanned cell of the frame `value`, the noise row `noise`.
    void fill(std::int32_t value, std::int32_t noise = 0) {
        for (auto& row : frame->cells) row.fill(value);
        frame->cells[controllerlink::kNoiseRow].fill(noise);
    }
    void feed(std::uint32_t status = 0) { viewer->handleFrame(status, *frame); }

    FakeViewerDevice device;
    NullSink sink;
    platform::VirtualClock clock;
    platform::VirtualTickCounter ticks;
    bool marginsAvailable = true;
    struct Last {
        controllerlink::Grid rawAverage{};
        station::JudgementMaps maps;
    };
    std::unique_ptr<Last> last = std::make_unique<Last>();
    std::unique_ptr<station::RecipeSettings> recipe = std::make_unique<station::RecipeSettings>();
    std::unique_ptr<controllerlink::ImageFrame> frame;
    std::string dumpFolder = ".";
    std::unique_ptr<station::viewers::RawViewer> viewer;
};

}  // namespace testfx
