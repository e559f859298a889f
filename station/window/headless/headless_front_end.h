#pragma once
// The station without a window: standard output is the message pane (one line per message,
// nothing else), standard error the prompt pane, the status panel's word and, last, the exit
// code; standard input is the operator's keyboard (headless_command.h). It runs the same
// station as the window, on the same 100 ms tick.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "station/checks/logic/drawing_check.h"
#include "station/checks/logic/tkp_check.h"
#include "station/sequence/run_control.h"
#include "station/sequence/station_state.h"
#include "station/sequence/ui_port.h"
#include "station/window/headless/headless_check_window.h"
#include "station/window/headless/headless_command.h"
#include "station/window/headless/input_queue.h"
#include "station/window/panel/panel_text.h"

namespace station {

struct HeadlessOptions {
    bool pressStart = false;  // --start: Start once a recipe is loaded (again after each load)
    int checkLimit = 0;       // --checks N: close after N checks ended; 0 never
};

class HeadlessFrontEnd final : public UiPort {
public:
    static constexpr std::uint64_t kTickMs = 100;

    // Commands that wait for the running work to end, at most; beyond them the input stays
    // where it is (and standard input unread) until the work is over.
    static constexpr std::size_t kMaxDeferred = 16;
    // The external switch dialog looks for the controller this often.
    static constexpr std::uint64_t kSwitchStepMs = 200;
    // A check window takes its readers' reports this often.
    static constexpr std::uint64_t kReportPollMs = 5;

    HeadlessFrontEnd(std::FILE* out, std::FILE* err, platform::Clock& clock, InputSource& input, StopRequests& stop,
                     HeadlessOptions options);

    // The station and its run control exist after the front end (the station holds it).
    void attach(Station& station, RunControl& runControl);
    // Called once per check that ended (verdict or ERROR), right after it ended.
    std::function<void(const Station&)> onCheckEnded;
    // Renders the drawing window's snapshots (the window's painting code, off-screen).
    DrawingSnapshotWriter drawingSnapshot;

    // Runs the ticks and the commands until the station is closed (quit, a stop signal, the
    // automatic quit, --checks, or with --checks the end of input where the station cannot go
    // on without it), then the orderly shutdown; finally "exit code: N" on stderr. Call after
    // RunControl::startUp.
    void run();

    // UiPort
    void appendMessage(std::string_view text) override;
    void setPrompt(std::string_view text) override;
    void resetDisplay() override {}
    void setSuperKeyGuard(bool) override {}
    void pumpMessages() override;
    void requestRepaint(RepaintArea) override { reportState(); }
    void setStartEnabled(bool on) override { startEnabled_ = on; }
    void setTickTimer(bool running) override;
    std::optional<std::string> askSerialNumber(std::string_view current) override;
    bool runExternalSwitchDialog(const std::function<bool()>& step) override;
    bool hasCheckWindow(CheckWindow which) const override {
        return which == CheckWindow::Drawing || which == CheckWindow::Tkp || which == CheckWindow::HomeKey;
    }
    void runCheckWindow(const CheckWindowRequest& request, CheckContext& check) override;
    void requestClose() override { closing_ = true; }
    bool closePending() const override { return closing_ || stop_.closeRequested(); }

private:
    void handle(const InputEvent& event);
    // A modal window without a widget: stderr says "window: NAME" and "window: closed NAME";
    // `step` runs every `stepMs` of the clock (0: never) and closes the window by returning
    // true; each command goes to `onCommand`, which closes it by returning true. A quit or a
    // stop signal closes it too, and the end of input when `closeAtEndOfInput`.
    void runWindow(std::string_view name, std::uint64_t stepMs, const std::function<bool()>& step,
                   bool closeAtEndOfInput, const std::function<bool(const HeadlessCommand&)>& onCommand);
    // The check windows, each on its logic: the drawing window's instruction, the TKP and home key
    // windows' phase on stderr when it changes.
    void runDrawingWindow(const CheckWindowRequest& request, CheckContext& check);
    void runTkpWindow(CheckContext& check);
    void runHomeKeyWindow(const CheckWindowRequest& request, CheckContext& check);
    void startDigitizer(CheckWindow which, const checks::CheckWindowLogic& window, controllerlink::RawInputReader& raw,
                        const CheckContext& check, hidlink::QueuedReports& reports);
    // Runs an opened window until it closes: the readers' reports (the digitizer's through `raw`
    // while the window takes them), its tick, its keys; `shown` is what stderr says of it.
    void runOpenCheckWindow(CheckWindow which, checks::CheckWindowLogic& window, hidlink::QueuedReports& reports,
                            controllerlink::RawInputReader* raw, const std::function<std::string()>& shown);
    // A stop signal closes the station (the running work ends first).
    void takeStopRequest();
    // With --checks and the input at its end: why the station cannot go on, if it cannot.
    void closeWhenStalled();
    void runCommand(const HeadlessCommand& command);
    // The TKP window's "TKP Scan Setting" dialog: the values on stderr, OK with Enter (the values
    // as they are: a line of text edits nothing here), CANCEL with Esc or the end of input.
    std::optional<checks::TkpScanSetting> askTkpScanSetting(const checks::TkpScanSetting& current);
    // After every tick and command: the state line, the finished checks, --start, the close.
    void afterActivity();
    void reportState();
    // Runs a step of the station (a tick, Start/Retry, a load) with the commands it pumps held
    // back where they would re-enter it.
    void work(const std::function<void()>& step);
    void errorLine(std::string_view text);

    std::FILE* out_;
    std::FILE* err_;
    platform::Clock& clock_;
    InputSource& input_;
    StopRequests& stop_;
    HeadlessOptions options_;
    Station* station_ = nullptr;
    RunControl* runControl_ = nullptr;

    bool tickRunning_ = false;
    std::uint64_t nextTickAt_ = 0;
    bool startEnabled_ = false;
    bool startPressed_ = false;
    bool closing_ = false;
    bool working_ = false;
    bool inputEnded_ = false;
    int checksSeen_ = 0;
    std::string prompt_;
    std::optional<std::string> stateShown_;
    // What one drawing window leaves for the next.
    checks::DrawingCarryOver drawingCarry_;
    // Commands that wait for the running check to end (a recipe load or a reset in the middle
    // of a check would pull its data away); at most kMaxDeferred.
    std::deque<HeadlessCommand> deferred_;
};

// The panel's word as the headless station reports it: the "NO DEVICE" blink is one steady
// state, not a line every second.
std::string_view headlessStateText(const RecipeSettings& recipe, const PanelState& panel);

}  // namespace station
