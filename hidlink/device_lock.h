#pragma once
// One program per controller. Whoever opens a collection holds the whole device (every
// collection of every interface) until its last collection closes; a second program is refused
// with the holder's name. The locks are advisory: they keep our own programs apart. On hidraw
// they are platform::LockFile locks in platform::runtimeDirectory().
#include <cstdint>
#include <string>

#include "platform/lock_file.h"

namespace hidlink {

// "vorlick-diag (pid 1234)": how this process is named to a program it keeps out.
using platform::programOwner;
// A holder's name as it may be shown: control bytes replaced, at most 200 bytes.
using platform::printableOwner;
// A fresh random id for one backend: two backends in one process are two holders.
std::uint64_t newOwnerId();
// The one line a refused open leaves in the backend's lastError().
std::string inUseText(const std::string& device, const std::string& holder);

}  // namespace hidlink
