#include "station/sequence/switch_check.h"

#include "station/device/device_link.h"
#include "station/sequence/check_record.h"
#include "station/sequence/connect.h"
#include "station/sequence/ui_port.h"

namespace station {

RunnerOutcome ExternalSwitchCheck::run(CheckContext& check) {
    std::int32_t& flags = check.record.detail.extSwitchFlags;
    std::uint8_t mode = 0;
    if (!check.touch.isOpen() || !check.touch.readDeviceMode(mode) || mode != 1) {
        check.ui.appendMessage("Device is not open. (ext-sw check)");
        flags |= 2;
        return {true, {}};
    }
    phase_ = 0;
    if (!check.ui.runExternalSwitchDialog([this] { return step(); })) flags |= 1;
    if (!reconnect_.reopenTouch()) check.ui.appendMessage("touch device re-open failed. (ext-sw check)");
    if (!reconnect_.reopenPen()) check.ui.appendMessage("pen device re-open failed. (ext-sw check)");
    return {true, {}};
}

bool ExternalSwitchCheck::step() {
    const bool present = reconnect_.probeTouch() == ConnectResult::Opened;
    if (phase_ == 0) {
        if (!present) phase_ = 1;
        return false;
    }
    if (!present) return false;
    phase_ = 0;
    return true;
}

}  // namespace station
