#pragma once
// The two pages shown before an embedded update ("&Next"/"E&xit", then "&Yes"/"&No"). The
// steps and their power check are the logic's; this dialog paints them, and keeps the machine
// awake while it is open.
#include <QDialog>

#include "platform/power.h"
#include "romwrite/writer/confirmation_steps.h"
#include "romwrite/writer/writer_port.h"

class QLabel;
class QPushButton;

namespace romwrite {

class ConfirmationDialog final : public QDialog, public EmbeddedConfirmation {
public:
    ConfirmationDialog(platform::PowerStatus& power, platform::StayAwake& stayAwake, QWidget* parent = nullptr);

    // Runs the dialog modally: true for "&Yes" on the warning page.
    bool confirm() override;

    void forwardPressed();  // "&Next" or "&Yes"
    void backPressed();     // "E&xit" or "&No"
    void reject() override { backPressed(); }

private:
    void showWarningPage();

    ConfirmationSteps steps_;
    platform::StayAwake& stayAwake_;
    QLabel* notes_[5] = {};
    QLabel* warning_[3] = {};
    QPushButton *forward_ = nullptr, *back_ = nullptr;
};

}  // namespace romwrite
