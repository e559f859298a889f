#include "station/sequence/run_control.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "controllerlink/collection_choice.h"
#include "controllerlink/vendor_ids.h"
#include "station/recipe/recipe_loader.h"
#include "station/recipe/recipe_selection.h"
#include "station/sequence/check_sequence.h"
#include "station/sequence/connect.h"

namespace station {
namespace {

constexpr int kWaitTicksWrap = 1000;
constexpr int kWaitProbeTicks = 20;
constexpr int kMinuteMs = 60000;
constexpr std::uint32_t kAutoModeReportPauseMs = 15;
constexpr std::uint32_t kShutdownPauseMs = 10;

constexpr std::string_view kPromptReadIni = "Please read ini file.";
constexpr std::string_view kPromptStart = "Please press the start button.";
constexpr std::string_view kPromptConnect = "Waiting for a start triger:  Please connect the USB.";
constexpr std::string_view kPromptScan = "Waiting for a start triger:  Please scan the S/N with the barcode reader.";
constexpr std::string_view kPromptEnter = "Waiting for a start triger:  Please press 'enter' key.";
constexpr std::string_view kPromptAuto = "Auto mode can't retry:  Please reboot this software.";
constexpr std::string_view kPromptSerial = "Please input Serial Number.";
constexpr std::string_view kPromptRecordsLost = "Records were not saved: see the messages, then press Retry or Clear.";
constexpr std::string_view kRecordsLostSeen = "Lost records acknowledged: checks can start again.";

// The part of a serial number the recipe compares; a part beyond the end is empty.
std::string_view serialPart(std::string_view text, std::int32_t first, std::int32_t count) {
    if (first < 0 || count <= 0) return {};
    const auto pos = static_cast<std::size_t>(first);
    if (pos >= text.size()) return {};
    return text.substr(pos, static_cast<std::size_t>(count));
}

std::string withoutScanMarks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != '#') out.push_back(c);
    return out;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

void showMessages(UiPort& ui, const std::vector<std::string>& messages) {
    for (const std::string& m : messages) ui.appendMessage(m);
}

// A controller worth choosing a recipe for: any collection of the primary maker id, or the
// secondary id's touch collection.
bool controllerPresent(DeviceLink& touch) {
    touch.refreshFoundList();
    for (std::size_t i = 0; i < touch.found(); ++i) {
        const hidlink::CollectionIdentity& id = touch.foundList()[i];
        if (id.vendorId == controllerlink::VID_PRIMARY) return true;
        if (id.vendorId == controllerlink::VID_SECONDARY && id.usagePage == 0xFF11 &&
            (id.usage == 0x11 || id.usage == 0x0B))
            return true;
    }
    return false;
}

}  // namespace

RunControl::RunControl(Station& station) : s_(station), recipeTrace_(traceToStderr) {}

void RunControl::checkOver() {
    busy_ = false;
    if (shutdownPending_) shutdown();
}

void RunControl::setStartEnabled(bool on) {
    startEnabled_ = on;
    s_.ui.setStartEnabled(on);
}

void RunControl::setSerialField(bool writable) {
    serialWritable_ = writable;
    s_.ui.setSerialField(s_.counters.serialText, writable);
}

void RunControl::startUp(const std::string& startDirectory, std::string_view commandLine) {
    s_.recipe = RecipeSettings{};
    s_.counters = CheckCounters{};
    s_.check.clear();
    s_.texts = DeviceTextValues{};
    s_.state = StationState::Ready;
    s_.ui.setStartText("Start");
    setStartEnabled(false);
    setSerialField(false);
    s_.runs.clear();
    s_.ui.setResultCount(0);
    s_.flags = StationFlags{};
    trigger_ = TriggerState{};

    // Kept whole: a start folder is as long as the file system allows.
    s_.startDirectory = startDirectory;
    const std::string_view line = trimmed(commandLine);
    if (!line.empty()) {
        // A recipe named by an absolute path is taken as it stands.
        loadRecipe(line.front() == '/' ? std::string(line) : startDirectory + "/" + std::string(line));
    } else {
        RecipeSelector selector(s_.touch, [this](const std::string& path) { loadRecipe(path); });
        std::vector<std::string> messages;
        selector.SelectRecipeByPid(startDirectory, messages);
        showMessages(s_.ui, messages);
        s_.flags.deviceWaitIndicator = static_cast<std::int32_t>(selector.deviceWaitIndicator());
    }

    s_.ui.setTickTimer(true);
    s_.flags.accelEnabled = true;
    s_.ui.requestRepaint(RepaintArea::Window);
}

