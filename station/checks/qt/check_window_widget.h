#pragma once
// What the check windows (drawing, TKP pen, home key) share on the screen: a frameless,
// full-screen, top-most modal window that paints its check's frame, runs the check's 100 ms tick
// on a timer, forwards the operator's keys and takes the readers' reports once they are posted
// to its thread. Each window composes its own frame and builds its own check.
#include <QDialog>
#include <QImage>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "controllerlink/raw_input.h"
#include "platform/clock.h"
#include "station/checks/logic/check_window.h"
#include "station/checks/logic/drawing_geometry.h"

class QKeyEvent;

namespace station::checks {

// The window's key, or nullopt for a key it does not handle. Plus and minus count only on the
// numeric pad.
std::optional<CheckKey> checkKeyOf(const QKeyEvent& event);

class CheckWindowWidget : public QDialog, protected CheckWindowHost {
    Q_OBJECT
public:
    ~CheckWindowWidget() override;
    CheckWindowWidget(const CheckWindowWidget&) = delete;
    CheckWindowWidget& operator=(const CheckWindowWidget&) = delete;

    // The whole screen the window will cover.
    Surface surface() const;

    // The status bar's pane 0 of the station window; and a call after every frame shown (for
    // a probe).
    void setStatusSink(std::function<void(std::string_view)> sink) { status_ = std::move(sink); }
    void setFrameSink(std::function<void()> sink) { frameShown_ = std::move(sink); }

    // A reader's report, on this window's thread.
    void report(ReaderCollection from, const std::vector<std::uint8_t>& bytes);
    // A report of the system's digitizer, decoded; dropped once the check no longer takes them.
    void rawInput(const controllerlink::RawContactRecord& record, const controllerlink::RawTouchRanges& ranges);
    // The timer's tick.
    void tick();

    const QImage& lastFrame() const { return frame_; }

    // After the window's start(): waits modally until the check has closed.
    void waitClosed();

    // The Esc path: the check closes (readers stopped, result written), then the window.
    void reject() override;

protected:
    CheckWindowWidget(QWidget* parent, const QString& objectName, const QString& title);

    // Whether the check opens (and starts its readers) before or after the window shows.
    enum class OpenCheck : std::uint8_t { BeforeShowing, AfterShowing };

    CheckWindowHost& host() { return *this; }
    // Takes the check, covers `area` with the window, opens the check and starts the tick.
    void begin(std::unique_ptr<CheckWindowLogic> check, platform::Clock& clock, const Surface& area, OpenCheck when);

    // The window's frame of its check's present state.
    virtual void compose(QImage& frame) = 0;
    // A frame not put on a screen is still composed (for what reads lastFrame()).
    virtual bool composesUnseen() const { return false; }

    // After a handler: the frame is shown (or, unseen, counted as painted) and a closed check
    // ends the window.
    void present(bool now);

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    // CheckWindowHost
    void setStatus(std::string_view text) override;
    void requestRepaint() override;

private:
    void armTimer();
    void afterPaint();
    void finishIfClosed();

    std::unique_ptr<CheckWindowLogic> check_;
    platform::Clock* clock_ = nullptr;
    QImage frame_;
    QTimer timer_;
    std::function<void(std::string_view)> status_;
    std::function<void()> frameShown_;
    bool finishing_ = false;
};

}  // namespace station::checks
