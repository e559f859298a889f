#include "station/window/qt/station_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "controllerlink/raw_input.h"
#include "station/checks/logic/drawing_inputs.h"
#include "station/checks/logic/home_key_inputs.h"
#include "station/checks/logic/link_readers.h"
#include "station/checks/logic/tkp_inputs.h"
#include "station/checks/qt/drawing_window.h"
#include "station/checks/qt/tkp_window.h"
#include "station/sequence/connect.h"
#include "station/sequence/window_runners.h"
#include "station/window/qt/about_box.h"
#include "station/window/qt/external_switch_dialog.h"
#include "station/window/qt/report_poster.h"
#include "station/window/qt/result_list_model.h"
#include "station/window/qt/result_list_view.h"
#include "station/window/qt/serial_number_dialog.h"
#include "station/window/qt/status_panel.h"
#include "station/window/qt/window_probe.h"

namespace station {
namespace {

constexpr const char* kTitle = "VorlickR6X";
constexpr std::array<int, StationWindow::kStatusPanes> kPaneWidths = {0, 85, 15, 20, 15, 20, 20, 35, 20, 35};
constexpr std::array<const char*, StationWindow::kStatusPanes> kPaneTexts = {
    "", "\tDISCONNECT", "\tRX", "\t--", "\tTX", "\t--", "\tPID", "\t---", "\tVER", "\t---"};

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A pane's text: a leading tab centres the rest.
void showPaneText(QLabel& pane, const QString& text) {
    const bool centred = text.startsWith(QLatin1Char('\t'));
    const QString shown = centred ? text.mid(1) : text;
    const Qt::Alignment align = (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
    if (pane.text() != shown) pane.setText(shown);
    if (pane.alignment() != align) pane.setAlignment(align);
    pane.setProperty("paneText", text);
}

void setIfChanged(QLineEdit* field, const QString& text) {
    if (field->text() != text) field->setText(text);
}

void setIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

QLineEdit* readOnlyField(QWidget* parent, const char* name, const QString& text = {}) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::ClickFocus);
    return field;
}

QLabel* textLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

StationWindow::StationWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(kTitle);
    tickTimer_.setSingleShot(true);
    tickTimer_.setInterval(kTickMs);
    connect(&tickTimer_, &QTimer::timeout, this, &StationWindow::tick);
    chooseRecipe_ = [this](const QString& folder) {
        return QFileDialog::getOpenFileName(this, QString(), folder, QStringLiteral("ini files (*.ini)"));
    };
    const std::string probePath = platform::ProbeFile::pathFromEnvironment();
    if (!probePath.empty()) probe_ = std::make_unique<platform::ProbeFile>(probePath);
}

StationWindow::~StationWindow() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void StationWindow::attach(Station& station, RunControl& runControl) {
    s_ = &station;
    rc_ = &runControl;
    keys_ = std::make_unique<OperatorKeys>(station, runControl);
    buildControls();
    buildMenu();
    buildStatusBar();
    // Keys and the pointer are read before any control of this window sees them.
    qApp->installEventFilter(this);
    showStationData();
    scheduleProbe();
}

