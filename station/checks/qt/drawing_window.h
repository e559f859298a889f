#pragma once
// The drawing check on the screen: the frames of the one drawing painter, and the ink layer
// saved as the check's snapshots.
#include <QImage>
#include <memory>
#include <string_view>

#include "platform/clock.h"
#include "station/checks/logic/drawing_check.h"
#include "station/checks/qt/check_window_widget.h"
#include "station/checks/qt/drawing_painter.h"

namespace station::checks {

class DrawingWindow final : public CheckWindowWidget {
    Q_OBJECT
public:
    explicit DrawingWindow(QWidget* parent = nullptr);

    // Builds the check on `readers` (whose reports come back through report()), opens it and
    // shows the window.
    void start(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers, platform::Clock& clock);

    const DrawingCheck* check() const { return check_; }

private:
    void compose(QImage& frame) override;
    void saveSnapshot(std::string_view fileName) override;

    DrawingCheck* check_ = nullptr;  // owned by the base
    DrawingPainter painter_;
};

}  // namespace station::checks
