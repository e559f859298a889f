#pragma once
// The device models a scenario's `model = ...` key can name. A factory sees its section without
// the transport keys the loader handles itself; it rejects any key it does not know. Its error
// starts with the line number ("12: unknown key 'x'") so the loader can name file and line.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sim/scenario.h"
#include "sim/virtual_device.h"

namespace sim {

using ModelFactory = std::shared_ptr<VirtualDevice> (*)(const ScenarioSection& section, platform::Clock& clock,
                                                        std::string& error);

struct ScenarioModel {
    std::string_view name;
    ModelFactory make;
};

std::span<const ScenarioModel> scenarioModels();
const ScenarioModel* findScenarioModel(std::string_view name);

// `model = table`: a TableDevice with the interfaces, collections and fixed answers the section
// lists (examples/sim/README.md).
std::shared_ptr<VirtualDevice> makeTableFromSection(const ScenarioSection& section, platform::Clock& clock,
                                                    std::string& error);

// What vorlick-sim serves without a scenario: one healthy R6 controller on VID_PRIMARY.
std::shared_ptr<VirtualDevice> makeDefaultController(platform::Clock& clock);

// Scenario values: a number in decimal or 0x hex, at most `max`; hex bytes ("02 01 0A" or "02010A").
bool parseScenarioNumber(std::string_view text, std::uint64_t max, std::uint64_t& out);
bool parseHexBytes(std::string_view text, std::vector<std::uint8_t>& out);

}  // namespace sim
