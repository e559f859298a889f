#pragma once
// The operator's check windows (drawing, TKP pen, home key) as their runners open them: one
// call of the UI port, modal, that leaves its result in the check's record.
#include <cstdint>
#include <string_view>

namespace station {

enum class CheckWindow : std::uint8_t { Drawing, Tkp, HomeKey };

// As standard error names the window in the headless station ("window: NAME").
constexpr std::string_view checkWindowName(CheckWindow w) {
    switch (w) {
        case CheckWindow::Drawing:
            return "drawing";
        case CheckWindow::Tkp:
            return "tkp";
        case CheckWindow::HomeKey:
            return "homekey";
    }
    return "window";
}

// What a window gets beyond the check's context (links, recipe, clock, record).
struct CheckWindowRequest {
    CheckWindow which = CheckWindow::Drawing;
    // The pen's coordinate ranges: the pen query's, or the recipe's PEN_QUERY_WIDTH and
    // PEN_QUERY_HEIGHT when PEN_QUERY_USE_INI says so.
    std::uint32_t penMaxX = 0;
    std::uint32_t penMaxY = 0;
    // The pen answers with the custom pen report (connected, and the report type was accepted):
    // only then does the drawing window read, show and scale the pen.
    bool customPenReport = false;
};

}  // namespace station
