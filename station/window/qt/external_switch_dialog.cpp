#include "station/window/qt/external_switch_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace station {

ExternalSwitchDialog::ExternalSwitchDialog(std::function<bool()> step, QWidget* parent)
    : QDialog(parent), step_(std::move(step)) {
    setWindowTitle(QStringLiteral("External Switch Check"));
    auto* text = new QLabel(QStringLiteral("Please, push external switch to reset device."), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName("externalSwitchCancel");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, &timer_, &QTimer::stop);

    timer_.setSingleShot(true);
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, &ExternalSwitchDialog::runStep);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
}

void ExternalSwitchDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!passed_ && !timer_.isActive()) timer_.start();
}

void ExternalSwitchDialog::runStep() {
    timer_.stop();
    if (!isVisible() || passed_) return;  // cancelled or closed before this step
    if (step_ && step_()) {
        passed_ = true;
        accept();
        return;
    }
    // The step may have pumped a Cancel meanwhile.
    if (isVisible()) timer_.start();
}

}  // namespace station
