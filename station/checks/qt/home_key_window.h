#pragma once
// The home key check on the screen: the frames of the home key painter.
#include <QImage>
#include <memory>

#include "platform/clock.h"
#include "station/checks/logic/home_key_check.h"
#include "station/checks/qt/check_window_widget.h"
#include "station/checks/qt/home_key_painter.h"

namespace station::checks {

class HomeKeyWindow final : public CheckWindowWidget {
    Q_OBJECT
public:
    explicit HomeKeyWindow(QWidget* parent = nullptr);

    // Builds the check on `readers` (whose reports come back through report()), opens it and
    // shows the window.
    void start(const HomeKeyInputs& inputs, InputReaders& readers, platform::Clock& clock);

    const HomeKeyCheck* check() const { return check_; }

private:
    void compose(QImage& frame) override;

    HomeKeyCheck* check_ = nullptr;  // owned by the base
    HomeKeyPainter painter_;
};

}  // namespace station::checks
