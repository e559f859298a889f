#include "station/sequence/tests/judgement_fixture.h"

#include <gtest/gtest.h>

#include "station/recipe/recipe_loader.h"

namespace judgementfx {

std::unique_ptr<station::RecipeSettings> exampleRecipe(const std::string& name) {
    auto settings = std::make_unique<station::RecipeSettings>();
    station::RecipeEnvironment env{std::string(VORLICK_SOURCE_DIR) + "/examples/station"};
    env.debugTrace = {};
    const station::RecipeReport report = station::LoadRecipe(*settings, env.startDirectory + "/" + name, env);
    EXPECT_TRUE(report.loaded) << name << ": " << ::testing::PrintToString(report.messages);
    return settings;
}

}  // namespace judgementfx