void StationWindow::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName("central");
    // Where the Enter trigger's focus rests (focusWindow).
    central->setFocusPolicy(Qt::ClickFocus);
    setCentralWidget(central);

    c_.title = textLabel(central, "title", QStringLiteral("NO TITLE"));
    QFont titleFont = c_.title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    c_.title->setFont(titleFont);
    c_.startTime = textLabel(central, "startTime", QStringLiteral("----/--/-- --:--:--"));
    c_.elapsed = textLabel(central, "elapsed", QStringLiteral("----Sec"));
    auto* top = new QHBoxLayout;
    top->addWidget(c_.title, 1);
    top->addWidget(c_.startTime);
    top->addSpacing(12);
    top->addWidget(c_.elapsed);

    // The panel, the counters and the two buttons.
    c_.panel = new StatusPanel(*s_, central);
    c_.panel->setObjectName("panel");
    c_.panel->setMinimumSize(240, 120);
    c_.panel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    c_.panel->installEventFilter(this);
    c_.total = readOnlyField(central, "total", QStringLiteral("0"));
    c_.ok = readOnlyField(central, "ok", QStringLiteral("0"));
    c_.ng = readOnlyField(central, "ng", QStringLiteral("0"));
    auto* counts = new QHBoxLayout;
    for (auto [label, field] : {std::pair{"Total", c_.total}, {"OK", c_.ok}, {"NG", c_.ng}}) {
        counts->addWidget(new QLabel(QString::fromLatin1(label), central));
        field->setAlignment(Qt::AlignRight);
        counts->addWidget(field, 1);
    }
    c_.start = new QPushButton(QStringLiteral("Start"), central);
    c_.start->setObjectName("start");
    c_.start->setEnabled(false);
    c_.clear = new QPushButton(QStringLiteral("Clear"), central);
    c_.clear->setObjectName("clear");
    connect(c_.start, &QPushButton::clicked, this, [this] { command(Command::Start); });
    connect(c_.clear, &QPushButton::clicked, this, [this] { command(Command::Clear); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(c_.start, 1);
    buttons->addWidget(c_.clear, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(c_.panel, 1);
    left->addLayout(counts);
    left->addLayout(buttons);

    // Device and recipe values: the device's on the left, the recipe's on the right.
    c_.serial = new QLineEdit(central);
    c_.serial->setObjectName("serial");
    c_.serial->setReadOnly(true);
    c_.devicePid = readOnlyField(central, "devicePid", QStringLiteral("---"));
    c_.recipePid = textLabel(central, "recipePid", QStringLiteral("0xCDCD"));
    c_.deviceFwMajor = readOnlyField(central, "deviceFwMajor", QStringLiteral("---"));
    c_.recipeFwMajor = textLabel(central, "recipeFwMajor", QStringLiteral("0xCDCD"));
    c_.deviceFwMinor = readOnlyField(central, "deviceFwMinor", QStringLiteral("---"));
    c_.recipeFwMinor = textLabel(central, "recipeFwMinor", QStringLiteral("0xCD"));
    c_.hexChecksum = readOnlyField(central, "hexChecksum", QStringLiteral("---"));
    c_.recipeChecksum = textLabel(central, "recipeChecksum", QStringLiteral("0xCDCD"));
    auto* values = new QGridLayout;
    values->addWidget(new QLabel(QStringLiteral("S/N :"), central), 0, 0);
    values->addWidget(c_.serial, 0, 1, 1, 2);
    const struct {
        const char* label;
        QLineEdit* device;
        QLabel* recipe;
    } rows[] = {{"PID :", c_.devicePid, c_.recipePid},
                {"F/W Ver :", c_.deviceFwMajor, c_.recipeFwMajor},
                {"", c_.deviceFwMinor, c_.recipeFwMinor},
                {"CheckSum :", c_.hexChecksum, c_.recipeChecksum}};
    int row = 1;
    for (const auto& r : rows) {
        values->addWidget(new QLabel(QString::fromLatin1(r.label), central), row, 0);
        values->addWidget(r.device, row, 1);
        values->addWidget(r.recipe, row, 2);
        ++row;
    }
    auto* hsync = new QGroupBox(QStringLiteral("Hsync MCU Info."), central);
    c_.hsyncVer = readOnlyField(hsync, "hsyncVer", QStringLiteral("---"));
    c_.hsyncPid = readOnlyField(hsync, "hsyncPid", QStringLiteral("---"));
    auto* hsyncGrid = new QGridLayout(hsync);
    hsyncGrid->addWidget(new QLabel(QStringLiteral("F/W Ver :"), hsync), 0, 0);
    hsyncGrid->addWidget(c_.hsyncVer, 0, 1);
    hsyncGrid->addWidget(new QLabel(QStringLiteral("PID :"), hsync), 1, 0);
    hsyncGrid->addWidget(c_.hsyncPid, 1, 1);
    values->addWidget(hsync, row, 0, 1, 3);
    values->setRowStretch(row + 1, 1);
    values->setColumnStretch(1, 1);
    values->setColumnStretch(2, 1);

    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 3);
    middle->addLayout(values, 2);

    c_.hexFile = readOnlyField(central, "hexFile");
    c_.iniFile = readOnlyField(central, "iniFile");
    c_.logFile = readOnlyField(central, "logFile");
    auto* files = new QGridLayout;
    const std::pair<const char*, QLineEdit*> fileRows[] = {
        {"HEX FILE :", c_.hexFile}, {"INI FILE :", c_.iniFile}, {"LOG FILE :", c_.logFile}};
    row = 0;
    for (const auto& [label, field] : fileRows) {
        field->setFocusPolicy(Qt::StrongFocus);
        files->addWidget(new QLabel(QString::fromLatin1(label), central), row, 0);
        files->addWidget(field, row, 1);
        ++row;
    }

    auto* status = new QGroupBox(QStringLiteral("Status"), central);
    c_.messages = new QPlainTextEdit(status);
    c_.messages->setObjectName("messages");
    c_.messages->setReadOnly(true);
    c_.messages->setMaximumBlockCount(kMessageLines);
    c_.messages->setLineWrapMode(QPlainTextEdit::NoWrap);
    c_.messages->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c_.messages->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c_.messages->setTabChangesFocus(true);
    auto* statusLayout = new QVBoxLayout(status);
    statusLayout->addWidget(c_.messages);

    c_.model = new ResultListModel(s_->runs, this);
    c_.results = new QTableView(central);
    c_.results->setObjectName("results");
    setUpResultView(*c_.results, *c_.model);

    auto* outer = new QVBoxLayout(central);
    outer->addLayout(top);
    outer->addLayout(middle, 3);
    outer->addLayout(files);
    outer->addWidget(status, 2);
    outer->addWidget(c_.results, 3);

    setTabOrder(c_.start, c_.clear);
    setTabOrder(c_.clear, c_.serial);
    setTabOrder(c_.serial, c_.hexFile);
    setTabOrder(c_.hexFile, c_.iniFile);
    setTabOrder(c_.iniFile, c_.logFile);
    setTabOrder(c_.logFile, c_.messages);
    setTabOrder(c_.messages, c_.results);
    resize(900, 760);
}

void StationWindow::buildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    c_.readIni = file->addAction(QStringLiteral("&Read ini"), this, [this] { command(Command::ReadIni); });
    c_.quit = file->addAction(QStringLiteral("&Quit"), this, &StationWindow::requestStop);
    QMenu* writer = menuBar()->addMenu(QStringLiteral("&RomWrite"));
    c_.openWriter = writer->addAction(QStringLiteral("&Open"), this, [this] { command(Command::OpenWriter); });
    c_.openWriter->setEnabled(static_cast<bool>(openWriter_));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    c_.version = help->addAction(QStringLiteral("&Version"), this, [this] {
        AboutBox about(qs(s_->programVersionText), this);
        execModal(about);
    });
}

