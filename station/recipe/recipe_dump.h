#pragma once
// Writes the settings back as a recipe, so an engineer sees exactly what a load produced and can
// load it again.
#include <string>

#include "station/recipe/recipe_settings.h"

namespace station {

// Every setting under [DEVICE], [SETTING], [WAVE], [S/N] and [EXTRA_SETTING], then the lookup
// tables; lists as comma lists, 16-bit values in hex. Lines end in LF.
std::string dumpRecipe(const RecipeSettings& settings);

}  // namespace station
