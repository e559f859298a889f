#pragma once
// Holding the controller open: the touch collection found and reopened on every tick, the
// maintenance set-up after a fresh open, the pen collection, the reset between steps, the
// firmware identity and what the status bar shows about the device.
#include <cstdint>

#include "hidlink/identity.h"
#include "platform/clock.h"
#include "station/sequence/station_state.h"
#include "station/sequence/switch_check.h"

namespace station {

enum class ConnectResult : std::int32_t {
    NotPresent = 0,    // no touch collection, and none was open
    OpenFailed = 1,    // found, but opening or preparing it failed (retry later)
    Opened = 2,        // freshly opened and prepared
    StillPresent = 3,  // was open and has been reopened
    Gone = 4,          // gone, closing failed, or five opens failed in a row
};

ConnectResult connectTouch(Station& s);
// Both collections closed, then the touch collection found and opened only: no maintenance
// set-up and no pen. Opened, OpenFailed or NotPresent. The external switch dialog's look for
// the controller.
ConnectResult probeTouch(Station& s);
bool openAndPrepare(Station& s, const hidlink::CollectionIdentity& identity, bool prepare);
void loadLutsFromController(Station& s);
// Opens the pen collection and sets the pen text; true when a pen with firmware answered.
bool connectPen(Station& s);
// connectPen and what every caller does with it: keeps penConnected, repaints, and sets or
// clears the pen COM error bit. False when the recipe's pen check cannot be met.
bool connectPenAndKeep(Station& s);
// Both collections closed, then connectTouch: a fresh open clears the prompt and shows the
// device on the status bar; the touch COM bit is set unless the device opened or stayed. True
// when freshly opened.
bool connectTouchAndShow(Station& s);
void resetAndReconnect(Station& s);
// The reconnect after a reset: the touch collection in timed cycles (limit 15), then the pen
// when it was connected before.
void reconnectTouchAndPen(Station& s, bool penWasConnected);
void checkFirmwareIdentity(Station& s);
void showDeviceInfo(Station& s);
void showDisconnected(Station& s);

// The switch check's way to the controller, through the station's connect steps.
class StationReconnect final : public ControllerReconnect {
public:
    explicit StationReconnect(Station& s) : s_(s) {}
    ConnectResult probeTouch() override { return station::probeTouch(s_); }
    bool reopenTouch() override { return connectTouchAndShow(s_); }
    bool reopenPen() override { return connectPenAndKeep(s_); }

private:
    Station& s_;
};

// The reconnect loops' cycles: each notes the time of day (milliseconds within the minute, a
// later value below the first counting one minute more) and waits 1000 ms. next() is false
// when this cycle's number exceeds the limit or its noted time lies 15 s or more after the
// first cycle's.
class TimedCycles {
public:
    TimedCycles(platform::Clock& clock, int limit) : clock_(clock), limit_(limit) {}
    bool next();
    int cycles() const { return number_; }

private:
    platform::Clock& clock_;
    int limit_;
    int number_ = 0;
    int start_ = 0;
};

}  // namespace station
