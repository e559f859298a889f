#pragma once
// The drawing check on the screen: a frameless, full-screen, top-most modal window that shows
// the frames of the one drawing painter, runs the check's 100 ms tick on a timer, forwards the
// operator's keys and takes the readers' reports once they are posted to its thread.
#include <QDialog>
#include <QImage>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "controllerlink/raw_input.h"
#include "platform/clock.h"
#include "station/checks/logic/drawing_check.h"
#include "station/checks/qt/drawing_painter.h"

class QKeyEvent;

namespace station::checks {

// The window's key, or nullopt for a key it does not handle. Plus and minus count only on the
// numeric pad.
std::optional<CheckKey> checkKeyOf(const QKeyEvent& event);

class DrawingWindow final : public QDialog, private CheckWindowHost {
    Q_OBJECT
public:
    explicit DrawingWindow(QWidget* parent = nullptr);
    ~DrawingWindow() override;

    // The drawing area: the whole screen the window will cover.
    Surface surface() const;

    // The status bar's pane 0 of the station window; and a call after every frame shown (for
    // a probe).
    void setStatusSink(std::function<void(std::string_view)> sink) { status_ = std::move(sink); }
    void setFrameSink(std::function<void()> sink) { frameShown_ = std::move(sink); }

    // Builds the check on `readers` (whose reports come back through report()), opens it and
    // shows the window; run() also waits modally until it has closed.
    void start(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers, platform::Clock& clock);
    void run(const DrawingInputs& inputs, DrawingCarryOver& carry, InputReaders& readers, platform::Clock& clock);

    // A reader's report, on this window's thread.
    void report(ReaderCollection from, const std::vector<std::uint8_t>& bytes);
    // A report of the system's digitizer, decoded; dropped once the check no longer takes them.
    void rawInput(const controllerlink::RawContactRecord& record, const controllerlink::RawTouchRanges& ranges);
    // The timer's tick.
    void tick();

    const DrawingCheck* check() const { return check_.get(); }
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
    void saveSnapshot(std::string_view fileName) override;

    void armTimer();
    // After a handler: the frame is shown (or, unseen, counted as painted) and a closed check
    // ends the window.
    void present(bool now);
    void afterPaint();
    void finishIfClosed();

    std::unique_ptr<DrawingCheck> check_;
    platform::Clock* clock_ = nullptr;
    DrawingPainter painter_;
    QImage frame_;
    QTimer timer_;
    std::function<void(std::string_view)> status_;
    std::function<void()> frameShown_;
    bool finishing_ = false;
};

}  // namespace station::checks
