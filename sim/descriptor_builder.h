#pragma once
// Writes the report descriptors of simulated devices: vendor-defined application collections
// whose reports are plain byte arrays, which is how the controller's maintenance collections
// look to the host.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct ReportSpec {
    enum Kind : std::uint8_t { Input, Output, Feature } kind = Feature;
    std::uint8_t id = 0;       // 0 only on an unnumbered interface
    std::uint16_t length = 0;  // report length including the id byte
};

struct CollectionSpec {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::vector<ReportSpec> reports;
};

// One descriptor holding every collection in order. Byte arrays of `length - 1` bytes each.
std::vector<std::uint8_t> buildVendorDescriptor(const std::vector<CollectionSpec>& collections);

// A touch screen of the digitizer page (usage page 0x0D, usage 4), as the system's driver
// offers it: one input report `reportId` of `slots` finger collections, each a flags byte (tip,
// in range, confidence, five bits of padding), a 16-bit contact id, X (0..maxX) and Y
// (0..maxY), 16 bits each; then the contact count (8 bits) and the scan time (16 bits).
std::vector<std::uint8_t> buildDigitizerDescriptor(std::uint8_t reportId, std::size_t slots, std::uint16_t maxX,
                                                   std::uint16_t maxY);

}  // namespace sim
