// Live input: frame assembly per report-9 answer and per whole image frame, line statistics per
// line report, and how long an input report takes from the simulator to a reader's sink
// (median and 99th percentile) through the in-process bus and through vorlick-sim's socket.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "controllerlink/frame_assembler.h"
#include "controllerlink/line_statistics.h"
#include "hidlink/device_table.h"
#include "hidlink/queued_reports.h"
#include "hidlink/socket_backend.h"
#include "platform/clock.h"
#include "sim/sim_server.h"
#include "sim/table_device.h"
#include "sim/virtual_bus.h"

namespace {

struct CountingSink final : controllerlink::FrameSink {
    std::uint64_t frames = 0;
    void onImageFrame(std::uint32_t, const controllerlink::ImageFrame& f) override {
        benchmark::DoNotOptimize(f.cells[0][0]);
        ++frames;
    }
    void onAreaFrame(std::uint32_t, const controllerlink::AreaFrame&) override {}
    void onRecordFrame(std::uint32_t, const controllerlink::RecordFrame&) override {}
    void onColumnFrame(std::uint32_t, const controllerlink::ColumnFrame&) override {}
};

// The answers of one 72 x 46 frame and its noise row, 30 signed 16-bit samples each.
std::vector<std::array<std::uint8_t, 64>> wholeFrame() {
    std::vector<std::array<std::uint8_t, 64>> reports;
    const std::size_t cells = 72 * 47;
    for (std::size_t cell = 0; cell < cells; cell += 30) {
        std::array<std::uint8_t, 64> r{};
        r[0] = 9;
        r[1] = 0x10;
        r[2] = static_cast<std::uint8_t>(cell % 72);
        r[3] = static_cast<std::uint8_t>(cell / 72);
        for (std::size_t i = 0; i < 30 && cell + i < cells; ++i) {
            const auto v = static_cast<std::uint16_t>(3000 + (cell + i) % 97);
            r[4 + 2 * i] = static_cast<std::uint8_t>(v & 0xFF);
            r[5 + 2 * i] = static_cast<std::uint8_t>(v >> 8);
        }
        reports.push_back(r);
    }
    return reports;
}

void BM_FrameAssembly_PerReport(benchmark::State& state) {
    CountingSink sink;
    controllerlink::FrameAssembler a(sink);
    a.start(controllerlink::FrameGeometry{});
    const auto reports = wholeFrame();
    std::size_t i = 0;
    for (auto _ : state) {
        a.addReport(reports[i], false);
        if (++i == reports.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameAssembly_PerReport);

void BM_FrameAssembly_PerImageFrame(benchmark::State& state) {
    CountingSink sink;
    controllerlink::FrameAssembler a(sink);
    a.start(controllerlink::FrameGeometry{});
    const auto reports = wholeFrame();
    for (auto _ : state)
        for (const auto& r : reports) a.addReport(r, false);
    if (sink.frames != static_cast<std::uint64_t>(state.iterations())) state.SkipWithError("a frame was not completed");
    state.counters["reports/frame"] = static_cast<double>(reports.size());
}
BENCHMARK(BM_FrameAssembly_PerImageFrame);

void BM_LineStatistics_PerReport(benchmark::State& state) {
    controllerlink::LineStatistics s;
    s.reset(static_cast<std::uint32_t>(state.range(0)));
    // 18 samples (the most 40 bytes hold), X lines 0..71 in four reports, then again.
    std::array<std::uint8_t, 64> r{15, 72, 0, 18};
    for (std::size_t j = 0; j < 18; ++j) r[4 + 2 * j] = static_cast<std::uint8_t>(100 + j);
    std::uint8_t first = 0;
    for (auto _ : state) {
        r[2] = first;
        benchmark::DoNotOptimize(s.addLineReport(r));
        first = static_cast<std::uint8_t>(first == 54 ? 0 : first + 18);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineStatistics_PerReport)->Arg(16)->Arg(256);

struct InputRig {
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    std::shared_ptr<sim::TableDevice> device = std::make_shared<sim::TableDevice>(
        sim::UsbIdentity{0x3A1C, 0x0A52, 0x0100},
        std::vector<std::vector<sim::CollectionSpec>>{
            {{0xFF11, 0x02, {{sim::ReportSpec::Feature, 9, 64}, {sim::ReportSpec::Input, 15, 64}}}}});
    InputRig() { bus.addDevice(device); }
};

// Posts a report, waits for the sink to have it; the time of each round is kept.
void latency(benchmark::State& state, hidlink::Backend& backend, InputRig& rig) {
    hidlink::DeviceTable table(backend);
    if (!table.openCollection(0x3A1C, 0x0A52, 0xFF11, 0x02, 1)) return state.SkipWithError("cannot open");
    hidlink::QueuedReports sink;
    if (!table.startInputReader(1, sink)) return state.SkipWithError("no reader");
    std::vector<double> micros;
    std::vector<std::uint8_t> report(64, 0);
    report[0] = 15;
    hidlink::QueuedReport got;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        rig.device->pushInput(0, report);
        if (!sink.take(got, 5000)) return state.SkipWithError("a report did not arrive");
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    table.stopInputReader(1);
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void BM_InputReportToSink_InProcess(benchmark::State& state) {
    InputRig rig;
    sim::InProcessBackend backend(rig.bus);
    latency(state, backend, rig);
}
BENCHMARK(BM_InputReportToSink_InProcess)->Iterations(2000)->UseRealTime();

void BM_InputReportToSink_Socket(benchmark::State& state) {
    InputRig rig;
    char dir[] = "/tmp/vinputbench.XXXXXX";
    if (::mkdtemp(dir) == nullptr) return state.SkipWithError("no temp dir");
    const std::string socket = std::string(dir) + "/sim.sock";
    sim::SimServer server(rig.bus);
    std::string error;
    if (!server.start(socket, error)) return state.SkipWithError(error.c_str());
    {
        auto backend = hidlink::connectSocketBackend(socket, error);
        if (!backend) return state.SkipWithError(error.c_str());
        latency(state, *backend, rig);
    }
    server.stop();
    ::rmdir(dir);
}
BENCHMARK(BM_InputReportToSink_Socket)->Iterations(2000)->UseRealTime();

}  // namespace
