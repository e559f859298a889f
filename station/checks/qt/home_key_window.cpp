#include "station/checks/qt/home_key_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "station/checks/qt/drawing_window.h"

namespace station::checks {

HomeKeyWindow::HomeKeyWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("homeKeyCheck"));
    setWindowTitle(QStringLiteral("Home key check"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    // Every pixel comes from the composed frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &HomeKeyWindow::tick);
}

HomeKeyWindow::~HomeKeyWindow() {
    timer_.stop();
    if (check_) check_->close();
}

Surface HomeKeyWindow::surface() const {
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return {0, 0, 1024, 768};
    const QSize size = screen->geometry().size();
    return {0, 0, size.width(), size.height()};
}

void HomeKeyWindow::start(const HomeKeyInputs& inputs, InputReaders& readers, platform::Clock& clock) {
    clock_ = &clock;
    CheckWindowHost& host = *this;
    check_ = std::make_unique<HomeKeyCheck>(inputs, readers, host, clock);
    const Surface& s = inputs.surface;
    setGeometry(s.left, s.top, s.width, s.height);
    // The controller is switched to its home key reports before the window shows.
    check_->open();
    painter_.compose(*check_, frame_);
    showFullScreen();
    raise();
    activateWindow();
    present(true);
    armTimer();
}

void HomeKeyWindow::run(const HomeKeyInputs& inputs, InputReaders& readers, platform::Clock& clock) {
    start(inputs, readers, clock);
    if (!check_->closed() && !finishing_) exec();
    if (check_) check_->close();
}

void HomeKeyWindow::report(ReaderCollection from, const std::vector<std::uint8_t>& bytes) {
    if (!check_ || check_->closed()) return;
    check_->onReport(from, bytes);
    present(false);
}

void HomeKeyWindow::tick() {
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

void HomeKeyWindow::armTimer() {
    if (!check_ || clock_ == nullptr) return;
    const std::optional<std::uint64_t> due = check_->timerDueAt();
    if (!due) return;
    const std::uint64_t now = clock_->monotonicMs();
    timer_.start(static_cast<int>(*due > now ? std::min<std::uint64_t>(*due - now, 1000) : 0));
}

void HomeKeyWindow::present(bool now) {
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

void HomeKeyWindow::paintEvent(QPaintEvent* /*event*/) {
    if (!check_) return;
    painter_.compose(*check_, frame_);
    QPainter p(this);
    p.drawImage(0, 0, frame_);
    p.end();
    afterPaint();
}

void HomeKeyWindow::afterPaint() {
    if (!check_) return;
    check_->painted();
    if (frameShown_) frameShown_();
    finishIfClosed();
}

void HomeKeyWindow::finishIfClosed() {
    if (!check_ || !check_->closed() || finishing_) return;
    finishing_ = true;
    timer_.stop();
    // Leaves the modal loop once the handler that closed it has returned.
    QMetaObject::invokeMethod(
        this, [this] { QDialog::done(QDialog::Rejected); }, Qt::QueuedConnection);
}

void HomeKeyWindow::keyPressEvent(QKeyEvent* event) {
    const std::optional<CheckKey> key = checkKeyOf(*event);
    // Enter closes no check window; the toolkit's own Esc and Enter handling is not used.
    event->accept();
    if (!key || !check_ || check_->closed()) return;
    check_->onKey(*key);
    present(false);
    finishIfClosed();
}

void HomeKeyWindow::reject() {
    if (check_) check_->close();
    timer_.stop();
    finishing_ = true;
    QDialog::reject();
}

void HomeKeyWindow::setStatus(std::string_view text) {
    if (status_) status_(text);
}

void HomeKeyWindow::requestRepaint() {
    if (isVisible()) update();
}

}  // namespace station::checks
