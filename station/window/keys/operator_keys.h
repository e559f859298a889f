#pragma once
// The keyboard rules of the station window. A barcode scanner types '#', the serial number and
// Enter into the focused serial-number field; the '#' marks the scan, so its Enter closes the
// scan instead of triggering a check. Enter without a scan is the operator's trigger.
#include <string_view>

#include "station/sequence/run_control.h"
#include "station/sequence/station_state.h"

namespace station {

enum class KeyVerdict { Pass, Consumed };

class OperatorKeys {
public:
    OperatorKeys(Station& station, RunControl& runControl);

    // Accelerators (the '#' mark among them) count only while the station takes them: not
    // during a reset and reconnection, not while a check runs.
    bool acceleratorsEnabled() const;

    // A typed character before the focused control sees it. '#' sets the scan mark when
    // accelerators are on and is typed all the same.
    KeyVerdict character(char32_t c);

    // A key-down of Enter. `serialFieldFocused`: the serial-number field has the keyboard
    // focus; `fieldText`: what it holds now (marks included).
    KeyVerdict enter(bool serialFieldFocused, std::string_view fieldText);

    bool scanMarkSeen() const { return scanMarkSeen_; }

private:
    Station& s_;
    RunControl& rc_;
    bool scanMarkSeen_ = false;
};

}  // namespace station
