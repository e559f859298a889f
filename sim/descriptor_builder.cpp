#include "sim/descriptor_builder.h"

namespace sim {
namespace {

void item(std::vector<std::uint8_t>& d, std::uint8_t prefix, std::uint32_t value) {
    if (value <= 0xFF) {
        d.push_back(static_cast<std::uint8_t>(prefix | 1));
        d.push_back(static_cast<std::uint8_t>(value));
    } else if (value <= 0xFFFF) {
        d.push_back(static_cast<std::uint8_t>(prefix | 2));
        d.push_back(static_cast<std::uint8_t>(value));
        d.push_back(static_cast<std::uint8_t>(value >> 8));
    } else {
        d.push_back(static_cast<std::uint8_t>(prefix | 3));
        for (int i = 0; i < 4; ++i) d.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

std::vector<std::uint8_t> buildVendorDescriptor(const std::vector<CollectionSpec>& collections) {
    std::vector<std::uint8_t> d;
    for (const CollectionSpec& c : collections) {
        item(d, 0x04, c.usagePage);  // Usage Page
        item(d, 0x08, c.usage);      // Usage
        item(d, 0xA0, 1);            // Collection (Application)
        item(d, 0x14, 0);            // Logical Minimum 0
        item(d, 0x24, 0xFF);         // Logical Maximum 255
        item(d, 0x74, 8);            // Report Size 8
        for (const ReportSpec& r : c.reports) {
            if (r.id != 0) item(d, 0x84, r.id);                // Report ID
            item(d, 0x08, 1);                                  // Usage 1 (vendor data)
            item(d, 0x94, r.length > 0 ? r.length - 1u : 0u);  // Report Count
            const std::uint8_t main = r.kind == ReportSpec::Input ? 0x80 : r.kind == ReportSpec::Output ? 0x90 : 0xB0;
            item(d, main, 0x02);  // Data, Variable, Absolute
        }
        d.push_back(0xC0);  // End Collection
    }
    return d;
}

}  // namespace sim
