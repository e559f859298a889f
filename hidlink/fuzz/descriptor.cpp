// Report descriptors come from whatever is plugged into the station PC.
#include "hidlink/descriptor.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = hidlink::parseReportDescriptor(std::span<const std::uint8_t>(data, size));
    if (!parsed) return 0;
    // What callers index with the result must hold together.
    for (const auto& c : parsed->collections) {
        for (const auto& cap : c.valueCaps) {
            const std::uint64_t end = std::uint64_t{cap.bitOffset} + std::uint64_t{cap.bitSize} * cap.reportCount;
            if (end > std::uint64_t{hidlink::kMaxReportBytes} * 8) __builtin_trap();
        }
        for (std::uint32_t len : {c.inputReportLength, c.outputReportLength, c.featureReportLength})
            if (len > hidlink::kMaxReportBytes + 1) __builtin_trap();
    }
    return 0;
}
