#pragma once
// The detail CSV's sections for the operator checks that measure per line or per pin: the TKP
// pen check and the home key check, from what those checks left in the check's record.
#include <string>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"

namespace station {

// ">>>>> TKP Pen Check <<<<<" and its body; always present.
void appendTkpSection(std::string& out, const RecipeSettings& recipe, const CheckRecord& check, bool failedSoFar);
// ">>>>> Home Key Check <<<<<" and its body; only with HOMEKEY_CHECK.
void appendHomeKeySection(std::string& out, const RecipeSettings& recipe, const CheckRecord& check, bool failedSoFar);

}  // namespace station
