#pragma once
// Synthetic maintenance touch reports and pen reports, laid out as the controller sends them.
#include <cstdint>
#include <vector>

#include "station/checks/logic/touch_input.h"

namespace station::checks {

struct Finger {
    std::uint16_t id = 1;
    std::uint16_t x = 0, y = 0;
    std::uint8_t status = 7;
};

inline void put16(std::vector<std::uint8_t>& r, std::size_t at, std::uint16_t v) {
    r[at] = static_cast<std::uint8_t>(v & 0xFF);
    r[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The reports of one frame: the count in the first, the scan time after the slots of each.
inline std::vector<std::vector<std::uint8_t>> touchReports(const std::vector<Finger>& fingers, const ContactFormat& f,
                                                           std::uint16_t scanTime, std::uint8_t count = 0xFF) {
    std::vector<std::vector<std::uint8_t>> out;
    const std::size_t per = f.slotsPerReport;
    for (std::size_t first = 0; first < fingers.size() || first == 0; first += per) {
        std::vector<std::uint8_t> r(f.reportBytes(), 0);
        r[0] = 3;
        r[2] = first == 0 ? (count == 0xFF ? static_cast<std::uint8_t>(fingers.size()) : count) : 0;
        for (std::size_t k = 0; k < per && first + k < fingers.size(); ++k) {
            const Finger& g = fingers[first + k];
            std::size_t at = 3 + k * f.slotBytes();
            r[at] = g.status;
            put16(r, at + 1, g.id);
            at += 3;
            if ((f.flags & 1) != 0) {
                put16(r, at, 0x20);
                put16(r, at + 2, 0x21);
                at += 4;
            }
            put16(r, at, g.x);
            at += (f.flags & 4) != 0 ? 4 : 2;
            put16(r, at, g.y);
        }
        put16(r, 3 + per * f.slotBytes(), scanTime);
        out.push_back(std::move(r));
        if (per == 0) break;
    }
    return out;
}

inline std::vector<std::uint8_t> penReport(std::uint8_t status, std::uint16_t x, std::uint16_t y,
                                           std::uint16_t pressure = 0) {
    std::vector<std::uint8_t> r(8, 0);
    r[0] = 11;
    r[1] = status;
    put16(r, 2, x);
    put16(r, 4, y);
    put16(r, 6, pressure);
    return r;
}

}  // namespace station::checks
