#pragma once
// The runners of the operator's check windows: each prepares the controller (its normal scan
// registers and a calibration, the report types the window reads), opens the window through
// the UI port and afterwards restores the test registers and the normal report types, whether
// the window passed or failed. A runner that cannot prepare the controller says why and
// returns not ran: the check has no verdict.
#include "station/sequence/check_steps.h"

namespace station {

RunnerOutcome runDrawingCheck(CheckContext& check);
RunnerOutcome runTkpCheck(CheckContext& check);
RunnerOutcome runHomeKeyCheck(CheckContext& check);

// The preamble every controller-preparing runner shares (the scan check too): the touch
// collection open in maintenance mode (`notOpen` said otherwise), or with `penVariant` the pen
// open and connected; then the normal scan registers written and a calibration executed.
bool prepareForOperatorCheck(CheckContext& check, const char* notOpen, bool penVariant = false);

}  // namespace station
