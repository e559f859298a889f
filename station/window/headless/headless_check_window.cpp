#include "station/window/headless/headless_check_window.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "station/checks/logic/drawing_scene.h"
#include "station/checks/logic/link_readers.h"
#include "station/window/headless/headless_command.h"

namespace station {

checks::CheckKey checkKeyNamed(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kWindowKeys); ++i)
        if (kWindowKeys[i] == name) return static_cast<checks::CheckKey>(i);
    return checks::CheckKey::Enter;  // the parser lets no other name through; Enter does nothing
}

std::string drawingInstructionLine(const checks::DrawingCheck& window) {
    const std::string text = checks::drawingScene(window).instruction.text;
    std::string line;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        if (end > from) {
            if (!line.empty()) line += " / ";
            line.append(text, from, end - from);
        }
        from = end + 1;
    }
    return line;
}

void deliverQueuedReports(hidlink::QueuedReports& reports, checks::CheckWindowLogic& window,
                          const controllerlink::RawInputReader* raw) {
    hidlink::QueuedReport report;
    while (!window.closed() && reports.take(report, 0)) {
        if (report.key == controllerlink::RAW_INPUT_KEY) {
            controllerlink::RawContactRecord record;
            controllerlink::RawTouchRanges ranges;
            if (raw == nullptr || !window.rawInputTaken() || !raw->parse(report.bytes, record, ranges)) continue;
            window.onRawInput(record, ranges);
        } else {
            window.onReport(checks::LinkReaders::collection(report.key), report.bytes);
        }
        window.painted();
    }
}

void HeadlessWindowHost::saveSnapshot(std::string_view fileName) {
    const std::string path = folder_ + "/" + std::string(fileName);
    std::string why = "this station renders no snapshots";
    if (window_ != nullptr && writer_ && writer_(*window_, path, why)) return;
    // The sequence reports the missing file as a lost record when it moves the snapshots.
    errorLine_("snapshot " + std::string(fileName) + " not written: " + why);
}

}  // namespace station
