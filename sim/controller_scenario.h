#pragma once
// Builds a virtual controller from a scenario's [device] section with `model = controller`.
// Every key is listed in examples/sim/controller.md.
#include <memory>
#include <string>

#include "sim/controller_device.h"
#include "sim/scenario.h"

namespace platform {
class Clock;
}

namespace sim {

// Fills `config` from the section; false and one "N: ..." message (N the key's line) on the first unknown
// key or bad value.
bool controllerConfigFromSection(const ScenarioSection& section, ControllerConfig& config, std::string& error);

// nullptr and the message in `error` when the section is not a valid controller. The device
// takes its time from the bus it is plugged into; `clock` is the one that bus runs on.
std::shared_ptr<VirtualDevice> makeControllerFromSection(const ScenarioSection& section, platform::Clock& clock,
                                                         std::string& error);

}  // namespace sim
