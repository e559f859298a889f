#pragma once
// The home key check on the screen: a frameless, full-screen, top-most modal window that shows
// the frames of the home key painter, runs the check's 100 ms tick on a timer, forwards the
// operator's keys and takes the readers' reports once they are posted to its thread.
#include <QDialog>
#include <QImage>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "station/checks/logic/home_key_check.h"
#include "station/checks/qt/home_key_painter.h"

namespace station::checks {

class HomeKeyWindow final : public QDialog, private CheckWindowHost {
    Q_OBJECT
public:
    explicit HomeKeyWindow(QWidget* parent = nullptr);
    ~HomeKeyWindow() override;

    // The whole screen the window will cover.
    Surface surface() const;

    // The status bar's pane 0 of the station window; and a call after every frame shown.
    void setStatusSink(std::function<void(std::string_view)> sink) { status_ = std::move(sink); }
    void setFrameSink(std::function<void()> sink) { frameShown_ = std::move(sink); }

    // Builds the check on `readers` (whose reports come back through report()), opens it and
    // shows the window; run() also waits modally until it has closed.
    void start(const HomeKeyInputs& inputs, InputReaders& readers, platform::Clock& clock);
    void run(const HomeKeyInputs& inputs, InputReaders& readers, platform::Clock& clock);

    // A reader's report, on this window's thread.
    void report(ReaderCollection from, const std::vector<std::uint8_t>& bytes);
    // The timer's tick.
    void tick();

    const HomeKeyCheck* check() const { return check_.get(); }
    const QImage& lastFrame() const { return frame_; }

    // The Esc path: the check closes (readers stopped, result written), then the window.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // CheckWindowHost
    void setStatus(std::string_view text) override;
    void requestRepaint() override;

    void armTimer();
    void present(bool now);
    void afterPaint();
    void finishIfClosed();

    std::unique_ptr<HomeKeyCheck> check_;
    platform::Clock* clock_ = nullptr;
    HomeKeyPainter painter_;
    QImage frame_;
    QTimer timer_;
    std::function<void(std::string_view)> status_;
    std::function<void()> frameShown_;
    bool finishing_ = false;
};

}  // namespace station::checks
