// Recipe loading: the full example recipe with its reference, threshold and gap tables, and the
// two halves of that cost (parsing the INI text, reading the CSV tables).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_reader.h"
#include "station/recipe/recipe_loader.h"
#include "station/recipe/recipe_settings.h"
#include "station/recipe/threshold_tables.h"

namespace {

const std::string kStation = std::string(VORLICK_SOURCE_DIR) + "/examples/station";

void BM_LoadFullRecipe(benchmark::State& state) {
    station::RecipeEnvironment env{kStation};
    env.debugTrace = {};
    auto settings = std::make_unique<station::RecipeSettings>();
    const std::string recipe = kStation + "/R6_full.ini";
    for (auto _ : state) {
        if (!station::LoadRecipe(*settings, recipe, env).loaded) state.SkipWithError("example recipe did not load");
        benchmark::DoNotOptimize(settings->GapVerticalTable[0]);
    }
}
BENCHMARK(BM_LoadFullRecipe)->Unit(benchmark::kMicrosecond);

void BM_ParseRecipeText(benchmark::State& state) {
    station::RecipeEnvironment env{kStation};
    env.debugTrace = {};
    auto settings = std::make_unique<station::RecipeSettings>();
    std::string text;
    if (!platform::readRegularFile(kStation + "/R6_full.ini", station::kMaxRecipeBytes, text))
        state.SkipWithError("example recipe not read");
    std::vector<std::string> messages;
    for (auto _ : state) {
        messages.clear();
        benchmark::DoNotOptimize(station::parseRecipeText(*settings, text, env, messages));
    }
}
BENCHMARK(BM_ParseRecipeText)->Unit(benchmark::kMicrosecond);

void BM_ThresholdTables(benchmark::State& state) {
    std::vector<std::string> messages;
    auto s = std::make_unique<station::RecipeSettings>();
    s->RAW_CHECK = 1;
    s->GAP_CHECK = 1;
    s->GAP_VERTICAL = 1;
    s->REFERENCE_CSV = kStation + "/tables/reference.csv";
    s->THRESHOLD_CSV = kStation + "/tables/threshold.csv";
    s->GAP_CSV = kStation + "/tables/gap.csv";
    for (auto _ : state) {
        messages.clear();
        if (!station::LoadThresholdTables(*s, messages)) state.SkipWithError("example tables did not load");
        benchmark::DoNotOptimize(s->UpperTable[0]);
    }
}
BENCHMARK(BM_ThresholdTables)->Unit(benchmark::kMicrosecond);

}  // namespace