void StationWindow::setWriterOpener(WriterOpener opener) {
    openWriter_ = std::move(opener);
    if (c_.openWriter != nullptr) c_.openWriter->setEnabled(static_cast<bool>(openWriter_));
}

void StationWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    bar->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    for (int i = 0; i < kStatusPanes; ++i) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("pane%1").arg(i));
        const bool label = i == 2 || i == 4 || i == 6 || i == 8;
        pane->setFrameStyle(label ? QFrame::NoFrame : (QFrame::Panel | QFrame::Sunken));
        showPaneText(*pane, QString::fromLatin1(kPaneTexts[i]));
        if (i == 0) {
            bar->addWidget(pane, 1);
        } else {
            // The widths are the least a pane takes; a wider text widens it rather than
            // being cut.
            pane->setMinimumWidth(kPaneWidths[i]);
            pane->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
            bar->addPermanentWidget(pane);
        }
        c_.panes[i] = pane;
    }
}

void StationWindow::showStationData() {
    if (s_ == nullptr) return;
    const Station& s = *s_;
    const RecipeSettings& r = s.recipe;
    setIfChanged(c_.title, qs(r.TITLE));
    setIfChanged(c_.startTime, qs(s.check.startTime));
    setIfChanged(c_.elapsed, qs(s.check.elapsed));
    setIfChanged(c_.total, QString::number(s.counters.checkCount));
    setIfChanged(c_.ok, QString::number(s.counters.okCount));
    setIfChanged(c_.ng, QString::number(s.counters.ngCount));
    setIfChanged(c_.devicePid, qs(s.texts.productId));
    setIfChanged(c_.deviceFwMajor, qs(s.texts.firmwareMajor));
    setIfChanged(c_.deviceFwMinor, qs(s.texts.firmwareMinor));
    setIfChanged(c_.hsyncVer, qs(s.texts.hsyncVer));
    setIfChanged(c_.hsyncPid, qs(s.texts.hsyncPid));
    setIfChanged(c_.recipePid, qs(r.display.pid));
    setIfChanged(c_.recipeFwMajor, qs(r.display.fwMajor));
    setIfChanged(c_.recipeFwMinor, qs(r.display.fwMinor));
    setIfChanged(c_.hexChecksum, qs(r.display.computedChecksum));
    setIfChanged(c_.recipeChecksum, qs(r.display.expectedChecksum));
    setIfChanged(c_.hexFile, qs(r.display.hexFile));
    setIfChanged(c_.iniFile, qs(r.recipePath));
    // The folder of the series in force; "---" between series.
    setIfChanged(c_.logFile, s.flags.logOpen ? qs(s.logFiles.logFolder) : QStringLiteral("---"));
    showStartButton();
    c_.panel->update();
    scheduleProbe();
}