void RunControl::resetStation() {
    CheckCounters& c = s_.counters;
    c.checkCount = 0;
    c.okCount = 0;
    c.ngCount = 0;
    s_.state = StationState::Ready;
    // No check's times are shown after a reset.
    s_.check.clear();
    s_.texts.firmwareMajor = "---";
    s_.texts.firmwareMinor = "---";
    c.serialText.clear();
    setSerialField(false);
    s_.touch.close();
    showDisconnected(s_);
    s_.ui.setStartText("Start");
    setStartEnabled(s_.recipe.recipeLoaded);
    s_.flags.logOpen = false;
    // A new series: the operator has seen what the last one lost.
    s_.records.unseenFailure = false;
    startRefused_ = false;
    checkRefused_ = false;
    s_.runs.clear();
    s_.ui.setResultCount(0);
    s_.ui.requestRepaint(RepaintArea::StatusPanel);
}

void RunControl::resetDisplay() {
    if (busy_) return;
    s_.ui.resetDisplay();
    resetStation();
    if (s_.recipe.recipeLoaded) s_.ui.focusStartButton();
    s_.ui.requestRepaint(RepaintArea::Window);
}

void RunControl::loadRecipe(const std::string& path) {
    if (busy_) return;
    resetStation();
    s_.ui.resetDisplay();
    const RecipeEnvironment env{s_.startDirectory, firmwareImageChecksum, recipeTrace_};
    showMessages(s_.ui, LoadRecipe(s_.recipe, path, env).messages);
    // A recipe that was read (loaded or refused) with the home key check turns the Super-key
    // guard on; it stays on until the station closes.
    const bool read = s_.recipe.recipeLoaded || s_.recipe.recipeFailed;
    if (read && s_.recipe.HOMEKEY_CHECK != 0 && !superKeyGuard_) {
        s_.ui.setSuperKeyGuard(true);
        superKeyGuard_ = true;
    }
    setStartEnabled(s_.recipe.recipeLoaded);
    if (s_.recipe.recipeLoaded) s_.ui.focusStartButton();
    s_.ui.requestRepaint(RepaintArea::Window);
}

void RunControl::waitForDevice() {
    StationFlags& f = s_.flags;
    if (f.deviceWaitIndicator != 0) {
        trigger_.deviceWaitTicks = (trigger_.deviceWaitTicks + 1) % kWaitTicksWrap;
        if (trigger_.deviceWaitTicks % kWaitProbeTicks == 0) {
            if (controllerPresent(s_.touch)) {
                trigger_.deviceWaitTicks = 0;
                f.deviceWaitIndicator = 0;
            } else {
                f.deviceWaitIndicator = 2;
            }
        }
        if (trigger_.deviceWaitTicks % kWaitProbeTicks >= kWaitProbeTicks / 2) f.deviceWaitIndicator = 1;
    }
    s_.ui.setPrompt(kPromptReadIni);
}

