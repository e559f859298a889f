#include "station/viewers/logic/viewer_opening.h"

namespace station::viewers {

bool inMaintenanceMode(DeviceLink& touch) {
    std::uint8_t mode = 0;
    return touch.isOpen() && touch.readDeviceMode(mode) && mode == 1;
}

ViewerOpening prepareRawViewer(DeviceLink& touch) {
    if (!inMaintenanceMode(touch)) return ViewerOpening::NotInMaintenance;
    if (!touch.calibrationControl(1) || !touch.writeRegisters()) return ViewerOpening::Refused;
    return ViewerOpening::Ready;
}

ViewerOpening preparePinViewer(DeviceLink& touch) {
    return inMaintenanceMode(touch) ? ViewerOpening::Ready : ViewerOpening::NotInMaintenance;
}

}  // namespace station::viewers
