#include "station/checks/qt/drawing_window.h"

#include <string>

namespace station::checks {

DrawingWindow::DrawingWindow(QWidget* parent)
    : CheckWindowWidget(parent, QStringLiteral("drawingCheck"), QStringLiteral("Drawing check")) {}

void DrawingWindow::start(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers,
                          platform::Clock& clock) {
    auto check = std::make_unique<DrawingCheck>(inputs, carry, readers, host(), clock);
    check_ = check.get();
    begin(std::move(check), clock, inputs.surface, OpenCheck::AfterShowing);
}

void DrawingWindow::compose(QImage& frame) {
    if (check_ != nullptr) painter_.compose(*check_, frame);
}

void DrawingWindow::saveSnapshot(std::string_view fileName) {
    if (check_ == nullptr) return;
    painter_.syncInk(*check_);
    std::string why;
    // A snapshot that cannot be written is ignored.
    (void)savePng(painter_.inkLayer(), std::string(fileName), why);
}

}  // namespace station::checks
