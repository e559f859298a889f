// What the results store costs the station's tick, with and without a store side by side in one
// run (compare the medians): the idle tick of a connected station whose writer has nothing to
// say, and the end of a check, which builds the store's record and hands it to the writer's
// thread while that thread writes the checks before it into a SQLite file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/sequence/check_record_json.h"
#include "station/sequence/run_control.h"
#include "station/sequence/station_results.h"
#include "station/sequence/station_state.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace {

class QuietLogs final : public station::CheckLogs {
public:
    bool openResultLog(station::Station&) override { return true; }
    void buildDetailCsvHeader(station::Station&) override {}
    void writeDetailCsv(station::Station&, bool) override {}
    bool appendResultRow(station::Station&) override { return true; }
    void closeResultLog(station::Station&) override {}
};

// A folder of its own for the store and the spool, removed at the end.
struct ScratchFolder {
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-results-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

std::unique_ptr<station::StationResults> storeIn(const ScratchFolder& folder) {
    station::StationResultsSettings settings;
    settings.url = "sqlite:" + folder.path + "/results.db";
    settings.stationId = "bench-st01";
    settings.host = "bench";
    settings.spoolPath = folder.path + "/results-spool.db";
    settings.closeBudget = std::chrono::minutes(5);
    return std::make_unique<station::StationResults>(settings);
}

// A station with its recipe loaded, the log open and the controller connected, waiting for Enter:
// every tick looks at its connection and prompts.
struct ConnectedStation {
    ConnectedStation() : bus{clock}, backend{bus}, table{backend}, s{table, clock, ui}, control{s} {
        bus.addDevice(std::make_shared<sim::ControllerDevice>(sim::ControllerConfig{}));
        s.logs = &logs;
        control.setRecipeTrace({});
        control.startUp(std::string(VORLICK_SOURCE_DIR) + "/examples/station", "PID0A52.ini");
        s.recipe.START_TRG = station::StartTrigger::EnterKey;
        control.onTick();
        control.onStartRetry();
        control.onTick();
    }
    bool ready() const { return s.recipe.recipeLoaded && s.touch.isOpen() && s.flags.logOpen; }

    platform::VirtualClock clock;
    sim::VirtualBus bus;
    sim::InProcessBackend backend;
    hidlink::DeviceTable table;
    station::FakeUiPort ui;
    station::Station s;
    QuietLogs logs;
    station::RunControl control;
};

void BM_TickWithResultsStore(benchmark::State& state) {
    ConnectedStation st;
    ScratchFolder folder;
    const bool withStore = state.range(0) != 0;
    std::unique_ptr<station::StationResults> results = withStore ? storeIn(folder) : nullptr;
    st.s.results = results.get();
    if (!st.ready()) state.SkipWithError("station not ready");
    for (auto _ : state) {
        st.control.onTick();
        benchmark::DoNotOptimize(st.s.flags.triggered);
    }
    if (results) results->close(st.s);
    st.s.results = nullptr;
    state.SetLabel(withStore ? "sqlite store" : "no store");
}
BENCHMARK(BM_TickWithResultsStore)
    ->ArgName("store")
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// The station's side of a check that ended: its JSON record (what --json writes anyway) and, with
// a store, the store's record handed to the writer. The writer's thread meanwhile writes every
// check before it into SQLite, one committed transaction each.
void BM_CheckEndedWithResultsStore(benchmark::State& state) {
    ConnectedStation st;
    ScratchFolder folder;
    const bool withStore = state.range(0) != 0;
    std::unique_ptr<station::StationResults> results = withStore ? storeIn(folder) : nullptr;
    st.s.check.row.serialNo = "SN0A52-000001";
    st.s.check.verdict = station::Verdict::Ok;
    st.s.check.startTime = "2026/03/02 08:15:04";
    st.s.check.endTime = "2026/03/02 08:15:31";
    st.s.logFiles.logFolder = folder.path + "/logs/";
    std::int32_t checkNo = 0;
    for (auto _ : state) {
        st.s.check.row.checkNo = ++checkNo;  // a new check each time: every one is written
        if (results)
            results->checkEnded(st.s);
        else
            benchmark::DoNotOptimize(station::checkRecordJson(st.s.check));
    }
    if (results) {
        const results::WriterCounts counts = results->writer().counts();
        results->close(st.s);
        state.counters["written_before_close"] = static_cast<double>(counts.written);
    }
    state.SetLabel(withStore ? "sqlite store" : "no store (JSON record only)");
}
BENCHMARK(BM_CheckEndedWithResultsStore)
    ->ArgName("store")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2000)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
