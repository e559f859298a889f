#include "station/checks/qt/check_window_widget.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

namespace station::checks {

std::optional<CheckKey> checkKeyOf(const QKeyEvent& event) {
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return CheckKey::Enter;
        case Qt::Key_Escape:
            return CheckKey::Esc;
        case Qt::Key_Space:
            return CheckKey::Space;
        case Qt::Key_B:
            return CheckKey::B;
        case Qt::Key_C:
            return CheckKey::C;
        case Qt::Key_D:
            return CheckKey::D;
        case Qt::Key_G:
            return CheckKey::G;
        case Qt::Key_S:
            return CheckKey::S;
        case Qt::Key_Plus:
            return keypad ? std::optional(CheckKey::Plus) : std::nullopt;
        case Qt::Key_Minus:
            return keypad ? std::optional(CheckKey::Minus) : std::nullopt;
        default:
            return std::nullopt;
    }
}

CheckWindowWidget::CheckWindowWidget(QWidget* parent, const QString& objectName, const QString& title)
    : QDialog(parent) {
    setObjectName(objectName);
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    // Every pixel comes from the composed frame: nothing is erased first, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &CheckWindowWidget::tick);
}

CheckWindowWidget::~CheckWindowWidget() {
    timer_.stop();
    if (check_) check_->close();
}

Surface CheckWindowWidget::surface() const {
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0, 1024, 768};
    const QSize size = screen->geometry().size();
    return {0, 0, size.width(), size.height()};
}

void CheckWindowWidget::begin(std::unique_ptr<CheckWindowLogic> check, platform::Clock& clock, const Surface& area,
                              OpenCheck when) {
    clock_ = &clock;
    check_ = std::move(check);
    setGeometry(area.left, area.top, area.width, area.height);
    if (when == OpenCheck::BeforeShowing) check_->open();
    compose(frame_);
    showFullScreen();
    raise();
    activateWindow();
    if (when == OpenCheck::AfterShowing) check_->open();
    // A touch reader that could not start ends the window at once.
    present(true);
    armTimer();
}

void CheckWindowWidget::waitClosed() {
    if (!check_->closed() && !finishing_) exec();
    if (check_) check_->close();
}

void CheckWindowWidget::report(ReaderCollection from, const std::vector<std::uint8_t>& bytes) {
    if (!check_ || check_->closed()) return;
    check_->onReport(from, bytes);
    present(false);
}

void CheckWindowWidget::rawInput(const controllerlink::RawContactRecord& record,
                                 const controllerlink::RawTouchRanges& ranges) {
    if (!check_ || check_->closed() || !check_->rawInputTaken()) return;
    check_->onRawInput(record, ranges);
    present(false);
}

void CheckWindowWidget::tick() {
    if (!check_ || check_->closed()) return;
    if (!check_->timerFired()) {
        armTimer();  // early: the rest of the wait
        return;
    }
    present(true);
    if (check_->closed()) return;
    check_->rearmTimer();
    armTimer();
}

void CheckWindowWidget::armTimer() {
    if (!check_ || clock_ == nullptr) return;
    const std::optional<std::uint64_t> due = check_->timerDueAt();
    if (!due) return;
    const std::uint64_t now = clock_->monotonicMs();
    timer_.start(static_cast<int>(*due > now ? std::min<std::uint64_t>(*due - now, 1000) : 0));
}

void CheckWindowWidget::present(bool now) {
    if (isVisible()) {
        if (now)
            repaint();
        else
            update();
        return;
    }
    // Not on a screen: the frame counts as painted all the same.
    if (composesUnseen()) compose(frame_);
    afterPaint();
}

void CheckWindowWidget::paintEvent(QPaintEvent* /*event*/) {
    if (!check_) return;
    compose(frame_);
    QPainter p(this);
    p.drawImage(0, 0, frame_);
    p.end();
    afterPaint();
}

void CheckWindowWidget::afterPaint() {
    if (!check_) return;
    check_->painted();
    if (frameShown_) frameShown_();
    finishIfClosed();
}

void CheckWindowWidget::finishIfClosed() {
    if (!check_ || !check_->closed() || finishing_) return;
    finishing_ = true;
    timer_.stop();
    // Leaves the modal loop once the handler that closed it has returned.
    QMetaObject::invokeMethod(
        this, [this] { QDialog::done(QDialog::Rejected); }, Qt::QueuedConnection);
}

void CheckWindowWidget::keyPressEvent(QKeyEvent* event) {
    // Enter closes no check window; the toolkit's own Esc and Enter handling is not used.
    event->accept();
    const std::optional<CheckKey> key = checkKeyOf(*event);
    if (!key || !check_ || check_->closed()) return;
    check_->onKey(*key);
    present(false);
    finishIfClosed();
}

void CheckWindowWidget::reject() {
    if (check_) check_->close();
    timer_.stop();
    finishing_ = true;
    QDialog::reject();
}

void CheckWindowWidget::setStatus(std::string_view text) {
    if (status_) status_(text);
}

void CheckWindowWidget::requestRepaint() {
    if (isVisible()) update();
}

}  // namespace station::checks
