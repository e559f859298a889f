#pragma once
// Which desktop a window may open, from the session's environment: X11 (DISPLAY), Wayland
// (WAYLAND_DISPLAY), or none, in which case the programs run without a window.
#include <optional>
#include <string>

namespace platform {

// The toolkit's platform list to try, ending with `noDisplay` (a platform that always loads and
// stands for "no display"): the user's QT_QPA_PLATFORM when set, else Wayland before X11 on a
// Wayland session, X11 alone otherwise. nullopt when neither display variable names a desktop.
std::optional<std::string> desktopPlatforms(const std::string& noDisplay);

}  // namespace platform