void StationWindow::showStartButton() {
    // No press reaches a running check: the button stays disabled until it has ended.
    const bool enabled = stationStartEnabled_ && rc_ != nullptr && !rc_->busy() && !rc_->shutDown();
    if (c_.start->isEnabled() != enabled) c_.start->setEnabled(enabled);
}

// ---- The operator's commands ----

void StationWindow::command(Command which) {
    if (rc_ == nullptr || rc_->shutDown() || closePending_) return;
    if (stepDepth_ > 0) {
        if (rc_->busy()) {
            // Start is disabled and Clear is ignored while a check runs; neither a recipe nor
            // the writer may be started under it.
            if (which == Command::Clear) rc_->resetDisplay();
            return;
        }
        // Pumped inside a tick: it runs when the tick has returned.
        if (std::find(waiting_.begin(), waiting_.end(), which) == waiting_.end()) waiting_.push_back(which);
        return;
    }
    runCommand(which);
}

void StationWindow::runCommand(Command which) {
    switch (which) {
        case Command::Start:
            if (c_.start->isEnabled()) runStep([this] { rc_->onStartRetry(); });
            break;
        case Command::Clear:
            runStep([this] { rc_->resetDisplay(); });
            break;
        case Command::ReadIni:
            readIni();
            break;
        case Command::OpenWriter:
            if (openWriter_) runStep([this] { openWriter_(*s_); });
            break;
        case Command::Drawing:
            runStep([this] { runDrawingFromMenu(); });
            break;
    }
}

void StationWindow::readIni() {
    const QString path = chooseRecipe_ ? chooseRecipe_(qs(s_->startDirectory)) : QString();
    if (path.isEmpty() || rc_->shutDown() || closePending_) return;
    const std::string recipe = path.toStdString();
    runStep([this, &recipe] { rc_->loadRecipe(recipe); });
}

