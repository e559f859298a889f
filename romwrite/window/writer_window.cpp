#include "romwrite/window/writer_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "platform/probe_file.h"
#include "romwrite/writer/writer_app.h"

namespace romwrite {
namespace {

constexpr const char* kWriterTitle = "Firmware Write Utility for Kavor USB sensor Ver.3.00";
constexpr const char* kUpdatingTitle = "Multi-touch Device Firmware Update Utility   Ver.3.00";
constexpr int kStatusFirstPart = 200;

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A widget's centre in global screen pixels, where a synthetic click lands on it.
std::string centre(const QWidget* w) {
    const QPoint c = w->mapToGlobal(w->rect().center());
    return std::to_string(c.x()) + " " + std::to_string(c.y());
}

}  // namespace

QString dialogText(std::string_view text) {
    QString s = qs(text);
    s.remove(QLatin1Char('\r'));
    return s;
}

WriterWindow::WriterWindow(Layout kind, QWidget* parent) : QDialog(parent), layout_(kind) {
    setObjectName(kind == Layout::Writer ? "writerWindow" : "updatingWindow");
    setWindowTitle(kind == Layout::Writer ? kWriterTitle : kUpdatingTitle);
    setSizeGripEnabled(false);  // the status bar has its own
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* body = new QWidget(this);
    outer->addWidget(body, 1);
    if (kind == Layout::Writer)
        buildWriter(body);
    else
        buildUpdating(body);

    // Two parts: the first always a blank, the second the failure texts.
    auto* bar = new QStatusBar(this);
    bar->setObjectName("statusBar");
    statusBlank_ = new QLabel(" ", bar);
    statusBlank_->setObjectName("statusBlank");
    statusBlank_->setFixedWidth(kStatusFirstPart);
    status_ = new QLabel(bar);
    status_->setObjectName("statusText");
    bar->addWidget(statusBlank_);
    bar->addWidget(status_, 1);
    outer->addWidget(bar);

    chooseFile = [this]() -> std::optional<std::string> {
        const QString file = QFileDialog::getOpenFileName(this, QString(), QDir::currentPath(), "hex files (*.hex)");
        if (file.isEmpty()) return std::nullopt;
        return file.toStdString();
    };

    if (std::string path = platform::ProbeFile::pathFromEnvironment(); !path.empty()) {
        probe_ = std::make_unique<platform::ProbeFile>(std::move(path));
        refreshProbe();
    }
}

WriterWindow::~WriterWindow() = default;

void WriterWindow::refreshProbe() {
    if (!probe_) return;
    platform::ProbeFile& p = *probe_;
    const QRect frame = frameGeometry();
    p.set("title", windowTitle().toStdString());
    p.set("geometry", std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " +
                          std::to_string(frame.width()) + " " + std::to_string(frame.height()));
    p.set("dialog", layout_ == Layout::Writer ? "100" : "105");
    p.set("status", status_->text().toStdString());
    if (phase_ != nullptr) p.set("phase", phase_->text().toStdString());
    p.set("progress", std::to_string(progress_->value()) + "/" + std::to_string(progress_->maximum()));
    if (write_ != nullptr) p.set("write", std::string(write_->isEnabled() ? "enabled " : "disabled ") + centre(write_));
    p.set("exit", centre(exit_));
    p.set("done", app_ != nullptr && app_->finished() ? "1" : "0");
    p.set("box", openBox_.toStdString());
    p.flush();
}

QLineEdit* WriterWindow::field(const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setReadOnly(true);
    return e;
}

QPushButton* WriterWindow::button(const char* name, const char* text, void (WriterWindow::*pressed)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, pressed);
    return b;
}

