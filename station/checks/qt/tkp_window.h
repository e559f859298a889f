#pragma once
// The TKP pen check on the screen: the check's scene, and clicks on its debug buttons with the
// scan setting dialog they open.
#include <QImage>
#include <memory>

#include "platform/clock.h"
#include "station/checks/logic/drawing_geometry.h"
#include "station/checks/logic/tkp_check.h"
#include "station/checks/qt/check_window_widget.h"
#include "station/checks/qt/tkp_scan_dialog.h"

namespace station::checks {

class TkpWindow final : public CheckWindowWidget {
    Q_OBJECT
public:
    explicit TkpWindow(QWidget* parent = nullptr);

    // The scan setting dialog of the debug mode; the window's own when none is set.
    void setSettingDialog(TkpSettingDialog* dialog) { dialog_ = dialog; }

    // Builds the check (its reports come back through report()), opens it and shows the window.
    void start(const TkpInputs& inputs, TkpDevice& device, InputReaders& readers, platform::Clock& clock);

    const TkpCheck* check() const { return check_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void compose(QImage& frame) override;
    bool composesUnseen() const override { return true; }

    TkpCheck* check_ = nullptr;  // owned by the base
    Surface surface_;
    QtTkpSettingDialog ownDialog_{this};
    TkpSettingDialog* dialog_ = nullptr;
};

}  // namespace station::checks