void StationWindow::tick() {
    if (rc_ == nullptr || rc_->shutDown() || closePending_) return;
    runStep([this] { rc_->onTick(); });
}

void StationWindow::runStep(const std::function<void()>& step) {
    ++stepDepth_;
    step();
    --stepDepth_;
    if (stepDepth_ == 0) afterStep();
}

void StationWindow::afterStep() {
    while (!waiting_.empty() && !closePending_ && !rc_->shutDown()) {
        const Command next = waiting_.front();
        waiting_.erase(waiting_.begin());
        runCommand(next);
    }
    waiting_.clear();
    if (rc_->closeRequested()) closePending_ = true;
    showStationData();
    if (closePending_) {
        closePending_ = false;
        close();
    }
}

// ---- Closing ----

void StationWindow::requestStop() { close(); }

void StationWindow::requestClose() {
    // The automatic quit, from inside a tick: the window closes when the tick has returned.
    if (stepDepth_ > 0) {
        closePending_ = true;
        return;
    }
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (rc_ != nullptr && !rc_->shutDown()) {
        if (stepDepth_ > 0) {
            // A check (or a tick) is running: it ends first, then the station shuts down and
            // the window closes. A dialog it waits on is answered with its cancel.
            closePending_ = true;
            if (openDialog_) openDialog_->reject();
            event->ignore();
            return;
        }
        rc_->shutdown();
    }
    tickTimer_.stop();
    // The probe's last word is the panel as the station left it.
    if (probe_ && c_.panel != nullptr) c_.panel->repaint();
    writeProbe();
    event->accept();
    if (!closedDone_) {
        closedDone_ = true;
        emit closed();
    }
}

void StationWindow::bringToFront() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

// ---- The UI port ----

void StationWindow::appendMessage(std::string_view text) {
    QString line = qs(text);
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.size() > kMessageChars) line = line.left(kMessageChars) + QStringLiteral("...");
    c_.messages->appendPlainText(line);
    QScrollBar* bar = c_.messages->verticalScrollBar();
    bar->setValue(bar->maximum());
    c_.messages->horizontalScrollBar()->setValue(0);
}

void StationWindow::setPrompt(std::string_view text) {
    const QString prompt = qs(text);
    if (c_.panes[0]->property("paneText").toString() == prompt) return;
    showPaneText(*c_.panes[0], prompt);
    scheduleProbe();
}

void StationWindow::resetDisplay() {
    c_.messages->clear();
    c_.model->showRows(0);
    c_.panel->update();
    scheduleProbe();
}

void StationWindow::setSuperKeyGuard(bool on) { superKeys_.setActive(on); }

void StationWindow::pumpMessages() {
    showStartButton();
    QCoreApplication::processEvents();
    if (probeScheduled_) writeProbe();
}

void StationWindow::requestRepaint(RepaintArea area) {
    if (area == RepaintArea::StatusPanel) {
        c_.panel->update();
        scheduleProbe();
        return;
    }
    showStationData();
}

void StationWindow::setStatusPane(int pane, std::string_view text) {
    if (pane < 0 || pane >= kStatusPanes) return;
    if (pane == 0) {
        setPrompt(text);
        return;
    }
    showPaneText(*c_.panes[static_cast<std::size_t>(pane)], qs(text));
    scheduleProbe();
}

void StationWindow::setDeviceTexts(const DeviceTexts& texts) {
    setIfChanged(c_.devicePid, qs(texts.productId));
    setIfChanged(c_.deviceFwMajor, qs(texts.firmwareMajor));
    setIfChanged(c_.deviceFwMinor, qs(texts.firmwareMinor));
    scheduleProbe();
}

void StationWindow::setHsyncTexts(std::string_view pid, std::string_view ver) {
    setIfChanged(c_.hsyncPid, qs(pid));
    setIfChanged(c_.hsyncVer, qs(ver));
}

void StationWindow::setResultCount(std::size_t count) {
    // The view keeps the newest row in view.
    c_.model->showRows(count);
    scheduleProbe();
}