void RunControl::promptForTrigger() {
    StationFlags& f = s_.flags;
    const bool mayFocus = !f.pointerOverControl;
    switch (s_.recipe.START_TRG) {
        case StartTrigger::DeviceConnected:
            s_.ui.setPrompt(kPromptConnect);
            break;
        case StartTrigger::SerialScanned:
        case StartTrigger::SerialThenEnter:
            if (f.serialEntered) {
                if (s_.recipe.START_TRG == StartTrigger::SerialScanned)
                    f.triggered = true;
                else
                    s_.ui.setPrompt(kPromptEnter);
            } else {
                s_.ui.setPrompt(kPromptScan);
                if (mayFocus) s_.ui.focusSerialField();
                if (!serialWritable_) setSerialField(true);
            }
            break;
        case StartTrigger::EnterKey:
            if (mayFocus) s_.ui.focusWindow();
            s_.ui.setPrompt(kPromptEnter);
            break;
        case StartTrigger::Automatic:
            if (trigger_.autoStartPending) {
                f.triggered = true;
                trigger_.autoStartPending = false;
            }
            if (mayFocus) s_.ui.focusWindow();
            s_.ui.setPrompt(kPromptAuto);
            break;
        default:
            break;  // an unknown trigger never starts a check
    }
}

void RunControl::onTick() {
    if (inTick_ || busy_ || closeRequested_ || shutDown_) return;
    if (s_.results != nullptr) s_.results->poll(s_);
    inTick_ = true;
    StationFlags& f = s_.flags;
    const RecipeSettings& r = s_.recipe;

    // The timer stays stopped while this tick runs; events waiting meanwhile are handled first.
    s_.ui.setTickTimer(false);
    s_.ui.pumpMessages();
    if (shutDown_) {
        inTick_ = false;
        return;
    }

    // The automatic quit counts milliseconds within the minute.
    if (trigger_.autoQuitArmed) {
        int elapsed = platform::millisecondsInMinute(s_.clock.timeOfDay()) - trigger_.autoQuitStart;
        if (elapsed < 0) elapsed += kMinuteMs;
        trigger_.autoQuitRemaining = std::max(0, r.AUTO_QUIT_TIME - elapsed);
        if (trigger_.autoQuitRemaining == 0) {
            trigger_.autoQuitArmed = false;
            closeRequested_ = true;
            inTick_ = false;
            s_.ui.requestClose();
            return;  // the window closes: no further tick
        }
    }

    if (!r.recipeLoaded) {
        waitForDevice();
    } else {
        // Keep the touch collection connected; a fresh connection is the trigger of modes 0 and 4.
        const ConnectResult result = connectTouch(s_);
        if (result == ConnectResult::Opened) {
            s_.ui.setPrompt("");
            showDeviceInfo(s_);
            if (r.START_TRG == StartTrigger::DeviceConnected) {
                f.triggered = true;
                f.serialEntered = false;
            }
            if (r.START_TRG == StartTrigger::Automatic && !trigger_.autoRanOnce) trigger_.autoStartPending = true;
        } else if (result != ConnectResult::StillPresent) {
            showDisconnected(s_);
        }
        // A station showing ERROR resets the controller before the next check.
        if (s_.state == StationState::Error) f.resetRequested = true;

        if (!f.logOpen) {
            if (r.START_TRG == StartTrigger::Automatic && trigger_.autoStartPending && !s_.records.unseenFailure)
                onStartRetry();
            s_.ui.setPrompt(kPromptStart);
        } else if (s_.records.unseenFailure) {
            // No check starts over a lost record until the operator has seen it; a trigger
            // meanwhile is dropped, not kept for later.
            f.triggered = false;
            f.serialEntered = false;
            s_.ui.setPrompt(kPromptRecordsLost);
        } else {
            promptForTrigger();
            // The trigger fired: serial number, then the check.
            if (f.triggered) {
                if (r.ENTER_SN != 0 && !f.serialEntered) {
                    s_.ui.setPrompt(kPromptSerial);
                    if (const auto answer = s_.ui.askSerialNumber(s_.counters.serialText)) {
                        s_.counters.serialText = withoutScanMarks(*answer);
                        f.serialEntered = true;
                        s_.ui.setSerialField(s_.counters.serialText, serialWritable_);
                    } else {
                        f.serialEntered = false;
                    }
                    s_.ui.requestRepaint(RepaintArea::Window);
                } else if (r.ENTER_SN == 0) {
                    f.serialEntered = true;
                }
                // Without a serial number the trigger stays set: the next tick asks again.
                if (f.serialEntered) runTriggeredCheck();
            }
        }
    }

    s_.ui.requestRepaint(RepaintArea::StatusPanel);
    inTick_ = false;
    if (!shutDown_) s_.ui.setTickTimer(true);
}

