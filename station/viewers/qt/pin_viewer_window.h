#pragma once
// The pin check viewer's window: the ten-column pin table with its state pictures, colours and
// notes, Check and Clear, the Short/Open views with the ruled grid of the Open view, the three
// number fields and the error picture, all from the PinViewer logic.
#include <QDialog>
#include <QPixmap>
#include <memory>

#include "platform/probe_file.h"
#include "station/viewers/logic/pin_viewer.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTableWidget;

namespace station::viewers {

class PinGridArea;

class PinViewerWindow final : public QDialog {
    Q_OBJECT
public:
    explicit PinViewerWindow(const PinViewerInputs& inputs, QWidget* parent = nullptr);
    ~PinViewerWindow() override;

    struct Controls {
        QTableWidget* table = nullptr;
        PinGridArea* grid = nullptr;
        QPushButton* check = nullptr;
        QPushButton* clear = nullptr;
        QRadioButton* shortView = nullptr;
        QRadioButton* openView = nullptr;
        QLineEdit* waitTime = nullptr;
        QLineEdit* shortThreshold = nullptr;
        QLineEdit* openThreshold = nullptr;
        QLabel* passPicture = nullptr;
        QLabel* failPicture = nullptr;
        QLabel* passText = nullptr;
        QLabel* failText = nullptr;
        QLabel* passSquare = nullptr;
        QLabel* failSquare = nullptr;
        QLabel* errorPicture = nullptr;
        QLineEdit* errorText = nullptr;
        QStatusBar* status = nullptr;
    };
    const Controls& controls() const { return c_; }
    const PinViewer& viewer() const { return viewer_; }

    // The pictures of the pin states (PinGood, PinFaulty) and of the error flags.
    static QPixmap pinPicture(int state);
    static QPixmap errorPicture();

protected:
    // Where the window and its controls are, once shown, moved or resized.
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void check();
    void clear();
    // The table, the legend and the error picture from the logic.
    void showState();
    void writeProbe();

    PinViewer viewer_;
    Controls c_;
    std::unique_ptr<platform::ProbeFile> probe_;
};

// The Open view's grid: ruled lines every cell, numbered every fifth, on the button face.
class PinGridArea final : public QWidget {
    Q_OBJECT
public:
    PinGridArea(const PinViewer& viewer, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const PinViewer& viewer_;
};

}  // namespace station::viewers
