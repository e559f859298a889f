// Records per second into each engine of the results store: one by one (the station's writer,
// a check at a time) and in batches (forwarding a spool, ingesting a history). The SQLite store
// is a file in the temp folder (WAL, each commit synced); PostgreSQL is the server that
// VORLICK_BENCH_POSTGRES names, or else a private one started by scripts/test_postgres.sh, which
// runs with fsync off: its figures are the client's and the server's work, not a disk's.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "results/results_store.h"

namespace {

std::string run(const std::string& command, bool& ok) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ok = false;
        return out;
    }
    char buffer[512];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = pclose(pipe);
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The folders and the private server, removed when the program ends.
class Places {
public:
    Places() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorlick-store-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        // The server's user (not root) passes through on its way to its own folder.
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::others_exec, std::filesystem::perm_options::add, ec);
    }
    ~Places() {
        if (serverStarted_) {
            bool ok = false;
            run(script() + " stop " + (dir_ / "pg").string() + " 2>&1", ok);
        }
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    Places(const Places&) = delete;
    Places& operator=(const Places&) = delete;

    std::string sqliteUrl() const { return "sqlite:" + (dir_ / "results.db").string(); }
    // The server's URL, or empty with the reason.
    std::string postgresUrl(std::string& why) {
        if (const char* url = std::getenv("VORLICK_BENCH_POSTGRES"); url != nullptr && *url != '\0') return url;
        if (!postgres_.empty() || !why_.empty()) {
            why = why_;
            return postgres_;
        }
        bool ok = false;
        const std::string out = run(script() + " start " + (dir_ / "pg").string() + " 2>&1", ok);
        if (!ok) {
            why = why_ = out;
            return {};
        }
        serverStarted_ = true;
        postgres_ = out.substr(out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
        return postgres_;
    }

private:
    static std::string script() { return std::string(VORLICK_SOURCE_DIR) + "/scripts/test_postgres.sh"; }
    std::filesystem::path dir_;
    bool serverStarted_ = false;
    std::string postgres_;
    std::string why_;
};

Places& places() {
    static Places p;
    return p;
}

// A check as the station writes it; each one a new check of the line.
results::CheckResult nextCheck() {
    static int checkNo = 0;
    results::CheckResult c;
    c.stationId = "line2-st04";
    c.host = "st04";
    c.recipeFile = "recipe/0A52.ini";
    c.productId = "0A52";
    c.checkNo = ++checkNo;
    c.serialNumber = "SN0A52-" + std::to_string(checkNo);
    c.verdict = checkNo % 10 == 0 ? "NG" : "OK";
    if (c.verdict == "NG") c.errorCode = "E201";
    c.startUtc = "2026-03-02T08:15:04Z";
    c.endUtc = "2026-03-02T08:15:31Z";
    c.elapsedMs = 27120;
    c.firmwareVersion = "0102.07";
    c.logFolder = "/srv/station/log/20260302_081000/";
    c.detailCsv = c.logFolder + c.serialNumber + ".csv";
    c.recordJson = R"({"check":)" + std::to_string(checkNo) + R"(,"serialNumber":")" + c.serialNumber +
                   R"(","verdict":")" + c.verdict + R"(","steps":[{"name":"TKP","result":"OK"}]})";
    return c;
}

std::unique_ptr<results::ResultsStore> openFor(benchmark::State& state, bool postgres) {
    std::string why;
    const std::string url = postgres ? places().postgresUrl(why) : places().sqliteUrl();
    if (url.empty()) {
        state.SkipWithError(("no PostgreSQL server: " + why).c_str());
        return nullptr;
    }
    auto store = results::openStore(url, why);
    if (!store) state.SkipWithError(why.c_str());
    return store;
}

void insertOneByOne(benchmark::State& state, bool postgres) {
    auto store = openFor(state, postgres);
    if (!store) return;
    for (auto _ : state) {
        state.PauseTiming();
        const results::CheckResult check = nextCheck();
        state.ResumeTiming();
        if (store->insert(check).status != results::InsertStatus::Written) state.SkipWithError("not written");
    }
    state.SetItemsProcessed(state.iterations());  // items: records
}

void insertBatch(benchmark::State& state, bool postgres) {
    auto store = openFor(state, postgres);
    if (!store) return;
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<results::CheckResult> batch(size);
    for (auto _ : state) {
        state.PauseTiming();
        for (results::CheckResult& c : batch) c = nextCheck();
        state.ResumeTiming();
        for (const results::InsertResult& r : store->insertBatch(batch)) {
            if (r.status != results::InsertStatus::Written) state.SkipWithError("not written");
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SqliteInsertOneByOne(benchmark::State& state) { insertOneByOne(state, false); }
void BM_SqliteInsertBatch(benchmark::State& state) { insertBatch(state, false); }
void BM_PostgresInsertOneByOne(benchmark::State& state) { insertOneByOne(state, true); }
void BM_PostgresInsertBatch(benchmark::State& state) { insertBatch(state, true); }

// Records per second of the wall clock: the time a writer waits for its store.
BENCHMARK(BM_SqliteInsertOneByOne)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SqliteInsertBatch)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PostgresInsertOneByOne)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PostgresInsertBatch)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
