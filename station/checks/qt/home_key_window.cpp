#include "station/checks/qt/home_key_window.h"

namespace station::checks {

HomeKeyWindow::HomeKeyWindow(QWidget* parent)
    : CheckWindowWidget(parent, QStringLiteral("homeKeyCheck"), QStringLiteral("Home key check")) {}

void HomeKeyWindow::start(const HomeKeyInputs& inputs, InputReaders& readers, platform::Clock& clock) {
    auto check = std::make_unique<HomeKeyCheck>(inputs, readers, host(), clock);
    check_ = check.get();
    // The controller is switched to its home key reports before the window shows.
    begin(std::move(check), clock, inputs.surface, OpenCheck::BeforeShowing);
}

void HomeKeyWindow::compose(QImage& frame) {
    if (check_ != nullptr) painter_.compose(*check_, frame);
}

}  // namespace station::checks