bool RunControl::serialMatches(std::string_view serial) const {
    const RecipeSettings& r = s_.recipe;
    return serialPart(r.SN_STRING, r.SN_MIN, r.SN_NUM) == serialPart(serial, r.SN_MIN, r.SN_NUM);
}

bool RunControl::writeFirmware(bool& toSequence) {
    toSequence = false;
    CheckContext context = s_.checkContext();
    if (!s_.runners->run(RunnerCheck::FirmwareWrite, context).ran) return false;
    toSequence = s_.check.detail.firmwareFlags != 0;
    return true;
}

bool RunControl::writeHsyncAndOpenPen() {
    if (s_.recipe.WRITE_HSYNC_FW != 0) {
        CheckContext context = s_.checkContext();
        if (!s_.runners->run(RunnerCheck::HsyncFirmwareWrite, context).ran) return false;
        if (s_.check.detail.firmwareFlags == 0) connectPenAndKeep(s_);
    } else {
        connectPenAndKeep(s_);
    }
    return true;
}

void RunControl::runTriggeredCheck() {
    StationFlags& f = s_.flags;
    const RecipeSettings& r = s_.recipe;
    busy_ = true;

    s_.ui.setPrompt("");
    bool sequence = beginCheck(s_, false);
    checkRefused_ = !sequence;
    if (sequence) {
        s_.logs->beginCheck(s_);
        startEnabled_ = false;
        s_.ui.requestRepaint(RepaintArea::StatusPanel);
        s_.ui.pumpMessages();
        if (f.resetRequested) resetAndReconnect(s_);

        if (!serialMatches(s_.counters.serialText)) {
            s_.check.detail.serialNg = 1;
        } else {
            bool toSequence = false;
            if (r.WRITE_FW != 0) {
                sequence = writeFirmware(toSequence);
            } else if (!connectTouchAndShow(s_)) {
                toSequence = true;
            }
            if (sequence && !toSequence) {
                if (r.WRITE_FW != 0 && r.COMPARE_FWVER != 0 && s_.check.firmware.writerStarted) f.resetRequested = true;
                if (f.resetRequested) resetAndReconnect(s_);
                sequence = writeHsyncAndOpenPen();
            }
        }
        if (sequence)
            runSequenceAndLog();
        else if (s_.state == StationState::Error)
            finishCheck(s_);
    }

    // The check is over: the next one waits for a new trigger and serial number.
    f.triggered = false;
    f.serialEntered = false;
    // Kept in every mode, so a Retry names the device it re-checks.
    s_.counters.savedSerial = s_.counters.serialText;
    if (r.START_TRG == StartTrigger::SerialScanned || r.START_TRG == StartTrigger::SerialThenEnter ||
        r.START_TRG == StartTrigger::EnterKey) {
        s_.counters.serialText.clear();
        setSerialField(false);
        s_.ui.requestRepaint(RepaintArea::Window);
    }
    checkOver();
}

void RunControl::runSequenceAndLog() {
    // A check refused before it started carries the previous check's record: nothing to store.
    const bool started = s_.check.running;
    const bool verdict = runCheckSequence(s_);
    if (s_.touch.abortRequested())
        s_.ui.appendMessage("The check was aborted by a second stop signal: no verdict, the station closes.");
    if (verdict) {
        finishCheck(s_);
        startEnabled_ = true;  // the sequence enabled the button with its verdict
        s_.logs->writeDetailCsv(s_, s_.check.detail.ngTotal == 0);
        s_.logs->appendResultRow(s_);
        afterCheck();
    } else {
        endWithoutVerdict(s_);
    }
    ++checksEnded_;
    if (s_.results != nullptr && started) s_.results->checkEnded(s_);
}

