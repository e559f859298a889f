// The window's side of streaming must not allocate per frame either: every allocation of this
// test binary is counted while frames pass from the poster through the logic into the window's
// texts, labels and status bar. The window is not shown, so Qt's own repaint requests (which
// post an event) stay out of the count and only the window's code is measured.
#include <gtest/gtest.h>

#include <QApplication>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/judgement_maps.h"
#include "station/viewers/logic/tests/fake_viewer_device.h"
#include "station/viewers/qt/raw_viewer_window.h"
#include "station/viewers/qt/viewer_controls.h"

namespace {
std::atomic<std::size_t> g_allocations{0};
}

// Qt's strings and containers take their memory from malloc, not from operator new: both are
// counted (glibc's own allocator does the work).
// NOLINTBEGIN(bugprone-reserved-identifier): glibc's names for its allocator
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}
// NOLINTEND(bugprone-reserved-identifier)

void* operator new(std::size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(RawViewerWindowFrames, TakingFramesAllocatesNothing) {
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
    window.viewer().start();
    auto frame = std::make_unique<controllerlink::ImageFrame>();
    ASSERT_NE(device.sink, nullptr);
    controllerlink::FrameSink& sink = *device.sink;
    const auto post = [&](int n, std::uint32_t status) {
        for (std::size_t t = 0; t < controllerlink::kFrameTx; ++t)
            for (std::size_t r = 0; r < controllerlink::kFrameRx; ++r)
                frame->cells[t][r] =
                    static_cast<std::int32_t>(2000 + 3 * r + (static_cast<std::size_t>(n) * 7 + t * r) % 23);
        frame->cells[controllerlink::kNoiseRow][static_cast<std::size_t>(n % 72)] = 100 * n;
        clock.advance(16);
        ticks.advance(16667);
        sink.onImageFrame(status, *frame);
    };
    // The first frames set every text once, the status bar's refusal too (a new message is a
    // new string; the same one again costs nothing). The poster's wake-ups are Qt's (not
    // counted).
    post(0, 2);
    post(0, 0);
    window.takeFrames();
    const station::viewers::RawViewerWindow::Controls& c = window.controls();
    std::size_t counted = 0;
    for (int n = 1; n <= 40; ++n) {
        post(n, n % 10 == 9 ? 2u : 0u);
        if (n % 8 == 0) c.labelStep->stepBy(1);  // the operator's click, between frames
        const std::size_t before = g_allocations.load();
        window.takeFrames();
        counted += g_allocations.load() - before;
    }
    EXPECT_EQ(counted, 0u);
    EXPECT_EQ(window.framesHandled(), 42u);
    EXPECT_EQ(window.framesRefused(), 5u);
    EXPECT_NE(c.statistics->rawText(), "") << "the texts did follow the frames";
    EXPECT_NE(c.minLabel->rawText(), "min (0)");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
