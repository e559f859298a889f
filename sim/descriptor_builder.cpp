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

// A logical bound, which the host reads as signed: the shortest form that keeps it positive.
void bound(std::vector<std::uint8_t>& d, std::uint8_t prefix, std::uint32_t value) {
    const int size = value <= 0x7F ? 1 : value <= 0x7FFF ? 2 : 4;
    d.push_back(static_cast<std::uint8_t>(prefix | (size == 4 ? 3 : size)));
    for (int i = 0; i < size; ++i) d.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
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

std::vector<std::uint8_t> buildDigitizerDescriptor(std::uint8_t reportId, std::size_t slots, std::uint16_t maxX,
                                                   std::uint16_t maxY) {
    std::vector<std::uint8_t> d;
    item(d, 0x04, 0x0D);  // Usage Page (Digitizer)
    item(d, 0x08, 0x04);  // Usage (Touch Screen)
    item(d, 0xA0, 1);     // Collection (Application)
    item(d, 0x84, reportId);
    for (std::size_t s = 0; s < slots; ++s) {
        item(d, 0x04, 0x0D);
        item(d, 0x08, 0x22);  // Usage (Finger)
        item(d, 0xA0, 2);     // Collection (Logical)
        item(d, 0x08, 0x42);  // Tip Switch
        item(d, 0x08, 0x32);  // In Range
        item(d, 0x08, 0x47);  // Confidence
        item(d, 0x14, 0);
        bound(d, 0x24, 1);
        item(d, 0x74, 1);
        item(d, 0x94, 3);
        item(d, 0x80, 0x02);  // Input (Data, Variable, Absolute)
        item(d, 0x94, 5);
        item(d, 0x80, 0x03);  // Input (Constant): padding
        item(d, 0x08, 0x51);  // Contact Identifier
        bound(d, 0x24, 0x7FFF);
        item(d, 0x74, 16);
        item(d, 0x94, 1);
        item(d, 0x80, 0x02);
        item(d, 0x04, 0x01);  // Usage Page (Generic Desktop)
        item(d, 0x08, 0x30);  // X
        bound(d, 0x24, maxX);
        item(d, 0x80, 0x02);
        item(d, 0x08, 0x31);  // Y
        bound(d, 0x24, maxY);
        item(d, 0x80, 0x02);
        d.push_back(0xC0);
    }
    item(d, 0x04, 0x0D);
    item(d, 0x08, 0x54);  // Contact Count
    bound(d, 0x24, 0x7F);
    item(d, 0x74, 8);
    item(d, 0x94, 1);
    item(d, 0x80, 0x02);
    item(d, 0x08, 0x56);  // Scan Time
    bound(d, 0x24, 0xFFFF);
    item(d, 0x74, 16);
    item(d, 0x80, 0x02);
    d.push_back(0xC0);
    return d;
}

}  // namespace sim
