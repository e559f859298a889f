#pragma once
// The writer's main window: the full writer (File Select, WRITE, device data…) or, for an
// embedded image, the reduced "Updating" window. It paints what the writer logic shows through
// its port and forwards the operator's buttons to it; it decides nothing itself. A control the
// chosen layout lacks is simply not updated.
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "romwrite/writer/writer_port.h"

namespace platform {
class ProbeFile;
}

class QCheckBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace romwrite {

class WriterApp;

class WriterWindow final : public QDialog, public WriterPort {
public:
    enum class Layout { Writer, Updating };

    explicit WriterWindow(Layout kind, QWidget* parent = nullptr);
    ~WriterWindow() override;

    // The logic the buttons and the close request go to; set before the first event.
    void attach(WriterApp& app) { app_ = &app; }
    // The file chooser of File Select; nullopt when cancelled. A file dialog by default.
    std::function<std::optional<std::string>()> chooseFile;

    Layout layout() const { return layout_; }

    void showWindow() override;
    void showDeviceFields(const DeviceFields& fields) override;
    void setButtons(const ButtonStates& buttons) override;
    void showPhase(std::uint32_t phase, std::string_view text, std::string_view warning) override;
    void setProgress(std::uint32_t value, std::uint32_t range) override;
    void setStatusText(std::string_view text) override;
    void showImage(std::string_view path, std::string_view checksum, std::string_view size) override;
    void showBootloaderData(std::string_view mpuType, std::string_view ublVersion, std::string_view security) override;
    void messageBox(std::string_view text, std::string_view caption) override;
    bool askApplyUpdate() override;

    // Escape asks to close, as the title bar's close does.
    void reject() override;

    // With VORLICK_WINDOW_PROBE set, rewrites that file with what the window shows now (read
    // from its widgets): every painting call does, and the tick, which also catches moves and the
    // writer's end.
    void refreshProbe();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWriter(QWidget* content);
    void buildUpdating(QWidget* content);
    QLineEdit* field(const char* name);
    QPushButton* button(const char* name, const char* text, void (WriterWindow::*pressed)());
    void fileSelect();
    void write();
    void encWrite();
    void deviceInfo();
    void deviceReset();
    void exitPressed();
    // Runs a message box; the probe names it (caption: text) while it is open.
    int execBox(QMessageBox& box);

    Layout layout_;
    WriterApp* app_ = nullptr;
    QLineEdit *vendorId_ = nullptr, *productId_ = nullptr, *version_ = nullptr, *interface_ = nullptr;
    QLineEdit *path_ = nullptr, *checksum_ = nullptr, *size_ = nullptr;
    QLineEdit *mpuType_ = nullptr, *ublVersion_ = nullptr, *security_ = nullptr;
    QPushButton *fileSelect_ = nullptr, *write_ = nullptr, *encWrite_ = nullptr, *deviceInfo_ = nullptr,
                *deviceReset_ = nullptr, *exit_ = nullptr;
    QCheckBox *ignoreMatching_ = nullptr, *setSecurity_ = nullptr;
    QLabel *phase_ = nullptr, *warning_ = nullptr;  // the Updating window's two texts
    QProgressBar* progress_ = nullptr;
    QLabel *statusBlank_ = nullptr, *status_ = nullptr;
    std::unique_ptr<platform::ProbeFile> probe_;
    QString openBox_;  // "caption: text" of the message box open now
};

// The dialogs' texts keep the logic's CR LF; Qt breaks lines on LF alone.
QString dialogText(std::string_view text);

}  // namespace romwrite
