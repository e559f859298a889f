#pragma once
// The scan check: after a calibration the touch controller must show that it scans (bit 0 of
// register word 45) and the pen must send a line report, each within 10 s. A time-out is the
// check's NG (scanFlags bit 1 touch, bit 2 pen); a controller that cannot be prepared or read
// means no check at all.
#include "station/sequence/check_steps.h"

namespace station {

RunnerOutcome runScanCheck(CheckContext& check);

}  // namespace station
