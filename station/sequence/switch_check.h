#pragma once
// The external switch check: the operator resets the controller with its own switch, and the
// station's dialog watches the controller go and come back.
#include <cstdint>

#include "station/sequence/check_steps.h"

namespace station {

enum class ConnectResult : std::int32_t;

// How the switch check reaches the controller's connection.
class ControllerReconnect {
public:
    virtual ~ControllerReconnect() = default;
    // Both collections closed, then the touch collection opened only.
    virtual ConnectResult probeTouch() = 0;
    // Afterwards: the touch collection opened and set up again, then the pen. True on success.
    virtual bool reopenTouch() = 0;
    virtual bool reopenPen() = 0;
};

class ExternalSwitchCheck {
public:
    explicit ExternalSwitchCheck(ControllerReconnect& reconnect) : reconnect_(reconnect) {}

    // Sets extSwitchFlags: bit 0 the reset was not seen, bit 1 the device was not open.
    RunnerOutcome run(CheckContext& check);

    // One look of the dialog: true once the controller has gone and come back.
    bool step();
    int phase() const { return phase_; }

private:
    ControllerReconnect& reconnect_;
    int phase_ = 0;  // 0 waiting for the controller to go, 1 for it to return
};

}  // namespace station
