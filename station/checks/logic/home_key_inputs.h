#pragma once
// The home key window's inputs as its runner hands them over: the recipe's home key keys, the
// touch link that switches the report type, and where the result goes in the check's record.
#include "station/checks/logic/home_key_check.h"
#include "station/sequence/check_steps.h"
#include "station/sequence/check_windows.h"

namespace station::checks {

// `surface`: the area the window covers.
HomeKeyInputs homeKeyInputs(const CheckWindowRequest& request, CheckContext& check, const Surface& surface);

}  // namespace station::checks
