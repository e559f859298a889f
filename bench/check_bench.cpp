// One whole check of the example R6 recipe against the virtual controller with 1 ms per feature
// transfer, on the system clock. Beside it, in the same run, the bare pattern of the same check:
// the same sleeps and the same number of 1 ms transfers with no station logic in between. The
// ratio of the two is the station's own cost.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/controller_device.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"
#include "station/recipe/recipe_loader.h"
#include "station/sequence/check_sequence.h"
#include "station/sequence/connect.h"
#include "station/sequence/judgement_steps.h"
#include "station/sequence/station_state.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace {

// The system clock, recording every sleep it is asked for.
class RecordingClock final : public platform::Clock {
public:
    std::uint64_t monotonicMs() override { return platform::systemClock().monotonicMs(); }
    platform::TimeOfDay timeOfDay() override { return platform::systemClock().timeOfDay(); }
    void sleepMs(std::uint32_t ms) override {
        {
            std::lock_guard lock(mutex_);
            sleeps_.push_back(ms);
        }
        platform::systemClock().sleepMs(ms);
    }
    std::vector<std::uint32_t> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(sleeps_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::uint32_t> sleeps_;
};

constexpr std::uint32_t kLatencyMs = 1;

struct Measured {
    std::vector<std::uint32_t> stationSleeps;
    std::size_t transfers = 0;
};

// One check; the bus sleeps its latency on its own recording clock, so its sleeps count the
// transfers.
double runCheck(Measured& m) {
    RecordingClock stationClock, busClock;
    sim::ControllerConfig config;
    config.generation = sim::Generation::R6;
    sim::VirtualBus bus{busClock};
    const int id = bus.addDevice(std::make_shared<sim::ControllerDevice>(config));
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    station::FakeUiPort ui;
    station::Station s(table, stationClock, ui);
    station::JudgementSteps steps;
    s.automatic = &steps;
    const std::string folder = std::string(VORLICK_SOURCE_DIR) + "/examples/station";
    const station::RecipeEnvironment env{folder, station::firmwareImageChecksum, {}};
    if (!station::LoadRecipe(s.recipe, folder + "/PID0A52.ini", env).loaded) return -1;
    bus.setFaults(id, sim::TransportFaults{kLatencyMs, 0, false});
    stationClock.take();
    busClock.take();

    const auto t0 = std::chrono::steady_clock::now();
    if (!station::beginCheck(s, false)) return -1;
    station::connectTouchAndShow(s);
    station::connectPenAndKeep(s);
    const bool verdict = station::runCheckSequence(s);
    const auto t1 = std::chrono::steady_clock::now();
    if (!verdict || s.state != station::StationState::Ok) return -1;
    m.stationSleeps = stationClock.take();
    m.transfers = busClock.take().size();
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

// The same sleeps and transfers, nothing else.
double runBare(const Measured& m) {
    platform::Clock& clock = platform::systemClock();
    sim::VirtualBus bus{clock};
    const int id = bus.addDevice(std::make_shared<sim::TableDevice>(
        sim::UsbIdentity{0x3A1C, 0x0A52, 0x0100},
        std::vector<std::vector<sim::CollectionSpec>>{{{0xFF11, 0x11, {{sim::ReportSpec::Feature, 9, 64}}}}}));
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    table.openCollection(0x3A1C, 0x0A52, 0xFF11, 0x11, 1);
    bus.setFaults(id, sim::TransportFaults{kLatencyMs, 0, false});
    const auto entry = table.entry(1);
    std::array<std::uint8_t, 64> report{9};
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::uint32_t ms : m.stationSleeps) clock.sleepMs(ms);
    for (std::size_t i = 0; i < m.transfers; ++i) entry->setFeature(report);
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

void BM_WholeCheckBesideBarePattern(benchmark::State& state) {
    double checkMs = 0, bareMs = 0, demandedMs = 0;
    std::size_t transfers = 0;
    for (auto _ : state) {
        Measured m;
        const double c = runCheck(m);
        if (c < 0) return state.SkipWithError("the example check did not pass");
        const double b = runBare(m);
        checkMs += c;
        bareMs += b;
        double slept = 0;
        for (const std::uint32_t ms : m.stationSleeps) slept += ms;
        demandedMs += slept + static_cast<double>(m.transfers * kLatencyMs);
        transfers = m.transfers;
        state.SetIterationTime(c / 1000.0);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["check_ms"] = checkMs / n;
    state.counters["bare_ms"] = bareMs / n;
    state.counters["demanded_ms"] = demandedMs / n;
    state.counters["transfers"] = static_cast<double>(transfers);
    state.counters["check/demanded"] = checkMs / demandedMs;
    state.counters["check/bare"] = checkMs / bareMs;
}
BENCHMARK(BM_WholeCheckBesideBarePattern)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
