// Scenario files are written by people and read by the simulator: any text must give either
// devices or one error line, never a crash.
#include "sim/scenario.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "sim/virtual_bus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::VirtualClock clock;
    sim::VirtualBus bus(clock);
    std::string error;
    (void)sim::loadScenario(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz", bus, clock, error);
    return 0;
}
