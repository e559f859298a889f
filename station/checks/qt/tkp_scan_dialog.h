#pragma once
// "TKP Scan Setting": the TKP window's debug dialog with the four scan values and OK / CANCEL.
#include <QDialog>

#include "station/checks/logic/tkp_check.h"

class QLineEdit;

namespace station::checks {

class TkpScanDialog final : public QDialog {
    Q_OBJECT
public:
    explicit TkpScanDialog(const TkpScanSetting& current, QWidget* parent = nullptr);
    // The fields as numbers (a field that is no number reads 0).
    TkpScanSetting setting() const;

    QLineEdit* gainX() const { return gainX_; }
    QLineEdit* gainY() const { return gainY_; }
    QLineEdit* enable() const { return enable_; }
    QLineEdit* blank() const { return blank_; }

private:
    QLineEdit* gainX_;
    QLineEdit* gainY_;
    QLineEdit* enable_;
    QLineEdit* blank_;
};

// Shows the dialog modally over `parent`: the edited values on OK, nothing on CANCEL.
class QtTkpSettingDialog final : public TkpSettingDialog {
public:
    explicit QtTkpSettingDialog(QWidget* parent) : parent_(parent) {}
    std::optional<TkpScanSetting> edit(const TkpScanSetting& current) override;

private:
    QWidget* parent_;
};

}  // namespace station::checks
