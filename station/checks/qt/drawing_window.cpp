#include "station/checks/qt/drawing_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <string>

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

DrawingWindow::DrawingWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("drawingCheck"));
    setWindowTitle(QStringLiteral("Drawing check"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    // Every pixel comes from the composed frame: nothing is erased first, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &DrawingWindow::tick);
}

DrawingWindow::~DrawingWindow() {
    timer_.stop();
    if (check_) check_->close();
}

Surface DrawingWindow::surface() const {
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0, 1024, 768};
    const QSize size = screen->geometry().size();
    return {0, 0, size.width(), size.height()};
}

void DrawingWindow::start(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers,
                          platform::Clock& clock) {
    clock_ = &clock;
    CheckWindowHost& host = *this;
    check_ = std::make_unique<DrawingCheck>(inputs, carry, readers, host, clock);
    const Surface& s = inputs.surface;
    setGeometry(s.left, s.top, s.width, s.height);
    painter_.compose(*check_, frame_);
    showFullScreen();
    raise();
    activateWindow();
    check_->open();
    // A touch reader that could not start ends the window at once.
    present(true);
    armTimer();
}

void DrawingWindow::run(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers,
                        platform::Clock& clock) {
    start(inputs, carry, readers, clock);
    if (!check_->closed() && !finishing_) exec();
    if (check_) check_->close();
}

void DrawingWindow::report(ReaderCollection from, const std::vector<std::uint8_t>& bytes) {
    if (!check_ || check_->closed()) return;
    check_->onReport(from, bytes);
    present(false);
}

void DrawingWindow::rawInput(const controllerlink::RawContactRecord& record,
                             const controllerlink::RawTouchRanges& ranges) {
    if (!check_ || check_->closed() || !check_->rawInputTaken()) return;
    check_->onRawInput(record, ranges);
    present(false);
}

void DrawingWindow::tick() {
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

void DrawingWindow::armTimer() {
    if (!check_ || clock_ == nullptr) return;
    const std::optional<std::uint64_t> due = check_->timerDueAt();
    if (!due) return;
    const std::uint64_t now = clock_->monotonicMs();
    timer_.start(static_cast<int>(*due > now ? std::min<std::uint64_t>(*due - now, 1000) : 0));
}

void DrawingWindow::present(bool now) {
    if (isVisible()) {
        if (now)
            repaint();
        else
            update();
        return;
    }
    // Not on a screen: the frame counts as painted all the same.
    afterPaint();
}

void DrawingWindow::paintEvent(QPaintEvent* /*event*/) {
    if (!check_) return;
    painter_.compose(*check_, frame_);
    QPainter p(this);
    p.drawImage(0, 0, frame_);
    p.end();
    afterPaint();
}

void DrawingWindow::afterPaint() {
    if (!check_) return;
    check_->painted();
    if (frameShown_) frameShown_();
    finishIfClosed();
}

void DrawingWindow::finishIfClosed() {
    if (!check_ || !check_->closed() || finishing_) return;
    finishing_ = true;
    timer_.stop();
    // Leaves the modal loop once the handler that closed it has returned.
    QMetaObject::invokeMethod(
        this, [this] { QDialog::done(QDialog::Rejected); }, Qt::QueuedConnection);
}

void DrawingWindow::keyPressEvent(QKeyEvent* event) {
    const std::optional<CheckKey> key = checkKeyOf(*event);
    // Enter closes no check window; the toolkit's own Esc and Enter handling is not used.
    if (!key || !check_ || check_->closed()) {
        event->accept();
        return;
    }
    check_->onKey(*key);
    event->accept();
    present(false);
    finishIfClosed();
}

void DrawingWindow::reject() {
    if (check_) check_->close();
    timer_.stop();
    finishing_ = true;
    QDialog::reject();
}

void DrawingWindow::setStatus(std::string_view text) {
    if (status_) status_(text);
}

void DrawingWindow::requestRepaint() {
    if (isVisible()) update();
}

void DrawingWindow::saveSnapshot(std::string_view fileName) {
    if (!check_) return;
    painter_.syncInk(*check_);
    std::string why;
    // A snapshot that cannot be written is ignored.
    (void)savePng(painter_.inkLayer(), std::string(fileName), why);
}

}  // namespace station::checks
