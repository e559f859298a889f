// The run control's own cost: one 100 ms tick with a recipe loaded, the log open and the
// controller connected, on a bus of 100 collections (the station's controller and 49 other
// two-collection devices); the idle tick of a station waiting for its controller among 100
// hidraw collections, polling and following hotplug events side by side; and the resident
// memory of a full result table.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "hidlink/hidraw_backend.h"
#include "hidlink/tests/sample_descriptors.h"
#include "hidlink/tests/sysfs_fixture.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/sequence/run_control.h"
#include "station/sequence/station_state.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace {

// Opens its log and writes nothing.
class QuietLogs final : public station::CheckLogs {
public:
    bool openResultLog(station::Station&) override { return true; }
    void buildDetailCsvHeader(station::Station&) override {}
    void writeDetailCsv(station::Station&, bool) override {}
    bool appendResultRow(station::Station&) override { return true; }
    void closeResultLog(station::Station&) override {}
};

std::uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

// Every row of the table holds a check's texts, as after 50000 checks. Runs first, so the
// table's pages are the process's own and not a heap some earlier benchmark left behind.
void BM_ResidentMemoryFullRunTable(benchmark::State& state) {
    for (auto _ : state) {
        const std::uint64_t before = residentBytes();
        auto table = std::make_unique<station::RunRecordTable>();
        station::RecipeSettings recipe;
        while (!table->full()) {
            station::RunRecord row;
            row.checkNo = static_cast<std::int32_t>(table->rowCount() + 1);
            row.serialNo = "SN" + std::to_string(1000000 + table->rowCount());
            station::initialiseColumns(row, recipe);
            row.colResult = "OK";
            table->append(row);
        }
        const std::uint64_t after = residentBytes();
        if (table->rowCount() != station::RunRecordTable::kRows) state.SkipWithError("table not filled");
        state.counters["rss_MB"] = static_cast<double>(after) / 1048576.0;
        state.counters["table_MB"] = static_cast<double>(after - before) / 1048576.0;
        benchmark::DoNotOptimize(table.get());
    }
}
BENCHMARK(BM_ResidentMemoryFullRunTable)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TickConnectedAmong100Collections(benchmark::State& state) {
    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    bus.addDevice(std::make_shared<sim::ControllerDevice>(sim::ControllerConfig{}));
    for (int n = 0; n < 49; ++n) {
        sim::ControllerConfig other;
        other.vendorId = 0x1234;
        other.productId = static_cast<std::uint16_t>(0x100 + n);
        bus.addDevice(std::make_shared<sim::ControllerDevice>(other));
    }
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    station::FakeUiPort ui;
    station::Station s{table, clock, ui};
    QuietLogs logs;
    s.logs = &logs;
    station::RunControl control{s};
    control.startUp(std::string(VORLICK_SOURCE_DIR) + "/examples/station", "PID0A52.ini");
    s.recipe.START_TRG = station::StartTrigger::EnterKey;  // waits for Enter: every tick reconnects and prompts
    control.onTick();
    control.onStartRetry();
    control.onTick();
    const std::size_t collections = bus.enumerate().size();
    if (!s.recipe.recipeLoaded || !s.touch.isOpen() || !s.flags.logOpen || collections != 100)
        state.SkipWithError("station not ready");
    for (auto _ : state) {
        control.onTick();
        benchmark::DoNotOptimize(s.flags.triggered);
    }
    if (!s.touch.isOpen()) state.SkipWithError("the controller was lost");
    state.counters["collections"] = static_cast<double>(collections);
}
BENCHMARK(BM_TickConnectedAmong100Collections)->Unit(benchmark::kMicrosecond);

// Stands for udev's monitor: a descriptor that is looked at without waiting on every tick.
class QuietMonitor final : public hidlink::ChangeMonitor {
public:
    QuietMonitor() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~QuietMonitor() override { ::close(fd_); }
    bool changed() override {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) != 0;
    }

private:
    int fd_;
};

// A station with its recipe loaded waiting for the controller, on a PC with 100 hidraw
// collections of other devices (50 two-collection interfaces): /polling enumerates on every
// tick, /events only after a hotplug event (none comes). Compare the medians.
void BM_IdleTickWaitingAmong100HidrawCollections(benchmark::State& state) {
    static const auto tree = [] {
        auto t = std::make_unique<hidlink::fixture::SysfsFixture>();
        for (unsigned n = 0; n < 50; ++n)
            t->add({n, 0x0003, 0x1234, static_cast<std::uint16_t>(0x100 + n), 0x0203,
                    hidlink::samples::kVendorController});
        return t;
    }();
    platform::VirtualClock clock;
    hidlink::HidrawBackend backend(tree->sysfsRoot(), tree->devRoot(), clock);
    backend.setLockDir(tree->lockDir());
    hidlink::DeviceTable table{backend};
    const bool events = state.range(0) != 0;
    if (events) table.followHotplug(std::make_unique<QuietMonitor>(), clock);
    station::FakeUiPort ui;
    station::Station s{table, clock, ui};
    QuietLogs logs;
    s.logs = &logs;
    station::RunControl control{s};
    control.setRecipeTrace({});
    control.startUp(std::string(VORLICK_SOURCE_DIR) + "/examples/station", "PID0A52.ini");
    std::vector<hidlink::CollectionDesc> all;
    if (!s.recipe.recipeLoaded || !backend.enumerate(all, SIZE_MAX) || all.size() != 100)
        state.SkipWithError("station not ready");
    control.onTick();
    for (auto _ : state) {
        clock.advance(100);
        control.onTick();
        benchmark::DoNotOptimize(s.flags.triggered);
    }
    if (s.touch.isOpen()) state.SkipWithError("a controller was found");
    state.SetLabel(events ? "events" : "polling");
}
BENCHMARK(BM_IdleTickWaitingAmong100HidrawCollections)
    ->ArgName("events")
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
