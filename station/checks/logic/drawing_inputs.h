#pragma once
// The drawing window's inputs as its runner hands them over: the recipe's drawing keys, what
// the connect step learned of the controller and the request of the runner.
#include "station/checks/logic/drawing_check.h"
#include "station/sequence/check_steps.h"
#include "station/sequence/check_windows.h"

namespace station::checks {

// `surface`: the drawing area the window covers. drawResult points into the check's record.
DrawingInputs drawingInputs(const CheckWindowRequest& request, CheckContext& check, const Surface& surface);

}  // namespace station::checks
