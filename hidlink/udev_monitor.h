#pragma once
// Hotplug events of hidraw nodes from udev's monitor (libudev).
#include <memory>

#include "hidlink/backend.h"

namespace hidlink {

// A monitor of udev's hidraw events: add, remove and change, sent after udev's rules ran, so a
// new node already has the access the rules give it. nullptr when udev does not run on this
// machine (a container, a chroot: its netlink feed would stay silent for ever) or the monitor
// cannot be set up.
std::unique_ptr<ChangeMonitor> watchHidrawWithUdev();

}  // namespace hidlink
