#include "controllerlink/raw_input.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace controllerlink {
namespace {

constexpr std::uint16_t kDigitizerPage = 0x0D;
constexpr std::uint16_t kDesktopPage = 0x01;
constexpr std::uint16_t kTouchScreen = 0x04;

struct Field {
    std::uint32_t bitOffset = 0;
    std::uint32_t bitSize = 0;
};

bool isVariable(const hidlink::ValueCap& c) { return (c.mainFlags & 2u) != 0; }

// Where usage `usage` of `page` sits in `c`, when it is one of its fields.
std::optional<Field> fieldOf(const hidlink::ValueCap& c, std::uint16_t page, std::uint16_t usage) {
    if (c.kind != hidlink::ReportKind::Input || c.usagePage != page || c.isConstant() || c.reportCount == 0)
        return std::nullopt;
    std::uint32_t index = 0;
    if (!c.usageList.empty()) {
        std::size_t i = 0;
        while (i < c.usageList.size() && c.usageList[i] != usage) ++i;
        if (i == c.usageList.size()) return std::nullopt;
        index = static_cast<std::uint32_t>(i);
    } else if (usage >= c.usage && usage <= c.usageMax) {
        index = usage - c.usage;
    } else {
        return std::nullopt;
    }
    // An array item lists pressed usages, not values: not a field of this kind.
    if (!isVariable(c) && c.usageMax != c.usage) return std::nullopt;
    if (index >= c.reportCount) return std::nullopt;
    return Field{c.bitOffset + index * c.bitSize, c.bitSize};
}

// The first field of `usage` in report `id`, in link collection `link` when given.
std::optional<Field> find(const hidlink::TopCollection& caps, std::uint8_t id, std::uint16_t page, std::uint16_t usage,
                          std::optional<std::uint16_t> link = std::nullopt) {
    for (const hidlink::ValueCap& c : caps.valueCaps) {
        if (c.reportId != id || (link && c.linkCollection != *link)) continue;
        if (auto f = fieldOf(c, page, usage)) return f;
    }
    return std::nullopt;
}

// The field's bits as an unsigned value (at most 32 bits); 0 past the end of the report.
std::uint32_t read(std::span<const std::uint8_t> report, std::optional<Field> f) {
    if (!f || f->bitSize == 0) return 0;
    const std::uint32_t bits = std::min<std::uint32_t>(f->bitSize, 32);
    // Data starts after the report id byte.
    const std::uint64_t first = 8 + static_cast<std::uint64_t>(f->bitOffset);
    if (first + bits > static_cast<std::uint64_t>(report.size()) * 8) return 0;
    std::uint32_t v = 0;
    for (std::uint32_t b = 0; b < bits; ++b) {
        const std::uint64_t at = first + b;
        if ((report[at / 8] >> (at % 8)) & 1u) v |= 1u << b;
    }
    return v;
}

}  // namespace

bool parseRawInput(const hidlink::TopCollection& caps, std::span<const std::uint8_t> report, RawContactRecord& record,
                   RawTouchRanges& ranges) {
    if (caps.usagePage != kDigitizerPage || caps.usage != kTouchScreen || report.empty()) return false;
    record = RawContactRecord{};
    const std::uint8_t id = report[0];
    record.reportId = id;
    record.contactCount = static_cast<std::uint8_t>(read(report, find(caps, id, kDigitizerPage, 0x54)));
    record.scanTime = static_cast<std::uint16_t>(read(report, find(caps, id, kDigitizerPage, 0x56)));

    // One contact slot per collection holding an X of this report, in the descriptor's order.
    std::vector<std::uint16_t> slots;
    int rangesSeen = 0;
    for (const hidlink::ValueCap& c : caps.valueCaps) {
        if (c.reportId != id || c.kind != hidlink::ReportKind::Input || c.usagePage != kDesktopPage) continue;
        const bool x = fieldOf(c, kDesktopPage, 0x30).has_value();
        const bool y = fieldOf(c, kDesktopPage, 0x31).has_value();
        if (x && slots.size() < kRawContactSlots) slots.push_back(c.linkCollection);
        if ((x || y) && rangesSeen < 2) {
            // One item may carry X and Y together (usages 0x30 and 0x31 of one report count):
            // it gives both ranges. A maximum that does not fit 16 bits says nothing usable.
            rangesSeen += (x && y) ? 2 : 1;
            if (c.logicalMax > 0 && c.logicalMax <= 0xFFFF) {
                if (x) ranges.maxX = static_cast<std::uint16_t>(c.logicalMax);
                if (y) ranges.maxY = static_cast<std::uint16_t>(c.logicalMax);
            }
        }
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        RawContact& contact = record.contacts[i];
        const std::uint16_t link = slots[i];
        contact.contactId = static_cast<std::uint16_t>(read(report, find(caps, id, kDigitizerPage, 0x51, link)));
        contact.x = static_cast<std::uint16_t>(read(report, find(caps, id, kDesktopPage, 0x30, link)));
        contact.y = static_cast<std::uint16_t>(read(report, find(caps, id, kDesktopPage, 0x31, link)));
        if (read(report, find(caps, id, kDigitizerPage, 0x42, link)) != 0) contact.flags |= kContactTip;
        if (read(report, find(caps, id, kDigitizerPage, 0x32, link)) != 0) contact.flags |= kContactInRange;
        if (read(report, find(caps, id, kDigitizerPage, 0x47, link)) != 0) contact.flags |= kContactConfidence;
    }
    return true;
}

bool RawInputReader::start(const hidlink::CollectionIdentity& controller, hidlink::ReportSink& sink) {
    if (open_) return false;
    if (!table_.openInputCollection(controller.vendorId, controller.productId, kDigitizerPage, kTouchScreen,
                                    RAW_INPUT_KEY))
        return false;
    hidlink::DeviceInfo info;
    if (!table_.getCollectionInfo(RAW_INPUT_KEY, info) || !table_.startInputReader(RAW_INPUT_KEY, sink)) {
        table_.closeCollection(RAW_INPUT_KEY);
        return false;
    }
    caps_ = info.caps;
    open_ = true;
    return true;
}

void RawInputReader::stop() {
    if (!open_) return;
    open_ = false;
    table_.closeCollection(RAW_INPUT_KEY);
}

bool RawInputReader::parse(std::span<const std::uint8_t> report, RawContactRecord& record,
                           RawTouchRanges& ranges) const {
    return open_ && parseRawInput(caps_, report, record, ranges);
}

}  // namespace controllerlink
