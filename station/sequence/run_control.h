#pragma once
// The station's heartbeat: the 100 ms tick that keeps the touch collection connected, watches
// the start trigger and runs a whole check when it fires; the Start/Retry command; the
// operator's serial-number and Enter input; the station's start-up and orderly shutdown. Every
// front end (Qt window, headless, tests) drives the same object.
#include <string>
#include <string_view>

#include "station/sequence/station_state.h"

namespace station {

class RunControl {
public:
    explicit RunControl(Station& station);

    // Start-up after the front end exists: panel defaults, StartDirectory, then the recipe of
    // the command line (relative to the start folder) or the one chosen by product id; starts
    // the tick timer.
    void startUp(const std::string& startDirectory, std::string_view commandLine);
    // Read ini: the display reset and the load.
    void loadRecipe(const std::string& path);
    // The Clear button / reset command: counters, panel and list back to idle; the next Start
    // opens a new result log.
    void resetDisplay();

    // The tick; the front end calls it when the tick timer fires.
    void onTick();
    // The Start/Retry button.
    void onStartRetry();
    // A barcode scan into the serial-number field ('#' marks removed).
    void serialScanned(std::string_view text);
    // The Enter key outside a scan.
    void enterPressed();

    // The orderly shutdown: totals and "result.log", controller back to normal mode, working
    // copies of the firmware removed. Runs once; later calls do nothing.
    void shutdown();

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

private:
    // What the station does after a verdict: calibration back on, the automatic mode's end,
    // the automatic quit and the reset before the next check.
    void afterCheck();
    // Steps 8.7 and 8.8 of a tick and the end of a Retry: the sequence, its verdict and logs.
    void runSequenceAndLog();
    void endCheck(bool verdict);
    // The firmware writer runners before the sequence; false when one could not run.
    bool writeFirmwareSteps(bool& skipToSequence);
    void promptForTrigger();
    bool serialMatches() const;
    void waitForDevice();
    void resetStation();
    void setStartEnabled(bool on);
    void setSerialField(bool writable);
    void runTriggeredCheck();
    void startCommand();
    void retryCommand();

    Station& s_;
    bool busy_ = false;
    bool inTick_ = false;
    bool closeRequested_ = false;
    bool shutDown_ = false;
    bool startEnabled_ = false;
    bool serialWritable_ = false;
    bool logEverOpened_ = false;
    bool noLogsSaid_ = false;
    int checksEnded_ = 0;
};

}  // namespace station
