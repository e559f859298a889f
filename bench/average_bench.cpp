// One averaged raw read of 8 frames on a 72 x 46 panel against the virtual controller:
// (a) without latency, the CPU cost per frame of the command set and the transport;
// (b) with 1 ms per transfer on the real clock, wall time against what the controller and
//     the pacing demand (transfers x 1 ms + the demanded sleeps); 1.00 is the floor.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

#include "controllerlink/collection_choice.h"
#include "controllerlink/device_link_base.h"
#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/device/device_link.h"

namespace {

constexpr std::uint32_t kFrames = 8;

// Passes every call through and adds up the sleeps asked of it.
class CountingClock final : public platform::Clock {
public:
    explicit CountingClock(platform::Clock& inner) : inner_(inner) {}
    std::uint64_t monotonicMs() override { return inner_.monotonicMs(); }
    platform::TimeOfDay timeOfDay() override { return inner_.timeOfDay(); }
    void sleepMs(std::uint32_t ms) override {
        demanded_ += ms;
        inner_.sleepMs(ms);
    }
    std::uint64_t demanded() const { return demanded_; }
    void reset() { demanded_ = 0; }

private:
    platform::Clock& inner_;
    std::atomic<std::uint64_t> demanded_{0};
};

struct Rig {
    Rig(platform::Clock& busClock, platform::Clock& linkClock, std::uint32_t latencyMs)
        : bus(busClock), touch(table, controllerlink::TOUCH_KEY, linkClock) {
        sim::ControllerConfig c;  // power-on word 41 = 0x482E: 72 Rx x 46 Tx
        deviceId = bus.addDevice(std::make_shared<sim::ControllerDevice>(c));
        touch.refreshFoundList();
        const auto t = controllerlink::findTouchCollection(std::span(touch.foundList()).first(touch.found()),
                                                           controllerlink::ControllerGeneration::R6);
        ok = t && touch.open(*t) && touch.setDeviceMode(1) && touch.readRegisters() && touch.rxCount() == 72 &&
             touch.txCount() == 46;
        bus.setFaults(deviceId, {latencyMs, 0, false});
    }
    sim::VirtualBus bus;
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    station::DeviceLink touch;
    int deviceId = 0;
    bool ok = false;
};

void BM_RawAverageCpu(benchmark::State& state) {
    platform::VirtualClock clock;
    Rig rig(clock, clock, 0);
    if (!rig.ok) return state.SkipWithError("controller not ready");
    for (auto _ : state) {
        const station::AveragedFrame read = rig.touch.readRawAverage(kFrames, 3, 0);
        if (!read.complete) return state.SkipWithError("read failed");
        benchmark::DoNotOptimize(read.average[45][71]);
    }
    state.counters["per_frame"] =
        benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RawAverageCpu)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_RawAverageLatency1ms(benchmark::State& state) {
    CountingClock busClock(platform::systemClock());
    CountingClock linkClock(platform::systemClock());
    Rig rig(busClock, linkClock, 1);
    if (!rig.ok) return state.SkipWithError("controller not ready");
    double wallMs = 0;
    double demandedMs = 0;
    double transfers = 0;
    for (auto _ : state) {
        busClock.reset();
        linkClock.reset();
        const auto start = std::chrono::steady_clock::now();
        if (!rig.touch.readRawAverage(kFrames, 3, 0).complete) return state.SkipWithError("read failed");
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        // The bus sleeps its latency once per transfer; the link sleeps the pacing.
        transfers += static_cast<double>(busClock.demanded());
        demandedMs += static_cast<double>(busClock.demanded() + linkClock.demanded());
    }
    state.counters["transfers"] = benchmark::Counter(transfers, benchmark::Counter::kAvgIterations);
    state.counters["demanded_ms"] = benchmark::Counter(demandedMs, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = demandedMs > 0 ? wallMs / demandedMs : 0.0;
}
BENCHMARK(BM_RawAverageLatency1ms)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same sleeps and nothing else: the floor the system's sleeps set for the ratio above.
void BM_SleepPatternOnly(benchmark::State& state) {
    platform::Clock& clock = platform::systemClock();
    const double demandedMs = kFrames * (114.0 + 25.0);  // per frame: 114 transfers, 25 ms pacing
    double wallMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::uint32_t f = 0; f < kFrames; ++f) {
            for (int t = 0; t < 114; ++t) clock.sleepMs(1);
            for (std::uint32_t ms : {5u, 5u, 10u, 5u}) clock.sleepMs(ms);
        }
        wallMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["ratio"] = wallMs / (demandedMs * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_SleepPatternOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
