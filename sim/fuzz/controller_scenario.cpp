// Scenario sections of any content: every line "key = value" goes to the controller's factory.
#include "sim/controller_scenario.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    sim::ScenarioSection section;
    section.name = "device";
    int line = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string row = text.substr(start, end - start);
        const std::size_t eq = row.find('=');
        if (eq != std::string::npos) section.entries.push_back({row.substr(0, eq), row.substr(eq + 1), ++line});
        start = end + 1;
    }
    platform::VirtualClock clock;
    std::string error;
    auto device = sim::makeControllerFromSection(section, clock, error);
    // A refusal names the line of the key at fault.
    if (!device && (error.empty() || error.front() < '1' || error.front() > '9')) __builtin_trap();
    return 0;
}
