#include "station/checks/qt/tkp_scan_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace station::checks {
namespace {

QLineEdit* field(int value, const char* name, QWidget* parent) {
    auto* e = new QLineEdit(QString::number(value), parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

int number(const QLineEdit* e) {
    bool ok = false;
    const int v = e->text().trimmed().toInt(&ok);
    return ok ? v : 0;
}

}  // namespace

TkpScanDialog::TkpScanDialog(const TkpScanSetting& current, QWidget* parent)
    : QDialog(parent),
      gainX_(field(current.gainX, "gainX", this)),
      gainY_(field(current.gainY, "gainY", this)),
      enable_(field(current.enable, "enable", this)),
      blank_(field(current.blank, "blank", this)) {
    setObjectName(QStringLiteral("tkpScanSetting"));
    setWindowTitle(QStringLiteral("TKP Scan Setting"));
    setModal(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Gain X"), gainX_);
    form->addRow(QStringLiteral("Gain Y"), gainY_);
    form->addRow(QStringLiteral("Enable"), enable_);
    form->addRow(QStringLiteral("Blank"), blank_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addLayout(buttons);
}

TkpScanSetting TkpScanDialog::setting() const {
    return {number(gainX_), number(gainY_), number(enable_), number(blank_)};
}

std::optional<TkpScanSetting> QtTkpSettingDialog::edit(const TkpScanSetting& current) {
    TkpScanDialog dialog(current, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.setting();
}

}  // namespace station::checks
