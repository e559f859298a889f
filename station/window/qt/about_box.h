#pragma once
// Help > Version: the program's name, its version and the rights notice.
#include <QDialog>
#include <QString>

namespace station {

class AboutBox final : public QDialog {
    Q_OBJECT
public:
    AboutBox(const QString& versionText, QWidget* parent = nullptr);
};

}  // namespace station
