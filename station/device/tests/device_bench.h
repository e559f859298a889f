#pragma once
// The scripted controller bench with the station's command set on both keys.
#include "controllerlink/tests/scripted_controller.h"
#include "station/device/device_link.h"

namespace testfx {

using Bench = BasicBench<station::DeviceLink>;

}  // namespace testfx
