#pragma once
// The station window's probe: what the window shows, read back from its widgets and its list
// model, as the keys the real-display tests read (VORLICK_WINDOW_PROBE).
#include "platform/probe_file.h"

namespace station {

class StationWindow;

// Sets every key from the window's controls and flushes the file when a value changed.
void writeStationWindowProbe(platform::ProbeFile& probe, const StationWindow& window);

}  // namespace station
