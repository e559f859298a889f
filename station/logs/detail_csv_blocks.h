#pragma once
// The building blocks of the detail CSV: printf-style text appended without a fixed buffer, the
// 46 x 72 matrix blocks of measured values and the judgement grids with their legend.
#include <cstdint>
#include <string>

#include "controllerlink/sensor_grid.h"

namespace station {

// Appends printf-formatted text; the text is sized by the data, so an S/N of any length is kept.
void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "notes,*:don't care,_: OK,+:NG" and a blank line.
inline constexpr const char* kJudgementLegend = "notes,*:don't care,_: OK,+:NG\n\n";

// The title as given (it carries its own line end), the ",X0".. ",X71" header, then 46 lines
// "Y<n>" of 72 cells: ",%.2f" inside the controller's active lines, ",0" outside them.
void appendMatrix(std::string& out, const std::string& title, const controllerlink::Grid& values, std::uint32_t txCount,
                  std::uint32_t rxCount);

// A judgement grid over the active lines only: the ",X<n>" header, then per line "Y<n>" and a
// ",+" (NG) or ",_" cell per column, then a blank line. `ng(t, r)` decides a cell.
template <typename IsNg>
void appendJudgementGrid(std::string& out, const char* title, std::uint32_t txCount, std::uint32_t rxCount, IsNg ng) {
    out += title;
    for (std::uint32_t r = 0; r < rxCount; ++r) appendf(out, ",X%u", r);
    out += '\n';
    for (std::uint32_t t = 0; t < txCount; ++t) {
        appendf(out, "Y%u", t);
        for (std::uint32_t r = 0; r < rxCount; ++r) out += ng(t, r) ? ",+" : ",_";
        out += '\n';
    }
    out += '\n';
}

}  // namespace station
