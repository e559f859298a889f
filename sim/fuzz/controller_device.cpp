// Host requests of any length and content against the virtual controller: the socket server
// hands a client's reports straight to the device, so none may read or write out of bounds.
// "Enter UBL." ([2, 2]) hands the rest of the input to the F11 or F09 bootloader.
#include "sim/controller_device.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    sim::ControllerConfig config;
    config.generation = (data[0] & 2) != 0 ? sim::Generation::R5 : sim::Generation::R6;
    const bool shortFrames = config.generation == sim::Generation::R5 && (data[0] & 4) != 0;
    config.touchUsage = (data[0] & 1) != 0 ? 0x0B : shortFrames ? 0x01 : 0x11;
    using What = sim::BootloaderFault::What;
    config.bootloader.faults = {{What::BusyForever, true, 1, 0, 0, 1},
                                {What::BreakEcho, true, 2, 0, 0, 0},
                                {What::Status, true, 3, 0, 0x0D, 1},
                                {What::Unplug, false, 0, 0x81, 0, 1}};
    config.panel.openRx = {3};
    config.panel.shorts = {{4, 5}};
    config.panel.pinFaults = {{true, 71, false}, {false, 47, true}};
    sim::ControllerDevice device(config);
    std::size_t i = 1;
    // Each operation: flags (bit 0 get, bit 1 pen interface), a 16-bit length, then the bytes.
    while (i + 3 <= size) {
        const std::uint8_t flags = data[i];
        std::size_t len = static_cast<std::size_t>(data[i + 1] | data[i + 2] << 8) % 1100;
        i += 3;
        if (len == 0) len = 1;
        std::vector<std::uint8_t> report(len, 0);
        for (std::size_t k = 0; k < len && i < size; ++k, ++i) report[k] = data[i];
        const std::size_t iface = (flags & 2) != 0 ? 1 : 0;
        if ((flags & 1) != 0) {
            const long n = device.getFeature(iface, report);
            if (n > static_cast<long>(report.size())) __builtin_trap();
        } else {
            device.setFeature(iface, report);
        }
    }
    return 0;
}
