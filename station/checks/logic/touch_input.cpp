#include "station/checks/logic/touch_input.h"

#include <algorithm>

namespace station::checks {
namespace {

std::uint16_t le16(std::span<const std::uint8_t> r, std::size_t at) {
    return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8));
}

}  // namespace

std::size_t ContactFormat::slotBytes() const {
    const bool sizes = (flags & 1) != 0;
    const bool extras = (flags & 4) != 0;
    return 1 + 2 + (sizes ? 4 : 0) + 2 + (extras ? 2 : 0) + 2 + (extras ? 2 : 0);
}

bool FrameAssembler::begin(std::uint32_t count, std::uint32_t scanTime) {
    if (count != 0) {
        building_ = TouchFrame{};
        building_.scanTime = scanTime;
        building_.count = count;
        received_ = 0;
        open_ = true;
        return true;
    }
    // A follow-on of a frame that has ended, or of another scan, is stale.
    return open_ && scanTime == building_.scanTime;
}

void FrameAssembler::append(const ContactRecord& contact) {
    if (received_ < kFrameContacts) building_.contacts[received_] = contact;
    ++received_;
}

std::optional<TouchFrame> FrameAssembler::completed() {
    if (!open_ || received_ < building_.count) return std::nullopt;
    open_ = false;
    return building_;
}

std::optional<TouchFrame> FrameAssembler::addMaintenanceReport(std::span<const std::uint8_t> report,
                                                               const ContactFormat& format) {
    if (report.size() < format.reportBytes()) return std::nullopt;
    const std::size_t slotBytes = format.slotBytes();
    const std::size_t scanAt = 3 + format.slotsPerReport * slotBytes;
    if (!begin(report[2], le16(report, scanAt))) return std::nullopt;
    const std::uint32_t remaining = building_.count - std::min(received_, building_.count);
    const std::size_t slots = std::min<std::size_t>(format.slotsPerReport, remaining);
    for (std::size_t s = 0; s < slots; ++s) {
        std::size_t at = 3 + s * slotBytes;
        ContactRecord c;
        c.status = report[at];
        c.id = le16(report, at + 1);
        at += 3;
        if ((format.flags & 1) != 0) {
            c.sizeX = le16(report, at);
            c.sizeY = le16(report, at + 2);
            at += 4;
        }
        c.x = le16(report, at);
        at += 2;
        if ((format.flags & 4) != 0) {
            c.extraX = le16(report, at);
            at += 2;
        }
        c.y = le16(report, at);
        at += 2;
        if ((format.flags & 4) != 0) c.extraY = le16(report, at);
        append(c);
    }
    return completed();
}

std::optional<TouchFrame> FrameAssembler::addRawRecord(const controllerlink::RawContactRecord& record) {
    if (!begin(record.contactCount, record.scanTime)) return std::nullopt;
    const std::uint32_t remaining = building_.count - std::min(received_, building_.count);
    const std::size_t slots = std::min<std::size_t>(record.contacts.size(), remaining);
    for (std::size_t s = 0; s < slots; ++s) {
        const controllerlink::RawContact& r = record.contacts[s];
        ContactRecord c;
        c.status = r.flags;
        c.id = r.contactId;
        c.x = r.x;
        c.y = r.y;
        append(c);
    }
    return completed();
}

std::optional<PenSample> decodePenSample(std::span<const std::uint8_t> report) {
    if (report.size() < 8 || report[0] != 11) return std::nullopt;
    PenSample p;
    p.reportId = report[0];
    p.status = report[1];
    p.x = le16(report, 2);
    p.y = le16(report, 4);
    p.pressure = le16(report, 6);
    return p;
}

}  // namespace station::checks
