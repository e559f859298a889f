#pragma once
// The external-switch prompt of a check: every 200 ms one step of the check runs (the timer is
// stopped meanwhile); the step's true closes the dialog as passed. Cancel or a close fails it.
#include <QDialog>
#include <QTimer>
#include <functional>

namespace station {

class ExternalSwitchDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStepMs = 200;

    ExternalSwitchDialog(std::function<bool()> step, QWidget* parent = nullptr);

    // One step, as the timer runs it.
    void runStep();
    bool passed() const { return passed_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<bool()> step_;
    QTimer timer_;
    bool passed_ = false;
};

}  // namespace station
