// A full firmware write against a scripted bootloader at 1 ms per transfer on the real clock:
// F11 (0x24000 bytes, 128 per block, with the erase) and F09 long frames (0x2BE00 bytes, 512 per
// block). Reported: wall time against what the bootloader and the protocol demand (transfers x
// 1 ms + the protocol's sleeps); 1.00 is the floor.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>

#include "platform/clock.h"
#include "romwrite/protocol/job.h"
#include "romwrite/testing/bench.h"
#include "romwrite/testing/images.h"

namespace {

using namespace romwrite;

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

private:
    platform::Clock& inner_;
    std::atomic<std::uint64_t> demanded_{0};
};

void fullWrite(benchmark::State& state, bool f11) {
    double wallMs = 0, floorMs = 0, transfers = 0;
    for (auto _ : state) {
        CountingClock jobClock(platform::systemClock());
        platform::VirtualClock logClock;
        sim::VirtualBus bus(platform::systemClock());
        sim::InProcessBackend backend(bus);
        hidlink::DeviceTable table(backend);
        WriterLog log(logClock);
        BootloaderLink link(table, log, jobClock);
        testing::BootloaderSpec spec;
        if (!f11) {
            spec.f11 = false;
            spec.usagePage = 0xFF09;
            spec.mainPid = 0x4002;
        }
        auto dev = std::make_shared<testing::ScriptedBootloader>(spec);
        std::atomic<int> count{0};
        dev->admitSet = [&](int) { return ++count, true; };
        dev->admitGet = [&](int) { return ++count, true; };
        const int id = bus.addDevice(dev);
        bus.setFaults(id, {1, 0, false});
        const FirmwareImage img = testing::makeImage(f11 ? 0x24000 : 0x2BE00);
        UblDevice d;
        const auto t0 = std::chrono::steady_clock::now();
        if (!link.probeDevice(d)) return state.SkipWithError("no device");
        JobRequest req{JOB_WRITE, &img, true};
        JobEnvironment env{link};
        runJob(req, d, env);
        const auto t1 = std::chrono::steady_clock::now();
        if (d.result != 0 || !testing::flashHolds(dev->flashBytes(), img)) return state.SkipWithError("write failed");
        wallMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        floorMs += static_cast<double>(count.load()) + static_cast<double>(jobClock.demanded());
        transfers += count.load();
    }
    state.counters["wall_ms"] = wallMs / static_cast<double>(state.iterations());
    state.counters["demanded_ms"] = floorMs / static_cast<double>(state.iterations());
    state.counters["transfers"] = transfers / static_cast<double>(state.iterations());
    state.counters["ratio"] = wallMs / floorMs;
}

void BM_F11FullWrite1ms(benchmark::State& state) { fullWrite(state, true); }
void BM_F09LongFullWrite1ms(benchmark::State& state) { fullWrite(state, false); }
BENCHMARK(BM_F11FullWrite1ms)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_F09LongFullWrite1ms)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
