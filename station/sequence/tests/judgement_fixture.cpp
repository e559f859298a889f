#include "station/sequence/tests/judgement_fixture.h"

#include <gtest/gtest.h>

#include "station/recipe/recipe_loader.h"

namespace judgementfx {

std::unique_ptr<station::RecipeSettings> exampleRecipe(const std::string& name) {
    auto settings = std::make_unique<station::RecipeSettings>();
    FakeUi ui;
    station::RecipeEnvironment env{ui, std::string(VORLICK_SOURCE_DIR) + "/examples/station"};
    env.debugTrace = {};
    const bool loaded = station::LoadRecipe(*settings, env.startDirectory + "/" + name, env);
    EXPECT_TRUE(loaded) << name << ": " << (ui.lines.empty() ? "" : ui.lines.back());
    return settings;
}

}  // namespace judgementfx
