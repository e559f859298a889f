#pragma once
// The station window: the front end of the station on the desktop. It forwards the operator's
// buttons, menu and keys to the run control and paints what the station publishes through its
// UI port; the station's behaviour stays in the logic.
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/probe_file.h"
#include "station/checks/logic/drawing_check.h"
#include "station/checks/qt/drawing_window.h"
#include "station/checks/qt/home_key_window.h"
#include "station/checks/qt/tkp_window.h"
#include "station/sequence/run_control.h"
#include "station/sequence/station_state.h"
#include "station/sequence/ui_port.h"
#include "station/window/keys/operator_keys.h"
#include "station/window/qt/super_key_guard.h"

class QAction;
class QDialog;

namespace station {

class ResultListModel;
class StatusPanel;

class StationWindow final : public QMainWindow, public UiPort {
    Q_OBJECT
public:
    static constexpr int kTickMs = 100;
    static constexpr int kStatusPanes = 10;
    // The message pane keeps this many lines; older ones scroll away for good.
    static constexpr int kMessageLines = 10000;
    // A longer message is cut to this many characters in the pane.
    static constexpr int kMessageChars = 4096;

    // The widgets the window paints, for its probe and for tests.
    struct Controls {
        QLabel* title = nullptr;
        QLabel* startTime = nullptr;
        QLabel* elapsed = nullptr;
        StatusPanel* panel = nullptr;
        QLineEdit* total = nullptr;
        QLineEdit* ok = nullptr;
        QLineEdit* ng = nullptr;
        QPushButton* start = nullptr;
        QPushButton* clear = nullptr;
        QLineEdit* serial = nullptr;
        QLineEdit* devicePid = nullptr;
        QLabel* recipePid = nullptr;
        QLineEdit* deviceFwMajor = nullptr;
        QLabel* recipeFwMajor = nullptr;
        QLineEdit* deviceFwMinor = nullptr;
        QLabel* recipeFwMinor = nullptr;
        QLineEdit* hexChecksum = nullptr;
        QLabel* recipeChecksum = nullptr;
        QLineEdit* hsyncVer = nullptr;
        QLineEdit* hsyncPid = nullptr;
        QLineEdit* hexFile = nullptr;
        QLineEdit* iniFile = nullptr;
        QLineEdit* logFile = nullptr;
        QPlainTextEdit* messages = nullptr;
        QTableView* results = nullptr;
        ResultListModel* model = nullptr;
        std::array<QLabel*, kStatusPanes> panes{};
        QAction* readIni = nullptr;
        QAction* quit = nullptr;
        QAction* openWriter = nullptr;
        QAction* version = nullptr;
    };

    explicit StationWindow(QWidget* parent = nullptr);
    ~StationWindow() override;

    // The station and its run control exist after the window (the station holds it as its UI
    // port); the controls are built here. Call before RunControl::startUp.
    void attach(Station& station, RunControl& runControl);

    const Controls& controls() const { return c_; }

    // What the menu's dialogs and commands do, replaceable in tests: the recipe file chosen in
    // the file dialog (empty: cancelled), and the firmware writer's start.
    using RecipeChooser = std::function<QString(const QString& startFolder)>;
    void setRecipeChooser(RecipeChooser chooser) { chooseRecipe_ = std::move(chooser); }
    using WriterOpener = std::function<void(Station&)>;
    void setWriterOpener(WriterOpener opener);

    // One tick of the 100 ms timer, as the timer runs it.
    void tick();
    bool tickTimerRunning() const { return tickTimer_.isActive(); }
    bool superKeyGuardActive() const { return superKeys_.active(); }
    // The drawing check's window while it is open (for the probe and tests).
    const checks::DrawingWindow* drawingWindow() const {
        return qobject_cast<const checks::DrawingWindow*>(checkWindow_);
    }
    // The TKP pen and home key checks' windows while they are open (for the probe).
    const checks::TkpWindow* tkpWindow() const { return qobject_cast<const checks::TkpWindow*>(checkWindow_); }
    const checks::HomeKeyWindow* homeKeyWindow() const {
        return qobject_cast<const checks::HomeKeyWindow*>(checkWindow_);
    }
    // Ctrl+D: the drawing check on its own, its result recorded nowhere.
    void runDrawingFromMenu();

