#pragma once
// The station's heartbeat: the 100 ms tick that keeps the touch collection connected, watches
// the start trigger and runs a whole check when it fires; the Start/Retry command; the
// operator's serial-number and Enter input; the station's start-up and orderly shutdown. Every
// front end (Qt window, headless, tests) drives the same object.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "station/sequence/station_state.h"

namespace station {

// What the run control keeps between ticks about its trigger and the automatic quit.
struct TriggerState {
    bool autoStartPending = false;  // automatic mode: a device was connected, its start is due
    bool autoRanOnce = false;       // automatic mode: its one check has run; no further start
    bool autoQuitArmed = false;
    std::int32_t autoQuitStart = 0;  // milliseconds within the minute
    std::int32_t autoQuitRemaining = 0;
    std::int32_t deviceWaitTicks = 0;  // the NO DEVICE blink without a recipe, 0..999
};

class RunControl {
public:
    explicit RunControl(Station& station);

    // Start-up after the front end exists: panel defaults, StartDirectory, then the recipe of
    // the command line (relative to the start folder) or the one chosen by product id; starts
    // the tick timer.
    void startUp(const std::string& startDirectory, std::string_view commandLine);
    // Read ini: the display reset and the load. Ignored while a check runs.
    void loadRecipe(const std::string& path);
    // The Clear button / reset command: counters, panel and list back to idle; the next Start
    // opens a new result log. Ignored while a check runs (its row is still being written).
    void resetDisplay();
    // Where the recipe loader's engineering trace goes (stderr unless told; empty drops it).
    void setRecipeTrace(std::function<void(std::string_view)> trace) { recipeTrace_ = std::move(trace); }

    // The tick; the front end calls it when the tick timer fires.
    void onTick();
    // The Start/Retry button.
    void onStartRetry();
    // A barcode scan into the serial-number field ('#' marks removed).
    void serialScanned(std::string_view text);
    // The Enter key outside a scan; true when it triggered (the key is then used up).
    bool enterPressed();

    // The orderly shutdown: totals and "result.log", controller back to normal mode, working
    // copies of the firmware removed. Runs once; later calls do nothing. Called while a check
    // runs (from inside the front end's event handling), it runs when that check has ended, so
    // the check's row is written before the totals.
    void shutdown();
    bool shutDown() const { return shutDown_; }

    // True while a check runs inside a tick or a Retry (a re-entered tick is ignored).
    bool busy() const { return busy_; }
    // The automatic quit fired (the front end closes, running shutdown()).
    bool closeRequested() const { return closeRequested_; }
    // Checks that ended (with a verdict or ERROR) since start-up.
    int checksEnded() const { return checksEnded_; }
    // The Start/Retry button takes a press (as the window shows it: disabled without a recipe,
    // while a check runs and after a check that ended without verdict).
    bool startEnabled() const { return startEnabled_; }
    // A scan reaches the serial number only while the field is writable (the trigger prompts
    // open it; a scan or the end of a check closes it).
    bool serialFieldWritable() const { return serialWritable_; }
    // Why the station cannot start another check without the operator (a recipe to read, Start,
    // a scan, Enter, or a Start or check that was refused and would be again); nullopt while it
    // can (a controller's connection is no input, nor a check the trigger has already fired).
    std::optional<std::string_view> operatorInputNeeded() const;
    // The last Start or trigger found a check the station cannot begin (a check this build
    // cannot run, a full result list); no check ran.
    bool checkRefused() const { return checkRefused_; }
    const TriggerState& triggerState() const { return trigger_; }

private:
    // What the station does after a verdict: calibration back on, the automatic mode's end,
    // the automatic quit and the reset before the next check.
    void afterCheck();
    // The judging sequence of a tick's check or a Retry, with its verdict and logs.
    void runSequenceAndLog();
    // The firmware writer (WRITE_FW); false when it could not run at all. A writer that failed
    // leaves firmwareFlags set: `toSequence` then skips straight to the judging sequence.
    bool writeFirmware(bool& toSequence);
    // The Hsync MCU writer (WRITE_HSYNC_FW) and then the pen; false when the writer could not run.
    bool writeHsyncAndOpenPen();
    void promptForTrigger();
    bool serialMatches(std::string_view serial) const;
    void waitForDevice();
    // The touch collection opened plainly (no maintenance set-up), for the shutdown.
    void reopenTouch();
    void resetStation();
    void setStartEnabled(bool on);
    void setSerialField(bool writable);
    void runTriggeredCheck();
    // A check has ended: a shutdown asked for meanwhile runs now.
    void checkOver();
    void startCommand();
    void retryCommand();

    Station& s_;
    TriggerState trigger_;
    bool busy_ = false;
    bool inTick_ = false;
    bool closeRequested_ = false;
    bool shutDown_ = false;
    bool shutdownPending_ = false;
    std::function<void(std::string_view)> recipeTrace_;
    // The Super-key guard is on: turned on once by a recipe with the home key check, off at
    // shutdown.
    bool superKeyGuard_ = false;
    bool startEnabled_ = false;
    bool serialWritable_ = false;
    bool logEverOpened_ = false;
    bool noLogsSaid_ = false;
    // The last Start could not open the result log; the last triggered check or Retry was
    // refused before it began.
    bool startRefused_ = false;
    bool checkRefused_ = false;
    int checksEnded_ = 0;
};

}  // namespace station
