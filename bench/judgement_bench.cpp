// CPU time of the short and raw data judgement of one full 46 x 72 grid with every option on:
// limits, calibration spread (min/max per column, or the row difference), dead band, both
// gaps. The data is the simulator's default panel with noise and a few faults, so every branch
// runs. Run with --benchmark_repetitions=N to get medians.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "station/sequence/raw_judgement.h"
#include "station/sequence/short_check.h"

namespace {

using controllerlink::Grid;

struct JudgementInput {
    JudgementInput() {
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0.0, 0.5);
        s->RAW_CHECK = 1;
        s->CAL_THRESHOLD = 100;
        s->DB_THRESHOLD = 20;
        s->GAP_CHECK = 1;
        s->GAP_VERTICAL = 1;
        s->GAP_COUNT = 3;
        for (int t = 0; t < 46; ++t) {
            for (int r = 0; r < 72; ++r) {
                const double level = 2000 + 4 * t + 2 * r;
                s->ReferenceTable[t][r] = level;
                s->UpperTable[t][r] = 300;
                s->LowerTable[t][r] = -300;
                s->GapHorizontalTable[t][r] = 60;
                s->GapVerticalTable[t][r] = 60;
                raw[t][r] = level + noise(rng);
                cal[t][r] = 500 + t + noise(rng);
                actual[t][r] = 300 + t + noise(rng);
                sd[t][r] = 2 + noise(rng);
            }
        }
        for (auto& row : raw) row[7] /= 10;  // an open Rx line
        raw[12][30] = 32000;                 // a Tx-Rx short
        sd[30][10] = 75;                     // a noisy cell
        for (std::size_t n = 0; n < xlut.size(); ++n) xlut[n] = static_cast<std::uint16_t>(0x0100 | n);
        for (std::size_t n = 0; n < ylut.size(); ++n) ylut[n] = static_cast<std::uint16_t>(0x0100 | n);
        txPins[3].gndFault = 1;
        rxPins[12].vddFault = 1;
    }
    station::RawInputs inputs() const { return {raw, cal, actual, sd, 0, 46, 72}; }

    std::unique_ptr<station::RecipeSettings> s = std::make_unique<station::RecipeSettings>();
    Grid raw{}, cal{}, actual{}, sd{};
    std::array<std::uint16_t, station::kXlutSize> xlut{};
    std::array<std::uint16_t, station::kYlutSize> ylut{};
    std::array<station::PinResult, station::kGridRx> rxPins{};
    std::array<station::PinResult, station::kTxPins> txPins{};
};

void judgeFullGrid(benchmark::State& state, bool calDiff) {
    JudgementInput in;
    in.s->CAL_DIFF = calDiff ? 1 : 0;
    auto judgement = std::make_unique<station::RawJudgement>();
    for (auto _ : state) {
        const station::ShortCounters shorts = station::countPinFaults(in.xlut, in.ylut, in.rxPins, in.txPins);
        benchmark::DoNotOptimize(station::shortFault(shorts));
        station::judgeRawData(*in.s, in.inputs(), *judgement);
        benchmark::DoNotOptimize(station::rawFault(*judgement));
        benchmark::DoNotOptimize(station::gapFault(*judgement));
        benchmark::ClobberMemory();
    }
    state.counters["rawTotal"] = judgement->counters.rawTotal;
}

void BM_ShortAndRawJudgement_CalMinMax(benchmark::State& state) { judgeFullGrid(state, false); }
void BM_ShortAndRawJudgement_CalDiff(benchmark::State& state) { judgeFullGrid(state, true); }

BENCHMARK(BM_ShortAndRawJudgement_CalMinMax)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShortAndRawJudgement_CalDiff)->Unit(benchmark::kMicrosecond);

}  // namespace
