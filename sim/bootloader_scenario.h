#pragma once
// The bootloader keys of a `model = controller` section (examples/sim/controller.md lists them).
#include <optional>
#include <string>
#include <string_view>

#include "sim/bootloader.h"

namespace sim {

// Nothing when `key` is not a bootloader key; otherwise an empty text when the value was taken,
// or what is wrong with it.
std::optional<std::string> applyBootloaderKey(BootloaderConfig& config, std::string_view key, std::string_view value);

}  // namespace sim
