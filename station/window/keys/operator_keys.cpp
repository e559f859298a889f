#include "station/window/keys/operator_keys.h"

namespace station {

OperatorKeys::OperatorKeys(Station& station, RunControl& runControl) : s_(station), rc_(runControl) {}

bool OperatorKeys::acceleratorsEnabled() const { return s_.flags.accelEnabled && !rc_.busy(); }

KeyVerdict OperatorKeys::character(char32_t c) {
    if (c == U'#' && acceleratorsEnabled()) scanMarkSeen_ = true;
    return KeyVerdict::Pass;
}

KeyVerdict OperatorKeys::enter(bool serialFieldFocused, std::string_view fieldText) {
    if (scanMarkSeen_) {
        scanMarkSeen_ = false;
        // serialScanned refuses the text itself while the field is read-only.
        if (serialFieldFocused) rc_.serialScanned(fieldText);
        return KeyVerdict::Consumed;
    }
    return rc_.enterPressed() ? KeyVerdict::Consumed : KeyVerdict::Pass;
}

}  // namespace station
