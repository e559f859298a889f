#include <cstdlib>
#include <string>

#include "hidlink/backend.h"
#include "hidlink/hidraw_backend.h"
#include "hidlink/socket_backend.h"

namespace hidlink {

namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

}  // namespace

std::unique_ptr<Backend> makeBackend(const std::string& spec, std::string& error) {
    // The roots can point at a copied or hand-made tree, so discovery can be checked without
    // the station's hardware.
    if (spec.empty() || spec == "hidraw")
        return std::make_unique<HidrawBackend>(envOr("VORLICK_SYSFS_ROOT", "/sys"), envOr("VORLICK_DEV_ROOT", "/dev"));
    if (spec.rfind("sim:", 0) == 0) {
        const std::string path = spec.substr(4);
        if (path.empty()) {
            error = "VORLICK_HID=sim: needs the simulator's socket path (sim:/path/to/socket)";
            return nullptr;
        }
        return connectSocketBackend(path, error);
    }
    error = "VORLICK_HID=" + spec + " is not a known backend (use hidraw or sim:<socket path>)";
    return nullptr;
}

std::unique_ptr<Backend> makeBackendFromEnvironment(std::string& error) {
    const char* env = std::getenv("VORLICK_HID");
    return makeBackend(env != nullptr ? env : "", error);
}

}  // namespace hidlink
