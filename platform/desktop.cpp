#include "platform/desktop.h"

#include <cstdlib>

namespace platform {
namespace {

bool named(const char* variable) {
    const char* v = std::getenv(variable);
    return v != nullptr && *v != '\0';
}

}  // namespace

std::optional<std::string> desktopPlatforms(const std::string& noDisplay) {
    if (!named("DISPLAY") && !named("WAYLAND_DISPLAY")) return std::nullopt;
    std::string platforms;
    if (named("QT_QPA_PLATFORM"))
        platforms = std::getenv("QT_QPA_PLATFORM");
    else
        platforms = named("WAYLAND_DISPLAY") ? "wayland;xcb" : "xcb";
    return platforms + ";" + noDisplay;
}

}  // namespace platform