void WriterWindow::buildWriter(QWidget* content) {
    auto* v = new QVBoxLayout(content);

    auto* device = new QGroupBox(content);
    auto* dg = new QGridLayout(device);
    vendorId_ = field("vendorId");
    productId_ = field("productId");
    version_ = field("version");
    interface_ = field("interface");
    dg->addWidget(new QLabel("Vendor ID"), 0, 0);
    dg->addWidget(vendorId_, 0, 1);
    dg->addWidget(new QLabel("Product ID"), 0, 2);
    dg->addWidget(productId_, 0, 3);
    dg->addWidget(new QLabel("Version"), 1, 0);
    dg->addWidget(version_, 1, 1);
    dg->addWidget(new QLabel("I/F"), 1, 2);
    dg->addWidget(interface_, 1, 3);
    v->addWidget(device);

    auto* file = new QGroupBox(content);
    auto* fg = new QGridLayout(file);
    fileSelect_ = button("fileSelect", "File Select", &WriterWindow::fileSelect);
    path_ = field("path");
    checksum_ = field("checksum");
    size_ = field("size");
    fg->addWidget(fileSelect_, 0, 0);
    fg->addWidget(path_, 0, 1, 1, 3);
    fg->addWidget(new QLabel("Checksum"), 1, 0);
    fg->addWidget(checksum_, 1, 1);
    fg->addWidget(new QLabel("Size"), 1, 2);
    fg->addWidget(size_, 1, 3);
    v->addWidget(file);

    auto* writing = new QGroupBox(content);
    auto* wg = new QGridLayout(writing);
    write_ = button("write", "WRITE", &WriterWindow::write);
    encWrite_ = button("encWrite", "ENC WRITE", &WriterWindow::encWrite);
    ignoreMatching_ = new QCheckBox("Ignore matching", writing);
    ignoreMatching_->setObjectName("ignoreMatching");
    setSecurity_ = new QCheckBox("Set Security", writing);
    setSecurity_->setObjectName("setSecurity");
    progress_ = new QProgressBar(writing);
    wg->addWidget(write_, 0, 0);
    wg->addWidget(encWrite_, 0, 1);
    wg->addWidget(ignoreMatching_, 0, 2);
    wg->addWidget(setSecurity_, 0, 3);
    wg->addWidget(progress_, 1, 0, 1, 4);
    v->addWidget(writing);

    auto* boot = new QGroupBox(content);
    auto* bg = new QGridLayout(boot);
    deviceInfo_ = button("deviceInfo", "Get Device Info", &WriterWindow::deviceInfo);
    mpuType_ = field("mpuType");
    ublVersion_ = field("ublVersion");
    security_ = field("security");
    bg->addWidget(deviceInfo_, 0, 0);
    bg->addWidget(new QLabel("MPU TYPE"), 0, 1);
    bg->addWidget(mpuType_, 0, 2);
    bg->addWidget(new QLabel("UBL Version"), 1, 1);
    bg->addWidget(ublVersion_, 1, 2);
    bg->addWidget(new QLabel("Security"), 2, 1);
    bg->addWidget(security_, 2, 2);
    v->addWidget(boot);

    auto* row = new QHBoxLayout;
    deviceReset_ = button("deviceReset", "Device reset", &WriterWindow::deviceReset);
    exit_ = button("exit", "EXIT", &WriterWindow::exitPressed);
    row->addWidget(deviceReset_);
    row->addStretch(1);
    row->addWidget(exit_);
    v->addLayout(row);
    v->addStretch(1);

    // Disabled until the logic says otherwise.
    for (QPushButton* b : {write_, encWrite_, deviceInfo_, deviceReset_}) b->setEnabled(false);
    progress_->setObjectName("progress");
    progress_->setTextVisible(false);  // a plain bar, no percentage
}

void WriterWindow::buildUpdating(QWidget* content) {
    auto* v = new QVBoxLayout(content);

    auto* device = new QGroupBox(content);
    auto* dg = new QGridLayout(device);
    vendorId_ = field("vendorId");
    productId_ = field("productId");
    version_ = field("version");
    dg->addWidget(new QLabel("Vendor ID"), 0, 0);
    dg->addWidget(vendorId_, 0, 1);
    dg->addWidget(new QLabel("Product ID"), 1, 0);
    dg->addWidget(productId_, 1, 1);
    dg->addWidget(new QLabel("Version"), 2, 0);
    dg->addWidget(version_, 2, 1);
    v->addWidget(device);

    phase_ = new QLabel("Updating", content);
    phase_->setObjectName("phase");
    warning_ = new QLabel("Updating", content);
    warning_->setObjectName("warning");
    warning_->setWordWrap(true);
    progress_ = new QProgressBar(content);
    progress_->setObjectName("progress");
    progress_->setTextVisible(false);  // a plain bar, no percentage
    v->addWidget(phase_);
    v->addWidget(warning_);
    v->addWidget(progress_);

    auto* row = new QHBoxLayout;
    exit_ = button("exit", "EXIT", &WriterWindow::exitPressed);
    row->addStretch(1);
    row->addWidget(exit_);
    v->addLayout(row);
    v->addStretch(1);
}

