// Recipe loading: the full example recipe with its reference, threshold and gap tables, and the
// two halves of that cost (parsing the INI text, reading the CSV tables).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/file_reader.h"
#include "station/recipe/recipe_loader.h"
#include "station/recipe/recipe_settings.h"
#include "station/recipe/threshold_tables.h"
#include "station/window/ui_port.h"

namespace {

const std::string kStation = std::string(VORLICK_SOURCE_DIR) + "/examples/station";

class NullPort final : public station::UiPort {
public:
    void appendMessage(std::string_view) override {}
    void setPrompt(std::string_view) override {}
    void resetDisplay() override {}
    void setSuperKeyGuard(bool) override {}
};

void BM_LoadFullRecipe(benchmark::State& state) {
    NullPort port;
    station::RecipeEnvironment env{port, kStation};
    env.debugTrace = {};
    auto settings = std::make_unique<station::RecipeSettings>();
    const std::string recipe = kStation + "/R6_full.ini";
    for (auto _ : state) {
        if (!station::LoadRecipe(*settings, recipe, env)) state.SkipWithError("example recipe did not load");
        benchmark::DoNotOptimize(settings->GapVerticalTable[0]);
    }
}
BENCHMARK(BM_LoadFullRecipe)->Unit(benchmark::kMicrosecond);

void BM_ParseRecipeText(benchmark::State& state) {
    NullPort port;
    station::RecipeEnvironment env{port, kStation};
    env.debugTrace = {};
    auto settings = std::make_unique<station::RecipeSettings>();
    std::string text;
    if (!platform::readRegularFile(kStation + "/R6_full.ini", station::kMaxRecipeBytes, text))
        state.SkipWithError("example recipe not read");
    for (auto _ : state) benchmark::DoNotOptimize(station::parseRecipeText(*settings, text, env));
}
BENCHMARK(BM_ParseRecipeText)->Unit(benchmark::kMicrosecond);

void BM_ThresholdTables(benchmark::State& state) {
    NullPort port;
    auto s = std::make_unique<station::RecipeSettings>();
    s->RAW_CHECK = 1;
    s->GAP_CHECK = 1;
    s->GAP_VERTICAL = 1;
    s->REFERENCE_CSV = kStation + "/tables/reference.csv";
    s->THRESHOLD_CSV = kStation + "/tables/threshold.csv";
    s->GAP_CSV = kStation + "/tables/gap.csv";
    for (auto _ : state) {
        if (!station::LoadThresholdTables(*s, port)) state.SkipWithError("example tables did not load");
        benchmark::DoNotOptimize(s->UpperTable[0]);
    }
}
BENCHMARK(BM_ThresholdTables)->Unit(benchmark::kMicrosecond);

}  // namespace
