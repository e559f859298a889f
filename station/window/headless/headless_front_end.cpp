#include "station/window/headless/headless_front_end.h"

#include "controllerlink/raw_input.h"
#include "station/checks/logic/drawing_inputs.h"
#include "station/checks/logic/home_key_inputs.h"
#include "station/checks/logic/home_key_scene.h"
#include "station/checks/logic/link_readers.h"
#include "station/checks/logic/tkp_inputs.h"
#include "station/checks/logic/tkp_scene.h"
#include "station/sequence/check_windows.h"
#include "station/window/panel/panel_text.h"

namespace station {
namespace {

// Nothing to wait for while the tick timer is stopped (a modal tool): wake now and then anyway.
constexpr std::uint64_t kIdleWaitMs = 1000;

}  // namespace

std::string_view headlessStateText(const RecipeSettings& recipe, const PanelState& panel) {
    if (!recipe.recipeFailed && !recipe.recipeLoaded && panel.deviceWaitIndicator != 0) return "NO DEVICE";
    return panelStateText(recipe, panel);
}

HeadlessFrontEnd::HeadlessFrontEnd(std::FILE* out, std::FILE* err, platform::Clock& clock, InputSource& input,
                                   StopRequests& stop, HeadlessOptions options)
    : out_(out), err_(err), clock_(clock), input_(input), stop_(stop), options_(options) {}

void HeadlessFrontEnd::attach(Station& station, RunControl& runControl) {
    station_ = &station;
    runControl_ = &runControl;
}

void HeadlessFrontEnd::appendMessage(std::string_view text) {
    // One line per message: a line end inside would look like two messages to a reader. Other
    // control characters (a scanner's escape sequence) are shown, not obeyed by the terminal.
    std::string_view trimmed = text;
    while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.remove_suffix(1);
    std::string line;
    line.reserve(trimmed.size() + 1);
    for (const char c : trimmed) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\n' || c == '\r') {
            line += ' ';
        } else if ((b < 0x20 && c != '\t') || b == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            line += "\\x";
            line += kHex[b >> 4];
            line += kHex[b & 0x0F];
        } else {
            line += c;
        }
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

void HeadlessFrontEnd::setPrompt(std::string_view text) {
    if (text == prompt_) return;
    prompt_ = text;
    std::fprintf(err_, "prompt: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
}

void HeadlessFrontEnd::errorLine(std::string_view text) {
    std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
}

void HeadlessFrontEnd::reportState() {
    if (station_ == nullptr) return;
    const std::string_view text = headlessStateText(station_->recipe, panelStateOf(*station_));
    if (stateShown_ && *stateShown_ == text) return;
    stateShown_ = std::string(text);
    std::fprintf(err_, "state: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
}

void HeadlessFrontEnd::setTickTimer(bool running) {
    tickRunning_ = running;
    // The next tick comes one period after the timer was set, so a long check delays it.
    if (running) nextTickAt_ = clock_.monotonicMs() + kTickMs;
}

void HeadlessFrontEnd::takeStopRequest() {
    if (stop_.closeRequested()) closing_ = true;
}

void HeadlessFrontEnd::pumpMessages() {
    takeStopRequest();
    // A full list of waiting commands leaves the rest of the input unread until the work ends.
    while (!closing_ && deferred_.size() < kMaxDeferred) {
        auto event = input_.next(0);
        if (!event) break;
        handle(*event);
    }
    reportState();
}

std::optional<std::string> HeadlessFrontEnd::askSerialNumber(std::string_view current) {
    if (closing_ || inputEnded_) return std::nullopt;
    errorLine("serial number: waiting for 'sn TEXT' (current: '" + std::string(current) + "')");
    std::optional<std::string> answer;
    runWindow("serial-number", 0, {}, true, [&](const HeadlessCommand& c) {
        if (c.kind == HeadlessCommand::Kind::SerialNumber) {
            answer = c.argument;
            return true;
        }
        if (c.kind == HeadlessCommand::Kind::Key && c.argument == "Esc") return true;
        errorLine("command ignored: the serial-number dialog is open (answer with 'sn TEXT', or 'esc')");
        return false;
    });
    return answer;
}

bool HeadlessFrontEnd::runExternalSwitchDialog(const std::function<bool()>& step) {
    if (closing_) return false;
    bool passed = false;
    runWindow(
        "ext-switch", kSwitchStepMs,
        [&] {
            passed = step();
            return passed;
        },
        false,
        [this](const HeadlessCommand& c) {
            // Its one button, Cancel, has the focus: Enter and Space press it, Esc closes.
            if (c.kind == HeadlessCommand::Kind::Key &&
                (c.argument == "Esc" || c.argument == "Enter" || c.argument == "Space"))
                return true;
            errorLine("command ignored: the ext-switch window is open (push the external switch, or 'esc' to cancel)");
            return false;
        });
    return passed;
}

void HeadlessFrontEnd::runCheckWindow(const CheckWindowRequest& request, CheckContext& check) {
    if (station_ == nullptr) return;
    switch (request.which) {
        case CheckWindow::Drawing:
            return runDrawingWindow(request, check);
        case CheckWindow::Tkp:
            return runTkpWindow(check);
        case CheckWindow::HomeKey:
            return runHomeKeyWindow(request, check);
    }
}

void HeadlessFrontEnd::startDigitizer(CheckWindow which, const checks::CheckWindowLogic& window,
                                      controllerlink::RawInputReader& raw, const CheckContext& check,
                                      hidlink::QueuedReports& reports) {
    // In driver mode the first touches come from the system's digitizer collection.
    if (window.rawInputTaken() && !raw.start(check.touch.openedIdentity(), reports))
        errorLine(std::string(checkWindowName(which)) + ": the digitizer collection could not be read");
}

void HeadlessFrontEnd::runOpenCheckWindow(CheckWindow which, checks::CheckWindowLogic& window,
                                          hidlink::QueuedReports& reports, controllerlink::RawInputReader* raw,
                                          const std::function<std::string()>& shown) {
    const std::string name(checkWindowName(which));
    std::string said;
    // What the window shows the operator, once per change.
    const auto say = [&] {
        if (window.closed()) return;
        std::string line = shown();
        if (line != said) errorLine(name + ": " + line);
        said = std::move(line);
    };
    runWindow(
        name, kReportPollMs,
        [&] {
            deliverQueuedReports(reports, window, raw);
            if (raw != nullptr && raw->running() && !window.rawInputTaken()) raw->stop();
            // Before the tick too: a window that ends at the tick says its last state first.
            say();
            if (window.timerFired()) {
                window.painted();
                window.rearmTimer();
            }
            say();
            return window.closed();
        },
        false,
        [&](const HeadlessCommand& c) {
            if (c.kind == HeadlessCommand::Kind::Key) {
                window.onKey(checkKeyNamed(c.argument));
                window.painted();
                return window.closed();
            }
            errorLine("command ignored: the " + name + " window is open (its keys with 'key NAME', or 'esc')");
            return false;
        });
    // A quit or a stop signal leaves the window open: it closes now, with what it has judged.
    window.close();
    if (raw != nullptr) raw->stop();
}

void HeadlessFrontEnd::runDrawingWindow(const CheckWindowRequest& request, CheckContext& check) {
    hidlink::QueuedReports reports;
    checks::LinkReaders readers(check.touch, check.pen, reports);
    HeadlessWindowHost host([this](std::string_view text) { setPrompt(text); },
                            [this](std::string_view text) { errorLine(text); }, station_->startDirectory,
                            drawingSnapshot);
    checks::DrawingCheck window(checks::drawingInputs(request, check, kHeadlessScreen), drawingCarry_, readers, host,
                                clock_);
    host.attach(window);
    window.open();
    controllerlink::RawInputReader raw(check.touch.table());
    startDigitizer(CheckWindow::Drawing, window, raw, check, reports);
    runOpenCheckWindow(CheckWindow::Drawing, window, reports, &raw, [&] { return drawingInstructionLine(window); });
}

namespace {

class HeadlessTkpDialog final : public checks::TkpSettingDialog {
public:
    explicit HeadlessTkpDialog(std::function<std::optional<checks::TkpScanSetting>(const checks::TkpScanSetting&)> ask)
        : ask_(std::move(ask)) {}
    std::optional<checks::TkpScanSetting> edit(const checks::TkpScanSetting& current) override { return ask_(current); }

private:
    std::function<std::optional<checks::TkpScanSetting>(const checks::TkpScanSetting&)> ask_;
};

}  // namespace

std::optional<checks::TkpScanSetting> HeadlessFrontEnd::askTkpScanSetting(const checks::TkpScanSetting& current) {
    errorLine("TKP Scan Setting: Gain X " + std::to_string(current.gainX) + ", Gain Y " +
              std::to_string(current.gainY) + ", Enable " + std::to_string(current.enable) + ", Blank " +
              std::to_string(current.blank) + " ('enter': OK, 'esc': CANCEL)");
    bool ok = false;
    runWindow("tkp-scan-setting", 0, {}, true, [&](const HeadlessCommand& c) {
        const bool enter =
            c.kind == HeadlessCommand::Kind::Enter || (c.kind == HeadlessCommand::Kind::Key && c.argument == "Enter");
        if (enter || (c.kind == HeadlessCommand::Kind::Key && c.argument == "Esc")) {
            ok = enter;
            return true;
        }
        errorLine("command ignored: the tkp-scan-setting dialog is open ('enter' for OK, 'esc' for CANCEL)");
        return false;
    });
    if (!ok) return std::nullopt;
    return current;
}

void HeadlessFrontEnd::runTkpWindow(CheckContext& check) {
    hidlink::QueuedReports reports;
    checks::LinkReaders readers(check.touch, check.pen, reports);
    HeadlessWindowHost host([this](std::string_view text) { setPrompt(text); },
                            [this](std::string_view text) { errorLine(text); }, station_->startDirectory, {});
    checks::PenLinkDevice device(check.pen);
    HeadlessTkpDialog dialog([this](const checks::TkpScanSetting& s) { return askTkpScanSetting(s); });
    checks::TkpCheck window(checks::tkpInputs(check), device, &dialog, readers, host, clock_);
    window.open();
    controllerlink::RawInputReader raw(check.touch.table());
    startDigitizer(CheckWindow::Tkp, window, raw, check, reports);
    runOpenCheckWindow(CheckWindow::Tkp, window, reports, &raw, [&] { return checks::tkpPhaseText(window.phase()); });
}

void HeadlessFrontEnd::runHomeKeyWindow(const CheckWindowRequest& request, CheckContext& check) {
    hidlink::QueuedReports reports;
    checks::LinkReaders readers(check.touch, check.pen, reports);
    HeadlessWindowHost host([this](std::string_view text) { setPrompt(text); },
                            [this](std::string_view text) { errorLine(text); }, station_->startDirectory, {});
    checks::HomeKeyCheck window(checks::homeKeyInputs(request, check, kHeadlessScreen), readers, host, clock_);
    window.open();
    // The home key data come as the controller's reports; the digitizer is not read.
    runOpenCheckWindow(CheckWindow::HomeKey, window, reports, nullptr,
                       [&] { return checks::homeKeyPhaseText(window.phase()); });
}

void HeadlessFrontEnd::runWindow(std::string_view name, std::uint64_t stepMs, const std::function<bool()>& step,
                                 bool closeAtEndOfInput, const std::function<bool(const HeadlessCommand&)>& onCommand) {
    errorLine("window: " + std::string(name));
    std::uint64_t nextStepAt = clock_.monotonicMs() + stepMs;
    for (;;) {
        takeStopRequest();
        if (closing_) break;
        if (stepMs != 0 && clock_.monotonicMs() >= nextStepAt) {
            if (step()) break;
            nextStepAt = clock_.monotonicMs() + stepMs;
            continue;
        }
        const std::uint64_t now = clock_.monotonicMs();
        auto event = input_.next(stepMs != 0 ? nextStepAt - now : kIdleWaitMs);
        if (!event) continue;
        if (event->kind == InputEvent::Kind::End) {
            inputEnded_ = true;
            if (closeAtEndOfInput) break;
            continue;
        }
        if (event->kind == InputEvent::Kind::TooLong) {
            handle(*event);
            continue;
        }
        const ParsedLine parsed = parseHeadlessCommand(event->text);
        if (!parsed.error.empty()) errorLine(parsed.error);
        if (!parsed.command) continue;
        if (parsed.command->kind == HeadlessCommand::Kind::Quit) {
            closing_ = true;
            break;
        }
        if (onCommand(*parsed.command)) break;
    }
    errorLine("window: closed " + std::string(name));
}

void HeadlessFrontEnd::handle(const InputEvent& event) {
    switch (event.kind) {
        case InputEvent::Kind::End:
            inputEnded_ = true;  // the operator walked away: the station keeps running
            return;
        case InputEvent::Kind::TooLong:
            errorLine("command ignored: the line is too long");
            return;
        case InputEvent::Kind::Line:
            break;
    }
    const ParsedLine parsed = parseHeadlessCommand(event.text);
    if (!parsed.error.empty()) errorLine(parsed.error);
    if (parsed.command) runCommand(*parsed.command);
}

void HeadlessFrontEnd::runCommand(const HeadlessCommand& command) {
    RunControl& rc = *runControl_;
    const bool isStart = command.kind == HeadlessCommand::Kind::Start;
    if (working_ &&
        (isStart || command.kind == HeadlessCommand::Kind::Reset || command.kind == HeadlessCommand::Kind::Load)) {
        // Pumped inside a tick or a check: the window's button is disabled while a check runs;
        // the rest waits until the station's work returns (a recipe load or a reset in the
        // middle of it would pull its data away).
        if (isStart && rc.busy())
            errorLine("command ignored: start (the Start/Retry button is disabled while a check runs)");
        else
            deferred_.push_back(command);
        return;
    }
    switch (command.kind) {
        case HeadlessCommand::Kind::Quit:
            closing_ = true;
            break;
        case HeadlessCommand::Kind::Key:
            errorLine("command ignored: key " + command.argument + " (no window is open)");
            break;
        case HeadlessCommand::Kind::SerialNumber:
            rc.serialScanned(command.argument);
            break;
        case HeadlessCommand::Kind::Enter:
            rc.enterPressed();
            break;
        case HeadlessCommand::Kind::Start:
            if (!startEnabled_)
                errorLine("command ignored: start (the Start/Retry button is disabled)");
            else
                work([&rc] { rc.onStartRetry(); });
            break;
        case HeadlessCommand::Kind::Reset:
            work([&rc] { rc.resetDisplay(); });
            break;
        case HeadlessCommand::Kind::Load: {
            // As the file dialog gives it: an absolute path (a relative one from the folder
            // the station started in, its working directory).
            const std::string& name = command.argument;
            const std::string recipe = name.front() == '/' ? name : station_->startDirectory + "/" + name;
            work([&rc, &recipe] { rc.loadRecipe(recipe); });
            startPressed_ = false;  // --start: Start again for the new recipe
            break;
        }
    }
}

void HeadlessFrontEnd::work(const std::function<void()>& step) {
    working_ = true;
    stop_.setWorking(true);
    step();
    stop_.setWorking(false);
    working_ = false;
}

void HeadlessFrontEnd::afterActivity() {
    Station& s = *station_;
    RunControl& rc = *runControl_;
    reportState();
    while (rc.checksEnded() > checksSeen_) {
        ++checksSeen_;
        if (onCheckEnded) onCheckEnded(s);
    }
    if (options_.pressStart && !startPressed_ && s.recipe.recipeLoaded && !s.recipe.recipeFailed && !s.flags.logOpen &&
        startEnabled_ && !closing_) {
        startPressed_ = true;
        work([&rc] { rc.onStartRetry(); });
        reportState();
        while (rc.checksEnded() > checksSeen_) {
            ++checksSeen_;
            if (onCheckEnded) onCheckEnded(s);
        }
    }
    if (rc.closeRequested()) closing_ = true;
    if (options_.checkLimit > 0 && rc.checksEnded() >= options_.checkLimit) closing_ = true;
    // A lost record holds the next check until the operator has seen it: with --checks and no
    // input left, nobody will.
    if (options_.checkLimit > 0 && inputEnded_ && s.records.unseenFailure && !closing_) {
        errorLine("closing: a record was not saved and no input is left to acknowledge it");
        closing_ = true;
    }
    takeStopRequest();
    closeWhenStalled();
}

void HeadlessFrontEnd::closeWhenStalled() {
    RunControl& rc = *runControl_;
    if (closing_ || options_.checkLimit <= 0 || rc.busy() || rc.shutDown()) return;
    // A refused check stays refused whatever comes: --checks cannot be met, so say so and end
    // instead of waiting for input that cannot help.
    if (rc.checkRefused()) {
        errorLine("stopped: the check was refused (" + std::to_string(rc.checksEnded()) + " of " +
                  std::to_string(options_.checkLimit) + " checks ended)");
        station_->exitCode = -1;
        closing_ = true;
        return;
    }
    if (!inputEnded_) return;
    // (--start has pressed Start by now where it could.)
    const std::optional<std::string_view> why = rc.operatorInputNeeded();
    if (!why) return;
    errorLine("stopped: " + std::string(*why) + ", and standard input has ended (" + std::to_string(rc.checksEnded()) +
              " of " + std::to_string(options_.checkLimit) + " checks ended)");
    // The run did not do what it was asked: never a success.
    station_->exitCode = -1;
    closing_ = true;
}

void HeadlessFrontEnd::run() {
    afterActivity();
    while (!closing_) {
        takeStopRequest();
        while (!deferred_.empty() && !closing_) {
            const HeadlessCommand command = deferred_.front();
            deferred_.pop_front();
            runCommand(command);
            afterActivity();
        }
        if (closing_) break;
        const std::uint64_t now = clock_.monotonicMs();
        if (tickRunning_ && now >= nextTickAt_) {
            tickRunning_ = false;  // a tick that does not set the timer again stops it
            work([this] { runControl_->onTick(); });
            afterActivity();
            continue;
        }
        const std::uint64_t wait = tickRunning_ ? nextTickAt_ - now : kIdleWaitMs;
        if (auto event = input_.next(wait)) {
            handle(*event);
            afterActivity();
        }
    }
    runControl_->shutdown();
    reportState();
    std::fprintf(err_, "exit code: %d\n", static_cast<int>(station_->exitCode));
    std::fflush(err_);
}

}  // namespace station