void StationWindow::setStartEnabled(bool on) {
    stationStartEnabled_ = on;
    showStartButton();
    scheduleProbe();
}

void StationWindow::setStartText(std::string_view text) {
    if (c_.start->text() != qs(text)) c_.start->setText(qs(text));
    scheduleProbe();
}

void StationWindow::setSerialField(std::string_view text, bool writable) {
    setIfChanged(c_.serial, qs(text));
    c_.serial->setReadOnly(!writable);
    scheduleProbe();
}

void StationWindow::focusSerialField() { c_.serial->setFocus(Qt::OtherFocusReason); }

void StationWindow::focusWindow() { centralWidget()->setFocus(Qt::OtherFocusReason); }

void StationWindow::focusStartButton() {
    // The button is enabled by now; the focus follows it even while a step is still running.
    showStartButton();
    c_.start->setFocus(Qt::OtherFocusReason);
}

int StationWindow::execModal(QDialog& dialog) {
    QPointer<QDialog> previous = openDialog_;
    openDialog_ = &dialog;
    const int result = dialog.exec();
    openDialog_ = previous;
    return result;
}

void StationWindow::showMessageBox(std::string_view text) {
    QMessageBox box(QMessageBox::Information, kTitle, qs(text), QMessageBox::Ok, this);
    execModal(box);
}

void StationWindow::showErrorBox(std::string_view text) {
    QMessageBox box(QMessageBox::Critical, kTitle, qs(text), QMessageBox::Ok, this);
    execModal(box);
}

std::optional<std::string> StationWindow::askSerialNumber(std::string_view current) {
    if (closePending_) return std::nullopt;
    SerialNumberDialog dialog(qs(current), this);
    execModal(dialog);
    if (const auto answer = dialog.answer()) return answer->toStdString();
    return std::nullopt;
}

bool StationWindow::runExternalSwitchDialog(const std::function<bool()>& step) {
    if (closePending_) return false;
    ExternalSwitchDialog dialog(step, this);
    execModal(dialog);
    return dialog.passed();
}

bool StationWindow::hasCheckWindow(CheckWindow which) const {
    return which == CheckWindow::Drawing || which == CheckWindow::Tkp || which == CheckWindow::HomeKey;
}

void StationWindow::runCheckWindow(const CheckWindowRequest& request, CheckContext& check) {
    switch (request.which) {
        case CheckWindow::Drawing: {
            checks::DrawingWindow window(this);
            checks::DrawingInputs inputs = checks::drawingInputs(request, check, window.surface());
            if (menuDrawing_) inputs.drawResult = nullptr;
            runModalCheck(window, check, inputs.driverMode, [&](checks::InputReaders& readers) {
                window.start(inputs, drawingCarry_, readers, check.clock);
            });
            return;
        }
        case CheckWindow::Tkp: {
            checks::TkpWindow window(this);
            const checks::TkpInputs inputs = checks::tkpInputs(check);
            checks::PenLinkDevice device(check.pen);
            runModalCheck(window, check, inputs.driverMode,
                          [&](checks::InputReaders& readers) { window.start(inputs, device, readers, check.clock); });
            return;
        }
        case CheckWindow::HomeKey: {
            checks::HomeKeyWindow window(this);
            const checks::HomeKeyInputs inputs = checks::homeKeyInputs(request, check, window.surface());
            // The home key check reads the controller's own reports only.
            runModalCheck(window, check, false,
                          [&](checks::InputReaders& readers) { window.start(inputs, readers, check.clock); });
            return;
        }
    }
}