void WriterWindow::showWindow() {
    show();
    raise();
    activateWindow();
    refreshProbe();
}

void WriterWindow::showDeviceFields(const DeviceFields& f) {
    if (vendorId_ != nullptr) vendorId_->setText(qs(f.vendorId));
    if (productId_ != nullptr) productId_->setText(qs(f.productId));
    if (version_ != nullptr) version_->setText(qs(f.version));
    if (interface_ != nullptr) interface_->setText(qs(f.interface));
}

void WriterWindow::setButtons(const ButtonStates& b) {
    const std::pair<QPushButton*, bool> states[] = {
        {exit_, b.exit},         {fileSelect_, b.fileSelect}, {deviceInfo_, b.deviceInfo},
        {deviceReset_, b.reset}, {write_, b.write},           {encWrite_, b.encWrite}};
    for (const auto& [button, on] : states)
        if (button != nullptr) button->setEnabled(on);
    refreshProbe();
}

void WriterWindow::showPhase(std::uint32_t, std::string_view text, std::string_view warning) {
    if (phase_ != nullptr) phase_->setText(dialogText(text));
    if (warning_ != nullptr) warning_->setText(dialogText(warning));
    refreshProbe();
}

void WriterWindow::setProgress(std::uint32_t value, std::uint32_t range) {
    // A range of 0 would turn the bar into a busy indicator; the bar stays empty instead.
    const int top = static_cast<int>(std::clamp<std::uint32_t>(range, 1, INT_MAX));
    const int at = static_cast<int>(std::min<std::uint32_t>(value, range));
    if (progress_->maximum() != top) progress_->setRange(0, top);
    progress_->setValue(at);
    refreshProbe();
}

void WriterWindow::setStatusText(std::string_view text) {
    status_->setText(dialogText(text));
    refreshProbe();
}

void WriterWindow::showImage(std::string_view path, std::string_view checksum, std::string_view size) {
    if (path_ != nullptr) path_->setText(qs(path));
    if (checksum_ != nullptr) checksum_->setText(qs(checksum));
    if (size_ != nullptr) size_->setText(qs(size));
}

void WriterWindow::showBootloaderData(std::string_view mpuType, std::string_view ublVersion,
                                      std::string_view security) {
    if (mpuType_ != nullptr) mpuType_->setText(qs(mpuType));
    if (ublVersion_ != nullptr) ublVersion_->setText(qs(ublVersion));
    if (security_ != nullptr) security_->setText(qs(security));
}

void WriterWindow::messageBox(std::string_view text, std::string_view caption) {
    const QString title = qs(caption);
    QMessageBox box(title == "Error" ? QMessageBox::Critical : QMessageBox::NoIcon, title, dialogText(text),
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    execBox(box);
}

bool WriterWindow::askApplyUpdate() {
    QMessageBox box(QMessageBox::Question, "Confirm", "Apply this update?", QMessageBox::Yes | QMessageBox::No,
                    isVisible() ? this : nullptr);
    box.setDefaultButton(QMessageBox::Yes);
    return execBox(box) == QMessageBox::Yes;
}

int WriterWindow::execBox(QMessageBox& box) {
    openBox_ = box.windowTitle() + ": " + box.text();
    refreshProbe();
    const int answer = box.exec();
    openBox_.clear();
    refreshProbe();
    return answer;
}

void WriterWindow::fileSelect() {
    if (app_ == nullptr) return;
    // The logic disables the buttons while the chooser is open.
    app_->selectFile(chooseFile ? chooseFile() : std::nullopt);
}

void WriterWindow::write() {
    if (app_ != nullptr) app_->write(ignoreMatching_->isChecked(), setSecurity_->isChecked());
}

void WriterWindow::encWrite() {
    if (app_ != nullptr) app_->encWrite();
}

void WriterWindow::deviceInfo() {
    if (app_ != nullptr) app_->getDeviceInfo();
}

void WriterWindow::deviceReset() {
    if (app_ != nullptr) app_->deviceReset();
}

void WriterWindow::exitPressed() {
    if (app_ != nullptr) app_->exitButton();
}

void WriterWindow::reject() { close(); }

void WriterWindow::closeEvent(QCloseEvent* event) {
    if (app_ != nullptr && !app_->finished()) {
        app_->closeWindow();
        // Refused while a write runs; the window stays.
        if (!app_->finished()) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

}  // namespace romwrite
