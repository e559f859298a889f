#include "romwrite/window/confirmation_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "romwrite/window/writer_window.h"

namespace romwrite {

ConfirmationDialog::ConfirmationDialog(platform::PowerStatus& power, platform::StayAwake& stayAwake, QWidget* parent)
    : QDialog(parent), steps_(power), stayAwake_(stayAwake) {
    setObjectName("confirmationDialog");
    setWindowTitle("Multi-touch Device Firmware Update Utility   Ver.3.00");
    auto* v = new QVBoxLayout(this);
    for (int i = 0; i < 5; ++i) {
        notes_[i] = new QLabel(kConfirmNotes[i], this);
        notes_[i]->setObjectName(QString("note%1").arg(i + 1));
        notes_[i]->setWordWrap(true);
        v->addWidget(notes_[i]);
    }
    for (int i = 0; i < 3; ++i) {
        warning_[i] = new QLabel(kConfirmWarning[i], this);
        warning_[i]->setObjectName(QString("warning%1").arg(i + 1));
        warning_[i]->setWordWrap(true);
        warning_[i]->hide();
        v->addWidget(warning_[i]);
    }
    v->addStretch(1);
    auto* row = new QHBoxLayout;
    forward_ = new QPushButton("&Next", this);
    forward_->setObjectName("forward");
    forward_->setDefault(true);
    back_ = new QPushButton("E&xit", this);
    back_->setObjectName("back");
    row->addStretch(1);
    row->addWidget(forward_);
    row->addWidget(back_);
    v->addLayout(row);
    connect(forward_, &QPushButton::clicked, this, &ConfirmationDialog::forwardPressed);
    connect(back_, &QPushButton::clicked, this, &ConfirmationDialog::backPressed);
}

bool ConfirmationDialog::confirm() {
    stayAwake_.request();
    const int answer = exec();
    stayAwake_.release();
    return answer == QDialog::Accepted;
}

void ConfirmationDialog::forwardPressed() {
    switch (steps_.forward()) {
        case ConfirmationSteps::Outcome::NeedsMains: {
            QMessageBox box(QMessageBox::Critical, kNeedsMainsCaption, dialogText(kNeedsMainsText), QMessageBox::Ok,
                            this);
            box.exec();
            break;
        }
        case ConfirmationSteps::Outcome::ShowWarning:
            showWarningPage();
            break;
        case ConfirmationSteps::Outcome::Confirmed:
            done(QDialog::Accepted);
            break;
        case ConfirmationSteps::Outcome::Declined:
            done(QDialog::Rejected);
            break;
    }
}

void ConfirmationDialog::backPressed() { done(QDialog::Rejected); }

void ConfirmationDialog::showWarningPage() {
    for (QLabel* l : notes_) l->hide();
    for (QLabel* l : warning_) l->show();
    forward_->setText("&Yes");
    back_->setText("&No");
}

}  // namespace romwrite