void StationWindow::runModalCheck(checks::CheckWindowWidget& window, CheckContext& check, bool driverMode,
                                  const std::function<void(checks::InputReaders&)>& start) {
    // The readers' reports reach the window on this thread; posts left when it goes are dropped.
    // In driver mode the first touches come from the system's digitizer collection.
    controllerlink::RawInputReader raw(check.touch.table());
    ReportPoster poster(window, [&window, &raw](int key, const std::vector<std::uint8_t>& report) {
        if (key != controllerlink::RAW_INPUT_KEY) {
            window.report(checks::LinkReaders::collection(key), report);
            return;
        }
        controllerlink::RawContactRecord record;
        controllerlink::RawTouchRanges ranges;
        if (raw.parse(report, record, ranges)) window.rawInput(record, ranges);
    });
    checks::LinkReaders readers(check.touch, check.pen, poster);
    if (driverMode) raw.start(check.touch.openedIdentity(), poster);
    window.setStatusSink([this](std::string_view text) { setStatusPane(0, text); });
    window.setFrameSink([this] { scheduleProbe(); });
    const QPointer<QDialog> previous = openDialog_;
    openDialog_ = &window;
    checkWindow_ = &window;
    const bool closing = closePending_;
    start(readers);
    if (closing) {
        // The station is closing: the window ends as Esc would end it, so the check records the
        // step that was not passed rather than a pass nobody made.
        window.reject();
    } else {
        window.waitClosed();
    }
    raw.stop();
    checkWindow_ = nullptr;
    openDialog_ = previous;
    scheduleProbe();
}

void StationWindow::runDrawingFromMenu() {
    if (s_ == nullptr) return;
    tickTimer_.stop();
    connectTouchAndShow(*s_);
    connectPenAndKeep(*s_);
    CheckContext check = s_->checkContext();
    menuDrawing_ = true;
    runDrawingCheck(check);
    menuDrawing_ = false;
    setTickTimer(true);
}

void StationWindow::setTickTimer(bool running) {
    if (running && !closePending_)
        tickTimer_.start();
    else
        tickTimer_.stop();
}

// ---- Keys and pointer ----

bool StationWindow::isHoverControl(QObject* watched) const {
    return watched == c_.start || watched == c_.clear || watched == c_.messages || watched == c_.results ||
           watched == c_.hexFile || watched == c_.iniFile || watched == c_.logFile;
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (keys_ && handleKey(watched, static_cast<QKeyEvent*>(event))) return true;
            break;
        case QEvent::Enter:
            if (s_ != nullptr && isHoverControl(watched)) s_->flags.pointerOverControl = true;
            break;
        case QEvent::Leave:
            if (s_ != nullptr && isHoverControl(watched)) s_->flags.pointerOverControl = false;
            break;
        case QEvent::Paint:
            // The panel's probe keys follow what it has just painted.
            if (watched == c_.panel) scheduleProbe();
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool StationWindow::handleKey(QObject* watched, QKeyEvent* key) {
    // A key event travels up the parents when a control ignores it; it counts once, at the
    // control with the focus (the window itself without one), and only in this window.
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr) target = this;
    if (watched != target || target->window() != this) return false;
    if (QApplication::activeModalWidget() != nullptr) return false;
    if (viewerKey(*key)) return true;

    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        const bool serialFocused = target == c_.serial;
        const KeyVerdict verdict = keys_->enter(serialFocused, c_.serial->text().toStdString());
        scheduleProbe();
        return verdict == KeyVerdict::Consumed;
    }
    if (key->key() == Qt::Key_D && key->modifiers() == Qt::ControlModifier) {
        if (!keys_->acceleratorsEnabled()) return false;
        command(Command::Drawing);
        return true;
    }
    const QString text = key->text();
    bool consumed = false;
    for (const char32_t c : text.toUcs4())
        if (keys_->character(c) == KeyVerdict::Consumed) consumed = true;
    return consumed;
}

// ---- The probe ----

void StationWindow::scheduleProbe() {
    if (!probe_ || probeScheduled_) return;
    probeScheduled_ = true;
    QTimer::singleShot(0, this, &StationWindow::writeProbe);
}

void StationWindow::writeProbe() {
    if (!probe_) return;
    probeScheduled_ = false;
    writeStationWindowProbe(*probe_, *this);
}

}  // namespace station