void RunControl::afterCheck() {
    const RecipeSettings& r = s_.recipe;
    StationFlags& f = s_.flags;
    // Automatic calibration back on, then one calibration.
    s_.touch.calibrationControl(2);
    s_.touch.calibrationControl(0);
    if (r.START_TRG == StartTrigger::Automatic) {
        s_.touch.setReportType(0);
        s_.clock.sleepMs(kAutoModeReportPauseMs);
        trigger_.autoRanOnce = true;
    }
    const bool ok = s_.state == StationState::Ok;
    const bool ng = s_.state == StationState::Ng;
    if (r.AUTO_QUIT_TIME != 0 && (ok || (ng && r.FORCED_AUTO_QUIT != 0))) {
        trigger_.autoQuitArmed = true;
        trigger_.autoQuitStart = platform::millisecondsInMinute(s_.clock.timeOfDay());
        trigger_.autoQuitRemaining = r.AUTO_QUIT_TIME;
    }
    // An NG device, or a pen check without the sensor checks, starts the next check with a reset.
    if (ng || (r.TKP_CHECK != 0 && r.SHORT_CHECK == 0 && r.RAW_CHECK == 0)) f.resetRequested = true;
}

void RunControl::onStartRetry() {
    if (busy_ || shutDown_) return;
    if (s_.records.unseenFailure) {
        // The press that shows the operator has seen the lost record; it starts nothing.
        s_.records.unseenFailure = false;
        s_.ui.appendMessage(kRecordsLostSeen);
        s_.ui.requestRepaint(RepaintArea::StatusPanel);
        return;
    }
    if (!s_.flags.logOpen)
        startCommand();
    else
        retryCommand();
}

void RunControl::startCommand() {
    StationFlags& f = s_.flags;
    if (!s_.recipe.recipeLoaded) return;  // the button is disabled without a recipe
    startRefused_ = true;
    if (s_.logs == nullptr) {
        // No check may run without its log.
        if (!noLogsSaid_) s_.ui.appendMessage("This build cannot write the result log: no check can be started.");
        noLogsSaid_ = true;
        return;
    }
    if (!s_.logs->openResultLog(s_)) return;
    startRefused_ = false;
    logEverOpened_ = true;
    s_.logs->buildDetailCsvHeader(s_);
    s_.ui.setStartText("Retry");
    setStartEnabled(false);
    f.logOpen = true;
    f.triggered = false;
}

void RunControl::retryCommand() {
    // Retry re-checks a device that got a verdict; the button is disabled otherwise.
    if (!startEnabled_) return;
    StationFlags& f = s_.flags;
    const RecipeSettings& r = s_.recipe;
    busy_ = true;
    s_.ui.setTickTimer(false);
    checkRefused_ = !beginCheck(s_, true);
    if (!checkRefused_) {
        s_.logs->beginCheck(s_);
        startEnabled_ = false;
        if (f.resetRequested) resetAndReconnect(s_);
        bool sequence = true;
        // The same device again: its saved serial number is compared like a first check's.
        if (!serialMatches(s_.counters.savedSerial)) {
            s_.check.detail.serialNg = 1;
        } else if (connectTouchAndShow(s_)) {
            bool toSequence = false;
            if (r.WRITE_FW != 0) sequence = writeFirmware(toSequence);
            if (sequence && !toSequence) sequence = writeHsyncAndOpenPen();
        }
        if (sequence) runSequenceAndLog();
    }
    f.triggered = false;
    checkOver();
    if (!shutDown_) s_.ui.setTickTimer(true);
}

