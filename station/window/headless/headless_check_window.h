#pragma once
// The operator's check windows without a widget: the window's logic runs on the headless
// station's loop, its readers' reports taken from a queue, its tick on the station's clock, its
// keys from standard input. The snapshots are rendered off-screen by the function the program
// hands in (the window's own painting code).
#include <functional>
#include <string>
#include <string_view>

#include "controllerlink/raw_input.h"
#include "hidlink/queued_reports.h"
#include "station/checks/logic/check_window.h"
#include "station/checks/logic/drawing_check.h"

namespace station {

// Writes the drawing window's ink layer as a PNG file; false with the reason when it cannot.
using DrawingSnapshotWriter =
    std::function<bool(const checks::DrawingCheck& check, const std::string& path, std::string& why)>;

// The headless station's virtual screen: what the drawing window covers.
inline constexpr checks::Surface kHeadlessScreen{0, 0, 1920, 1080};

// The key a `key NAME` line names (the names of kWindowKeys, in the same order).
checks::CheckKey checkKeyNamed(std::string_view name);

// The drawing window's instruction as one line: its line breaks shown as " / ", the blank lines
// that place it on the screen left out.
std::string drawingInstructionLine(const checks::DrawingCheck& window);

// Hands every report the readers have queued to the window, each followed by its paint (a
// window closes at the paint after its finish). The digitizer's reports, decoded by `raw`, go
// to the window while it takes raw input; after that they are dropped.
void deliverQueuedReports(hidlink::QueuedReports& reports, checks::CheckWindowLogic& window,
                          const controllerlink::RawInputReader* raw = nullptr);

// What the drawing window asks of the headless station: its status text goes to the prompt
// pane, a snapshot is written into `folder` by `writer` (or its loss said on stderr).
class HeadlessWindowHost final : public checks::CheckWindowHost {
public:
    HeadlessWindowHost(std::function<void(std::string_view)> prompt, std::function<void(std::string_view)> errorLine,
                       std::string folder, DrawingSnapshotWriter writer)
        : prompt_(std::move(prompt)),
          errorLine_(std::move(errorLine)),
          folder_(std::move(folder)),
          writer_(std::move(writer)) {}

    // The window whose ink a snapshot shows; set once it exists.
    void attach(const checks::DrawingCheck& window) { window_ = &window; }

    void setStatus(std::string_view text) override { prompt_(text); }
    void saveSnapshot(std::string_view fileName) override;

private:
    std::function<void(std::string_view)> prompt_;
    std::function<void(std::string_view)> errorLine_;
    std::string folder_;
    DrawingSnapshotWriter writer_;
    const checks::DrawingCheck* window_ = nullptr;
};

}  // namespace station
