#include "station/viewers/logic/viewer_device.h"

namespace station::viewers {

// Select response [9, 1, 1, 0]; the link already pauses 5 ms after every set-feature request.
bool DeviceLinkViewerPort::selectImageFrames() { return link_.selectResponse(1, 0); }

}  // namespace station::viewers
