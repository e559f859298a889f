#include "station/checks/qt/tkp_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "station/checks/logic/tkp_scene.h"
#include "station/checks/qt/drawing_window.h"
#include "station/checks/qt/tkp_painter.h"

namespace station::checks {

TkpWindow::TkpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("tkpCheck"));
    setWindowTitle(QStringLiteral("TKP Pen Check"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TkpWindow::tick);
}

TkpWindow::~TkpWindow() {
    timer_.stop();
    if (check_) check_->close();
}

Surface TkpWindow::surface() const {
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0, 1024, 768};
    const QSize size = screen->geometry().size();
    return {0, 0, size.width(), size.height()};
}

void TkpWindow::start(const TkpInputs& inputs, TkpDevice& device, InputReaders& readers, platform::Clock& clock) {
    clock_ = &clock;
    surface_ = surface();
    CheckWindowHost& host = *this;
    check_ =
        std::make_unique<TkpCheck>(inputs, device, dialog_ != nullptr ? dialog_ : &ownDialog_, readers, host, clock);
    setGeometry(surface_.left, surface_.top, surface_.width, surface_.height);
    compose();
    showFullScreen();
    raise();
    activateWindow();
    check_->open();
    present(true);
    armTimer();
}

void TkpWindow::run(const TkpInputs& inputs, TkpDevice& device, InputReaders& readers, platform::Clock& clock) {
    start(inputs, device, readers, clock);
    if (!check_->closed() && !finishing_) exec();
    if (check_) check_->close();
}

void TkpWindow::report(ReaderCollection from, const std::vector<std::uint8_t>& bytes) {
    if (!check_ || check_->closed()) return;
    check_->onReport(from, bytes);
    present(false);
}

void TkpWindow::rawInput(const controllerlink::RawContactRecord& record, const controllerlink::RawTouchRanges& ranges) {
    if (!check_ || check_->closed() || !check_->rawInputTaken()) return;
    check_->onRawInput(record, ranges);
    present(false);
}

void TkpWindow::tick() {
    if (!check_ || check_->closed()) return;
    if (!check_->timerFired()) {
        armTimer();
        return;
    }
    present(true);
    if (check_->closed()) return;
    check_->rearmTimer();
    armTimer();
}

void TkpWindow::armTimer() {
    if (!check_ || clock_ == nullptr) return;
    const std::optional<std::uint64_t> due = check_->timerDueAt();
    if (!due) return;
    const std::uint64_t now = clock_->monotonicMs();
    timer_.start(static_cast<int>(*due > now ? std::min<std::uint64_t>(*due - now, 1000) : 0));
}

void TkpWindow::compose() {
    if (check_) composeTkpFrame(tkpScene(*check_, surface_, check_->phaseElapsedMs()), surface_, frame_);
}

void TkpWindow::present(bool now) {
    if (isVisible()) {
        if (now)
            repaint();
        else
            update();
        return;
    }
    compose();
    afterPaint();
}

void TkpWindow::paintEvent(QPaintEvent* /*event*/) {
    if (!check_) return;
    compose();
    QPainter p(this);
    p.drawImage(0, 0, frame_);
    p.end();
    afterPaint();
}

void TkpWindow::afterPaint() {
    if (!check_) return;
    check_->painted();
    if (frameShown_) frameShown_();
    finishIfClosed();
}

void TkpWindow::finishIfClosed() {
    if (!check_ || !check_->closed() || finishing_) return;
    finishing_ = true;
    timer_.stop();
    QMetaObject::invokeMethod(
        this, [this] { QDialog::done(QDialog::Rejected); }, Qt::QueuedConnection);
}

void TkpWindow::keyPressEvent(QKeyEvent* event) {
    event->accept();
    const std::optional<CheckKey> key = checkKeyOf(*event);
    if (!key || !check_ || check_->closed()) return;
    check_->onKey(*key);
    present(false);
    finishIfClosed();
}

void TkpWindow::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !check_ || check_->closed()) return;
    const QPoint at = event->position().toPoint();
    if (const std::optional<CheckKey> key = tkpButtonAt(*check_, {at.x(), at.y()})) {
        check_->onKey(*key);
        present(false);
    }
}

void TkpWindow::reject() {
    if (check_) check_->close();
    timer_.stop();
    finishing_ = true;
    QDialog::reject();
}

void TkpWindow::setStatus(std::string_view text) {
    if (status_) status_(text);
}

void TkpWindow::requestRepaint() {
    if (isVisible()) update();
}

}  // namespace station::checks
