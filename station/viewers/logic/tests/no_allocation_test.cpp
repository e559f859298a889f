// Streaming must not allocate per frame: every operator new of this test binary is counted, and
// a run of frames (good ones, refused ones, with the label stepped and the map painted as data)
// must add none.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "station/viewers/logic/raw_map.h"
#include "station/viewers/logic/tests/raw_bench.h"

namespace {
std::atomic<std::size_t> g_allocations{0};
}

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(RawViewerFrames, HandlingAndPaintingAFrameAllocatesNothing) {
    testfx::RawBench b;
    auto& v = b.streaming();
    b.fill(1000, 25);
    b.feed();  // the first frame too, but measure the steady stream
    const station::viewers::MapGeometry geometry({0, 0, 730, 470}, v.rxCount(), v.txCount());
    station::viewers::TooltipText tip;
    const std::size_t before = g_allocations.load();
    double sum = 0;
    for (int n = 0; n < 50; ++n) {
        b.clock.advance(16);
        b.ticks.advance(16667);
        b.frame->cells[static_cast<std::size_t>(n % 46)][static_cast<std::size_t>(n % 72)] += 37 * n;
        b.feed(n % 10 == 9 ? 2u : 0u);
        if (n % 7 == 0) v.stepLabel(1);
        const auto range = station::viewers::mapRange(v);
        for (int t = 0; t < 46; ++t)
            for (int r = 0; r < 72; ++r) sum += station::viewers::cellPaint(v, range, t, r).colour.alpha;
        station::viewers::mapTooltip(v, geometry, 100, 100, tip);
    }
    const std::size_t after = g_allocations.load();
    EXPECT_EQ(after - before, 0u);
    EXPECT_GT(sum, 0);
    EXPECT_NE(v.statisticsText(), "");
}

}  // namespace
