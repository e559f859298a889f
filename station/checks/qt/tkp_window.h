#pragma once
// The TKP pen check on the screen: a frameless, full-screen, top-most modal window that paints
// the check's scene, runs its 100 ms tick on a timer, forwards the operator's keys and clicks on
// the debug buttons and takes the readers' reports once they are posted to its thread.
#include <QDialog>
#include <QImage>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "controllerlink/raw_input.h"
#include "platform/clock.h"
#include "station/checks/logic/drawing_geometry.h"
#include "station/checks/logic/tkp_check.h"
#include "station/checks/qt/tkp_scan_dialog.h"

namespace station::checks {

class TkpWindow final : public QDialog, private CheckWindowHost {
    Q_OBJECT
public:
    explicit TkpWindow(QWidget* parent = nullptr);
    ~TkpWindow() override;

    Surface surface() const;
    void setStatusSink(std::function<void(std::string_view)> sink) { status_ = std::move(sink); }
    void setFrameSink(std::function<void()> sink) { frameShown_ = std::move(sink); }
    // The scan setting dialog of the debug mode; the window's own when none is set.
    void setSettingDialog(TkpSettingDialog* dialog) { dialog_ = dialog; }

    // Builds the check (its reports come back through report()), opens it and shows the window;
    // run() also waits modally until it has closed.
    void start(const TkpInputs& inputs, TkpDevice& device, InputReaders& readers, platform::Clock& clock);
    void run(const TkpInputs& inputs, TkpDevice& device, InputReaders& readers, platform::Clock& clock);

    void report(ReaderCollection from, const std::vector<std::uint8_t>& bytes);
    void rawInput(const controllerlink::RawContactRecord& record, const controllerlink::RawTouchRanges& ranges);
    void tick();

    const TkpCheck* check() const { return check_.get(); }
    const QImage& lastFrame() const { return frame_; }

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setStatus(std::string_view text) override;
    void requestRepaint() override;

    void armTimer();
    void present(bool now);
    void afterPaint();
    void finishIfClosed();
    void compose();

    std::unique_ptr<TkpCheck> check_;
    platform::Clock* clock_ = nullptr;
    Surface surface_;
    QtTkpSettingDialog ownDialog_{this};
    TkpSettingDialog* dialog_ = nullptr;
    QImage frame_;
    QTimer timer_;
    std::function<void(std::string_view)> status_;
    std::function<void()> frameShown_;
    bool finishing_ = false;
};

}  // namespace station::checks