std::optional<std::string_view> RunControl::operatorInputNeeded() const {
    const StationFlags& f = s_.flags;
    const RecipeSettings& r = s_.recipe;
    if (busy_ || shutDown_ || closeRequested_) return std::nullopt;
    // Without a recipe only Read ini helps: a controller plugged in later does not load one.
    if (!r.recipeLoaded) return r.recipeFailed ? "the recipe could not be loaded" : "no recipe is loaded";
    if (!f.logOpen) {
        if (startRefused_) return "Start could not open the result log";
        if (r.START_TRG == StartTrigger::Automatic && trigger_.autoStartPending) return std::nullopt;
        return "Start was not pressed";
    }
    if (checkRefused_) return "the check was refused";
    if (f.triggered) {
        if (r.ENTER_SN != 0 && !f.serialEntered) return "the serial-number dialog waits for a scan";
        return std::nullopt;
    }
    switch (r.START_TRG) {
        case StartTrigger::DeviceConnected:
            return std::nullopt;  // the next connection starts a check
        case StartTrigger::SerialScanned:
            if (!f.serialEntered) return "the start trigger waits for a scanned serial number";
            return std::nullopt;
        case StartTrigger::SerialThenEnter:
            if (!f.serialEntered) return "the start trigger waits for a scanned serial number";
            return "the start trigger waits for the Enter key";
        case StartTrigger::EnterKey:
            return "the start trigger waits for the Enter key";
        case StartTrigger::Automatic:
            if (trigger_.autoRanOnce) return "the automatic mode runs one check (Retry)";
            return std::nullopt;
        default:
            return "the recipe's start trigger never fires";
    }
}

void RunControl::serialScanned(std::string_view text) {
    if (!serialWritable_) return;  // a read-only field takes no keys
    s_.counters.serialText = withoutScanMarks(text);
    s_.flags.serialEntered = true;
    setSerialField(false);
}

bool RunControl::enterPressed() {
    const StartTrigger trigger = s_.recipe.START_TRG;
    if ((trigger == StartTrigger::SerialThenEnter && s_.flags.serialEntered) || trigger == StartTrigger::EnterKey) {
        s_.flags.triggered = true;
        return true;
    }
    return false;
}

void RunControl::reopenTouch() {
    DeviceLink& t = s_.touch;
    t.refreshFoundList();
    const auto entry = controllerlink::findTouchCollection(std::span(t.foundList()).first(t.found()), s_.generation());
    if (entry) t.open(*entry);
}

void RunControl::shutdown() {
    if (shutDown_) return;
    if (busy_) {
        shutdownPending_ = true;
        return;
    }
    shutDown_ = true;
    s_.ui.setTickTimer(false);
    // Totals and the result log's copy.
    if (s_.logs != nullptr && logEverOpened_) s_.logs->closeResultLog(s_);
    if (s_.results != nullptr) s_.results->close(s_);
    // A run that lost a record never ends as a success, whatever its last verdict.
    if (s_.records.lostInRun) s_.exitCode = kExitRecordsLost;
    // A link closed while its controller was in maintenance mode (a connection cut short by a
    // stop signal, Clear): opened once more to put the controller back.
    if (!s_.touch.isOpen() && s_.touch.maintenanceModeSet()) reopenTouch();
    // The controller back to its normal mode; every request paces itself, failures are
    // ignored: the station closes in any case.
    if (s_.touch.isOpen()) {
        s_.touch.calibrationControl(2);
        s_.touch.calibrationControl(0);
        s_.touch.setReportType(0);
        s_.touch.setDeviceMode(0);
        s_.clock.sleepMs(kShutdownPauseMs);
    }
    s_.touch.close();
    s_.pen.close();
    s_.ui.setSuperKeyGuard(false);
    superKeyGuard_ = false;
    // The firmware working copies.
    const std::filesystem::path folder =
        s_.startDirectory.empty() ? std::filesystem::path(".") : std::filesystem::path(s_.startDirectory);
    std::error_code ignored;
    std::filesystem::remove(folder / "_tmp.hex", ignored);
    std::filesystem::remove(folder / "_tmpRL78.hex", ignored);
}

}  // namespace station
