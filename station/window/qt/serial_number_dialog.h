#pragma once
// The "S/N" dialog the station opens when a check needs a serial number nobody scanned.
#include <QDialog>
#include <QString>
#include <optional>

class QLineEdit;

namespace station {

class SerialNumberDialog final : public QDialog {
    Q_OBJECT
public:
    // Opens with `current` in the field.
    explicit SerialNumberDialog(const QString& current, QWidget* parent = nullptr);

    // The confirmed text without its '#' scan marks; nullopt after CANCEL, Esc or a close.
    std::optional<QString> answer() const { return answer_; }

private:
    QLineEdit* field_;
    std::optional<QString> answer_;
};

}  // namespace station
