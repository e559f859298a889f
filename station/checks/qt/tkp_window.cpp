#include "station/checks/qt/tkp_window.h"

#include <QMouseEvent>

#include "station/checks/logic/tkp_scene.h"
#include "station/checks/qt/tkp_painter.h"

namespace station::checks {

TkpWindow::TkpWindow(QWidget* parent)
    : CheckWindowWidget(parent, QStringLiteral("tkpCheck"), QStringLiteral("TKP Pen Check")) {}

void TkpWindow::start(const TkpInputs& inputs, TkpDevice& device, InputReaders& readers, platform::Clock& clock) {
    surface_ = surface();
    auto check =
        std::make_unique<TkpCheck>(inputs, device, dialog_ != nullptr ? dialog_ : &ownDialog_, readers, host(), clock);
    check_ = check.get();
    begin(std::move(check), clock, surface_, OpenCheck::AfterShowing);
}

void TkpWindow::compose(QImage& frame) {
    if (check_ != nullptr) composeTkpFrame(tkpScene(*check_, surface_, check_->phaseElapsedMs()), surface_, frame);
}

void TkpWindow::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || check_ == nullptr || check_->closed()) return;
    const QPoint at = event->position().toPoint();
    if (const std::optional<CheckKey> key = tkpButtonAt(*check_, {at.x(), at.y()})) {
        check_->onKey(*key);
        present(false);
    }
}

}  // namespace station::checks