    // A stop signal or the menu's Quit: the orderly close (after a running check has ended).
    void requestStop();
    // A second start of the station asked for this window.
    void bringToFront();

    // UiPort
    void appendMessage(std::string_view text) override;
    void setPrompt(std::string_view text) override;
    void resetDisplay() override;
    void setSuperKeyGuard(bool on) override;
    void pumpMessages() override;
    void requestRepaint(RepaintArea area) override;
    void setStatusPane(int pane, std::string_view text) override;
    void setDeviceTexts(const DeviceTexts& texts) override;
    void setHsyncTexts(std::string_view pid, std::string_view ver) override;
    void setResultCount(std::size_t count) override;
    void setStartEnabled(bool on) override;
    void showMessageBox(std::string_view text) override;
    void showErrorBox(std::string_view text) override;
    void setTickTimer(bool running) override;
    void setStartText(std::string_view text) override;
    void setSerialField(std::string_view text, bool writable) override;
    void focusSerialField() override;
    void focusWindow() override;
    void focusStartButton() override;
    std::optional<std::string> askSerialNumber(std::string_view current) override;
    bool runExternalSwitchDialog(const std::function<bool()>& step) override;
    bool hasCheckWindow(CheckWindow which) const override;
    void runCheckWindow(const CheckWindowRequest& request, CheckContext& check) override;
    void requestClose() override;
    bool closePending() const override { return closePending_; }

signals:
    // The window has closed after the orderly shutdown: the program may end.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Command { Start, Clear, ReadIni, OpenWriter, Drawing };

    // A check window, modal, on the check's readers (and, in driver mode, the system's
    // digitizer); `start` builds and shows it.
    void runModalCheck(checks::CheckWindowWidget& window, CheckContext& check, bool driverMode,
                       const std::function<void(checks::InputReaders&)>& start);
    void buildControls();
    void buildMenu();
    void buildStatusBar();
    // Every field from the station's data.
    void showStationData();
    void showStartButton();
    // A command of the operator. Inside a station step (pumped by a tick) it waits until the
    // step has returned; while a check runs, Start is disabled and the rest are ignored.
    void command(Command which);
    void runCommand(Command which);
    void readIni();
    // Runs a step of the station; afterwards the waiting commands, the close and the probe.
    void runStep(const std::function<void()>& step);
    void afterStep();
    bool handleKey(QObject* watched, QKeyEvent* key);
    // Ctrl+R and Ctrl+P: the maintenance viewers (station_window_viewers.cpp); true when taken.
    bool viewerKey(const QKeyEvent& key);
    void openViewerAfterStep(bool raw);
    void runViewer(bool raw);
    bool isHoverControl(QObject* watched) const;
    int execModal(QDialog& dialog);
    void scheduleProbe();
    void writeProbe();

    Controls c_;
    Station* s_ = nullptr;
    RunControl* rc_ = nullptr;
    std::unique_ptr<OperatorKeys> keys_;
    SuperKeyGuard superKeys_;
    QTimer tickTimer_;
    RecipeChooser chooseRecipe_;
    WriterOpener openWriter_;
    std::unique_ptr<platform::ProbeFile> probe_;
    bool probeScheduled_ = false;

    QPointer<QDialog> openDialog_;
    // The drawing check's values that carry over from one window to the next.
    checks::DrawingCarryOver drawingCarry_;
    // The check window while one is open.
    QPointer<checks::CheckWindowWidget> checkWindow_;
    bool menuDrawing_ = false;
    bool stationStartEnabled_ = false;
    int stepDepth_ = 0;
    std::vector<Command> waiting_;  // each command at most once
    bool closePending_ = false;
    bool closedDone_ = false;
};

}  // namespace station
