#include "station/window/qt/serial_number_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace station {

SerialNumberDialog::SerialNumberDialog(const QString& current, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("S/N"));
    auto* label = new QLabel(QStringLiteral("Input Serial Number"), this);
    field_ = new QLineEdit(current, this);
    field_->setObjectName("serialNumberField");
    label->setBuddy(field_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("serialNumberOk");
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
    cancel->setObjectName("serialNumberCancel");
    connect(ok, &QPushButton::clicked, this, [this] {
        answer_ = field_->text().remove(QLatin1Char('#'));
        accept();
    });
    // Esc and the title bar's close end here too (QDialog rejects).
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::rejected, this, [this] { answer_.reset(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(field_);
    layout->addLayout(buttons);
    field_->setFocus();
    field_->selectAll();
}

}  // namespace station
