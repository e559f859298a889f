// The run control on the virtual controller: the start triggers, the prompts, the serial
// number, Retry, the automatic mode and quit, the wait for a device, start-up and shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "run_control_rig.h"

namespace station::test {
namespace {

// Runs a script of operator and device events, one character each, and gives the checks ended
// after each: S Start/Retry, t tick, e Enter, n a scan of "SN1", u unplug, r replug.
std::string play(RunRig& rig, std::string_view ops) {
    std::string ended;
    for (const char op : ops) {
        switch (op) {
            case 'S':
                rig.control.onStartRetry();
                break;
            case 't':
                rig.tick();
                break;
            case 'e':
                rig.control.enterPressed();
                break;
            case 'n':
                rig.control.serialScanned("#SN1");
                break;
            case 'u':
                rig.bus.unplug(rig.deviceId);
                break;
            case 'r':
                rig.bus.replug(rig.deviceId);
                break;
            default:
                ADD_FAILURE() << "unknown op " << op;
        }
        ended += std::to_string(rig.control.checksEnded());
    }
    return ended;
}

TEST(RunControl, EachStartTriggerStartsChecksOnItsOwnEvent) {
    struct Case {
        const char* name;
        int trigger;
        const char* ops;
        const char* ended;
    };
    const Case cases[] = {
        // Connection: one check per plug-in, never one on a removal.
        {"connect", 0, "uStrttutrtt", "00001111122"},
        // Scan: Enter does nothing; a scan into the opened field triggers on the next tick. A
        // scan before the next tick has opened the field again goes nowhere.
        {"scan", 1, "tStetntntnt", "00000011112"},
        // Scan then Enter: Enter before a scan does nothing.
        {"scan+enter", 2, "tStetntetntntet", "000000001111112"},
        // Enter: a scan goes nowhere (the field stays read-only).
        {"enter", 3, "tStntetet", "000000112"},
        // Automatic: the first connection opens the log, the next tick checks, never again.
        {"auto", 4, "ttttutrttetet", "0111111111111"},
        {"unknown 5", 5, "tStetntetutrtt", "00000000000000"},
        {"unknown -1", -1, "tStetntetutrtt", "00000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunRig rig;
        rig.startWith("PID0A52.ini");
        rig.s().recipe.START_TRG = static_cast<StartTrigger>(c.trigger);
        EXPECT_EQ(play(rig, c.ops), c.ended);
        EXPECT_EQ(rig.logs.rows.size(), static_cast<std::size_t>(rig.control.checksEnded()));
        for (const RunRecord& row : rig.logs.rows) EXPECT_EQ(row.colResult, "OK");
    }
}

TEST(RunControl, PromptsAndFocusFollowTheTrigger) {
    struct Case {
        int trigger;
        const char* ops;
        const char* prompt;
        const char* focus;
        bool serialWritable;
    };
    const Case cases[] = {
        // The loaded recipe leaves the focus on Start.
        {0, "t", "Please press the start button.", "start", false},
        {0, "tSt", "Waiting for a start triger:  Please connect the USB.", "start", false},
        {1, "tSt", "Waiting for a start triger:  Please scan the S/N with the barcode reader.", "serial", true},
        {2, "tSt", "Waiting for a start triger:  Please scan the S/N with the barcode reader.", "serial", true},
        {2, "tStnt", "Waiting for a start triger:  Please press 'enter' key.", "serial", false},
        {3, "tSt", "Waiting for a start triger:  Please press 'enter' key.", "window", false},
        // After the single automatic check the prompt stays.
        {4, "tttt", "Auto mode can't retry:  Please reboot this software.", "window", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.trigger) + " " + c.ops);
        RunRig rig;
        rig.startWith("PID0A52.ini");
        rig.s().recipe.START_TRG = static_cast<StartTrigger>(c.trigger);
        play(rig, c.ops);
        EXPECT_EQ(rig.ui.prompt, c.prompt);
        EXPECT_EQ(rig.ui.focus, c.focus);
        EXPECT_EQ(rig.ui.serialWritable, c.serialWritable);
        EXPECT_EQ(rig.control.serialFieldWritable(), c.serialWritable);
    }

    // The operator's pointer on a control keeps the focus where it is.
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::SerialScanned;
    play(rig, "tS");
    rig.ui.focus.clear();
    rig.s().flags.pointerOverControl = true;
    rig.tick();
    EXPECT_EQ(rig.ui.focus, "");
    EXPECT_TRUE(rig.ui.serialWritable);
}

TEST(RunControl, WithoutRecipeTheDeviceWaitIndicatorBlinksUntilAControllerAppears) {
    const std::filesystem::path empty = std::filesystem::path(VORLICK_BINARY_DIR) / "run_control_empty";
    std::filesystem::create_directories(empty);
    RunRig rig;
    rig.bus.unplug(rig.deviceId);
    rig.control.startUp(empty.string(), "  \t ");
    ASSERT_FALSE(rig.s().recipe.recipeLoaded);
    EXPECT_TRUE(rig.ui.tickTimer);
    ASSERT_EQ(rig.s().flags.deviceWaitIndicator, 1);

    std::string seen;
    for (int tick = 1; tick <= 70; ++tick) {
        if (tick == 50) rig.bus.replug(rig.deviceId);
        rig.tick();
        seen += std::to_string(rig.s().flags.deviceWaitIndicator);
    }
    // "NO DEVICE" (2) shows for a second after each look that found nothing, then rests a
    // second; the look at tick 60 finds the controller.
    const std::string expected = std::string(19, '1') + std::string(10, '2') + std::string(10, '1') +
                                 std::string(10, '2') + std::string(10, '1') + std::string(11, '0');
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(rig.ui.prompt, "Please read ini file.");
    EXPECT_EQ(rig.control.checksEnded(), 0);
}

TEST(RunControl, SerialNumberDialogAsksUntilAnswered) {
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    rig.s().recipe.ENTER_SN = 1;
    play(rig, "tSte");
    rig.tick();  // cancelled: no check, the trigger stays
    EXPECT_EQ(rig.ui.serialDialogs, 1);
    EXPECT_EQ(rig.ui.prompt, "Please input Serial Number.");
    EXPECT_EQ(rig.control.checksEnded(), 0);
    EXPECT_TRUE(rig.s().flags.triggered);

    rig.ui.serialAnswers = {"#AB#12"};
    rig.tick();
    EXPECT_EQ(rig.ui.serialDialogs, 2);
    ASSERT_EQ(rig.logs.rows.size(), 1u);
    EXPECT_EQ(rig.logs.rows[0].serialNo, "AB12");
    rig.tick();
    EXPECT_EQ(rig.ui.serialDialogs, 2);  // the next check waits for the next Enter
}

TEST(RunControl, SerialNumberComparison) {
    struct Case {
        const char* pattern;
        int first, count;
        const char* serial;
        bool ok;
    };
    const Case cases[] = {
        {"AB12345", 2, 3, "XY12399", true},
        {"AB12345", 2, 3, "XY45699", false},
        {"AB12345", 0, 0, "anything", true},  // S/N_NUM 0: every serial passes
        {"AB12345", 5, 10, "QQQQQ45", true},  // a part running past the end is cut there
        {"AB12345", 5, 3, "QQQQQ", false},    // past the end: empty against "45"
        {"AB", 9, 3, "Z", true},              // both parts beyond the end: empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        RunRig rig;
        rig.startWith("PID0A52.ini");
        RecipeSettings& r = rig.s().recipe;
        r.START_TRG = StartTrigger::SerialScanned;
        r.SN_STRING = c.pattern;
        r.SN_MIN = c.first;
        r.SN_NUM = c.count;
        play(rig, "tSt");
        rig.control.serialScanned(c.serial);
        rig.tick();
        ASSERT_EQ(rig.logs.rows.size(), 1u);
        const RunRecord& row = rig.logs.rows[0];
        EXPECT_EQ(row.serialNo, c.serial);
        EXPECT_EQ(row.colResult, c.ok ? "OK" : "NG");
        EXPECT_EQ(row.colCode, c.ok ? "    " : "E608");
        EXPECT_EQ(rig.ui.saw("S/N Check ... OK"), c.ok);
        EXPECT_EQ(rig.logs.details, std::vector<bool>{c.ok});
        // An NG asks for a reset before the next check.
        EXPECT_EQ(rig.s().flags.resetRequested, !c.ok);

        // A retry compares the saved serial number as the first check did.
        play(rig, "S");
        ASSERT_EQ(rig.logs.rows.size(), 2u);
        const RunRecord& retried = rig.logs.rows[1];
        EXPECT_EQ(retried.retryNo, 1);
        EXPECT_EQ(retried.serialNo, c.serial);
        EXPECT_EQ(retried.colResult, c.ok ? "OK" : "NG");
        EXPECT_EQ(retried.colCode, c.ok ? "    " : "E608");
        EXPECT_EQ(rig.logs.details, (std::vector<bool>{c.ok, c.ok}));
        EXPECT_EQ(rig.s().counters.okCount + rig.s().counters.ngCount, 1);
    }

    // A scanner that never stops: the serial number reaches the row whole.
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::SerialScanned;
    play(rig, "tSt");
    const std::string endless(10000, '7');
    rig.control.serialScanned("#" + endless + "#");
    rig.tick();
    ASSERT_EQ(rig.logs.rows.size(), 1u);
    EXPECT_EQ(rig.logs.rows[0].serialNo, endless);
}

TEST(RunControl, RetryRechecksTheSameDeviceAndTakesBackItsCount) {
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    play(rig, "tS");
    EXPECT_EQ(rig.ui.startText, "Retry");
    EXPECT_FALSE(rig.control.startEnabled());
    play(rig, "S");  // Retry before any verdict: the button is disabled
    EXPECT_EQ(rig.control.checksEnded(), 0);

    rig.checks.shortTotal = 1;
    rig.checks.shortReport = StepOutcome::ng(ErrorId::ShortTxTx);
    play(rig, "tet");
    ASSERT_EQ(rig.logs.rows.size(), 1u);
    EXPECT_EQ(rig.s().counters.ngCount, 1);
    EXPECT_TRUE(rig.control.startEnabled());

    rig.checks.shortTotal = 0;
    rig.checks.shortReport = StepOutcome::pass();
    play(rig, "S");
    ASSERT_EQ(rig.logs.rows.size(), 2u);
    EXPECT_EQ(rig.logs.rows[1].checkNo, 1);
    EXPECT_EQ(rig.logs.rows[1].retryNo, 1);
    EXPECT_EQ(rig.logs.rows[1].colResult, "OK");
    EXPECT_EQ(rig.s().counters.ngCount, 0);
    EXPECT_EQ(rig.s().counters.okCount, 1);
    EXPECT_EQ(rig.s().counters.checkCount, 1);
    EXPECT_TRUE(rig.ui.tickTimer);

    play(rig, "S");  // a second retry of the same device
    EXPECT_EQ(rig.logs.rows[2].retryNo, 2);
    EXPECT_EQ(rig.s().counters.okCount, 1);
    play(rig, "et");
    EXPECT_EQ(rig.logs.rows[3].checkNo, 2);
    EXPECT_EQ(rig.logs.rows[3].retryNo, 0);
    EXPECT_EQ(rig.s().counters.okCount, 2);
}

TEST(RunControl, ErrorKeepsTheCheckNumberAndResetsBeforeTheNextCheck) {
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    rig.checks.read = StepOutcome::abort("Failed to get raw data");
    play(rig, "tStet");
    EXPECT_EQ(rig.s().state, StationState::Error);
    EXPECT_EQ(rig.s().exitCode, -1);
    EXPECT_EQ(rig.control.checksEnded(), 1);
    EXPECT_TRUE(rig.logs.rows.empty());
    EXPECT_TRUE(rig.logs.details.empty());
    rig.tick();  // the station shows ERROR: the next check starts with a reset
    EXPECT_TRUE(rig.s().flags.resetRequested);

    rig.checks.read = StepOutcome::pass();
    const std::uint32_t resetsBefore = rig.device->resets();
    play(rig, "tet");
    EXPECT_GT(rig.device->resets(), resetsBefore);
    ASSERT_EQ(rig.logs.rows.size(), 1u);
    EXPECT_EQ(rig.logs.rows[0].checkNo, 1);
    EXPECT_EQ(rig.logs.rows[0].colResult, "OK");
    EXPECT_FALSE(rig.s().flags.resetRequested);
}

// Records what the run control hands the results store; says a queued message when polled.
class RecordingResults final : public ResultsPort {
public:
    void checkEnded(Station& s) override {
        ended.push_back(std::string(verdictText(s.check.verdict)) + " " + std::to_string(s.check.row.checkNo) + "-" +
                        std::to_string(s.check.row.retryNo));
    }
    void poll(Station& s) override {
        for (const std::string& m : toSay) s.ui.appendMessage(m);
        toSay.clear();
    }
    void close(Station&) override { ++closes; }
    std::vector<std::string> ended;
    std::vector<std::string> toSay;
    int closes = 0;
};

TEST(RunControl, EachCheckThatEndsGoesToTheResultsStoreWhoseWordsReachThePaneOnTheTick) {
    RunRig rig;
    RecordingResults results;
    rig.s().results = &results;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    rig.checks.read = StepOutcome::abort("Failed to get raw data");
    play(rig, "tStet");
    rig.checks.read = StepOutcome::pass();
    play(rig, "tet");
    play(rig, "S");  // Retry
    EXPECT_EQ(results.ended, (std::vector<std::string>{"ERROR 1-0", "OK 1-0", "OK 1-1"}));

    results.toSay = {"Results store sqlite:results.db: caught up, 3 spooled checks written"};
    rig.tick();
    EXPECT_TRUE(rig.ui.saw("Results store sqlite:results.db: caught up, 3 spooled checks written"));

    rig.control.shutdown();
    rig.control.shutdown();
    EXPECT_EQ(results.closes, 1);
}

// Ticks 100 ms apart until the station asks to close; the virtual milliseconds from the verdict.
std::int64_t msUntilClose(RunRig& rig, int limitTicks = 200) {
    const std::uint64_t armed = rig.clock.monotonicMs();
    for (int i = 0; i < limitTicks && !rig.control.closeRequested(); ++i) rig.tick();
    if (!rig.control.closeRequested()) return -1;
    return static_cast<std::int64_t>(rig.clock.monotonicMs() - armed);
}

TEST(RunControl, AutomaticQuitAfterTheVerdict) {
    struct Case {
        const char* name;
        bool ng;
        int forced;
        platform::TimeOfDay start;
        bool closes;
    };
    const platform::TimeOfDay early{2026, 1, 1, 9, 0, 0, 0};
    // The check ends about four and a half seconds after 09:00:55: the quit time runs over the
    // minute.
    const platform::TimeOfDay nearMinuteEnd{2026, 1, 1, 9, 0, 55, 0};
    const Case cases[] = {
        {"OK", false, 0, early, true},
        {"NG", true, 0, early, false},
        {"NG forced", true, 1, early, true},
        {"OK over the minute", false, 0, nearMinuteEnd, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunRig rig(quietController(), c.start);
        rig.startWith("PID0A52.ini");
        rig.s().recipe.START_TRG = StartTrigger::EnterKey;
        rig.s().recipe.AUTO_QUIT_TIME = 3000;
        rig.s().recipe.FORCED_AUTO_QUIT = c.forced;
        if (c.ng) {
            rig.checks.shortTotal = 1;
            rig.checks.shortReport = StepOutcome::ng(ErrorId::ShortTxTx);
        }
        play(rig, "tStet");
        ASSERT_EQ(rig.control.checksEnded(), 1);
        if (c.start.second == 55) {
            ASSERT_GT(rig.control.triggerState().autoQuitStart, 57000);
        }
        const std::int64_t after = msUntilClose(rig);
        if (c.closes) {
            EXPECT_GE(after, 3000);
            EXPECT_LT(after, 3100);
            EXPECT_EQ(rig.ui.closeRequests, 1);
            EXPECT_EQ(rig.control.triggerState().autoQuitRemaining, 0);
            rig.tick();  // the window is closing: no more ticks run
            EXPECT_EQ(rig.ui.closeRequests, 1);
        } else {
            EXPECT_EQ(after, -1);
            EXPECT_EQ(rig.ui.closeRequests, 0);
        }
    }
}

TEST(RunControl, StartUpTakesTheCommandLineOrTheControllersRecipe) {
    {
        RunRig rig;
        rig.control.startUp(kExampleFolder, "  PID0A52.ini \t");
        EXPECT_TRUE(rig.s().recipe.recipeLoaded);
        EXPECT_EQ(rig.s().recipe.recipePath, kExampleFolder + "/PID0A52.ini");
        EXPECT_EQ(rig.s().startDirectory, kExampleFolder);
        EXPECT_TRUE(rig.ui.tickTimer);
        EXPECT_TRUE(rig.control.startEnabled());
        EXPECT_EQ(rig.ui.startText, "Start");
        EXPECT_EQ(rig.s().check.startTime, "----/--/-- --:--:--");
    }
    {
        // Blanks only: the recipe named after the attached controller's product id.
        RunRig rig;
        rig.control.startUp(kExampleFolder, "   ");
        EXPECT_TRUE(rig.s().recipe.recipeLoaded);
        EXPECT_EQ(std::filesystem::path(rig.s().recipe.recipePath).filename(), "PID0A52.ini");
    }
    {
        // A start folder longer than the old 259-character limit is kept whole.
        RunRig rig;
        const std::string deep = kExampleFolder + "/" + std::string(300, 'd');
        rig.control.startUp(deep, "PID0A52.ini");
        EXPECT_EQ(rig.s().startDirectory, deep);
        EXPECT_FALSE(rig.s().recipe.recipeLoaded);
        EXPECT_TRUE(rig.ui.saw("Failed to open \"" + deep + "/PID0A52.ini\"."));
        EXPECT_FALSE(rig.control.startEnabled());
        rig.control.onStartRetry();  // no recipe: Start does nothing
        EXPECT_EQ(rig.logs.opens, 0);
    }
}

TEST(RunControl, ClearStartsANewSeries) {
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    play(rig, "tStet");
    ASSERT_EQ(rig.s().runs.rowCount(), 1u);
    const int resets = rig.ui.resets;
    rig.ui.focus = "window";
    rig.control.resetDisplay();
    EXPECT_EQ(rig.ui.focus, "start");  // Enter now presses Start
    EXPECT_EQ(rig.ui.resets, resets + 1);
    EXPECT_EQ(rig.s().runs.rowCount(), 0u);
    EXPECT_EQ(rig.s().counters.checkCount, 0);
    EXPECT_EQ(rig.s().counters.okCount, 0);
    EXPECT_FALSE(rig.s().flags.logOpen);
    EXPECT_EQ(rig.ui.startText, "Start");
    EXPECT_TRUE(rig.control.startEnabled());
    EXPECT_EQ(rig.ui.panes[1], "\tDISCONNECT");
    play(rig, "tSet");  // the next Start opens a new log; numbering starts again
    EXPECT_EQ(rig.logs.opens, 2);
    EXPECT_EQ(rig.logs.rows.back().checkNo, 1);

    // Read ini leaves the focus on Start as well, once the recipe is loaded.
    rig.ui.focus = "window";
    rig.control.loadRecipe(kExampleFolder + "/R6_full.ini");
    ASSERT_TRUE(rig.s().recipe.recipeLoaded);
    EXPECT_EQ(rig.ui.focus, "start");
    rig.ui.focus = "window";
    rig.control.loadRecipe(kExampleFolder + "/no such recipe.ini");
    EXPECT_EQ(rig.ui.focus, "window");
}

TEST(RunControl, NoCheckWithoutALogOrWithAWriterThatCannotRun) {
    {
        RunRig rig;
        rig.s().logs = nullptr;
        rig.startWith("PID0A52.ini");
        rig.s().recipe.START_TRG = StartTrigger::EnterKey;
        play(rig, "tSSetet");
        EXPECT_FALSE(rig.s().flags.logOpen);
        EXPECT_EQ(rig.control.checksEnded(), 0);
        EXPECT_EQ(std::count(rig.ui.messages.begin(), rig.ui.messages.end(),
                             "This build cannot write the result log: no check can be started."),
                  1);
    }
    {
        RunRig rig;
        rig.logs.openSucceeds = false;
        rig.startWith("PID0A52.ini");
        play(rig, "tSt");
        EXPECT_FALSE(rig.s().flags.logOpen);
        EXPECT_EQ(rig.ui.startText, "Start");
        EXPECT_EQ(rig.logs.headers, 0);
    }
    {
        // A recipe that writes firmware without a writer wired: refused at the check's start.
        RunRig rig;
        rig.startWith("PID0A52.ini");
        rig.s().recipe.START_TRG = StartTrigger::EnterKey;
        rig.s().recipe.WRITE_FW = 1;
        play(rig, "tStet");
        EXPECT_EQ(rig.control.checksEnded(), 0);
        EXPECT_TRUE(rig.ui.saw("This build cannot run the firmware writing (WRITE_FW) yet: no check was started."));
    }
    {
        // The writer cannot run (no checksum): no verdict, the station keeps ticking.
        RunRig rig;
        ScriptedRunners runners;
        runners.cannotRun = RunnerCheck::FirmwareWrite;
        runners.cannotRunSet = true;
        rig.s().runners = &runners;
        rig.startWith("PID0A52.ini");
        rig.s().recipe.START_TRG = StartTrigger::EnterKey;
        rig.s().recipe.WRITE_FW = 1;
        play(rig, "tStet");
        EXPECT_EQ(runners.ran, std::vector<RunnerCheck>{RunnerCheck::FirmwareWrite});
        EXPECT_EQ(rig.control.checksEnded(), 0);
        EXPECT_TRUE(rig.logs.rows.empty());
        EXPECT_NE(rig.s().state, StationState::Error);
        EXPECT_TRUE(rig.ui.tickTimer);
        EXPECT_FALSE(rig.s().flags.triggered);
        // A writer that ran and failed is judged by the sequence.
        runners.cannotRunSet = false;
        runners.ran.clear();
        play(rig, "et");
        EXPECT_EQ(rig.control.checksEnded(), 1);
        EXPECT_EQ(rig.logs.rows.size(), 1u);
    }
}

TEST(RunControl, CommandsDuringACheckWaitForItsEnd) {
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    play(rig, "tS");
    bool sawBusy = false;
    bool timerStopped = false;
    // The front end handles its events while the check pumps them: a tick, Start/Retry, Clear,
    // Read ini, and at last the close of the window.
    rig.logs.duringWrite = [&] {
        sawBusy = rig.control.busy();
        timerStopped = !rig.ui.tickTimer;
        rig.control.enterPressed();
        rig.control.onTick();
        rig.control.onStartRetry();
        rig.control.resetDisplay();
        rig.control.loadRecipe(kExampleFolder + "/R6_full.ini");
        rig.control.shutdown();
        EXPECT_FALSE(rig.control.shutDown());
    };
    play(rig, "tet");
    EXPECT_TRUE(sawBusy);
    EXPECT_TRUE(timerStopped);
    EXPECT_FALSE(rig.control.busy());
    EXPECT_EQ(rig.control.checksEnded(), 1);
    EXPECT_EQ(rig.s().runs.rowCount(), 1u);
    EXPECT_EQ(std::filesystem::path(rig.s().recipe.recipePath).filename(), "PID0A52.ini");
    // The row is written before the totals; the station stays closed.
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"detail", "row", "close"}));
    EXPECT_TRUE(rig.control.shutDown());
    EXPECT_FALSE(rig.ui.tickTimer);
    EXPECT_EQ(rig.device->mode(), 0);
    play(rig, "etS");
    EXPECT_EQ(rig.control.checksEnded(), 1);
    EXPECT_FALSE(rig.s().touch.isOpen());
}

TEST(RunControl, ShutdownPutsTheControllerBackAndRemovesTheWorkingCopies) {
    const std::filesystem::path folder = std::filesystem::path(VORLICK_BINARY_DIR) / "run_control_shutdown";
    std::filesystem::create_directories(folder);
    RunRig rig;
    rig.startWith("PID0A52.ini");
    rig.s().recipe.START_TRG = StartTrigger::EnterKey;
    play(rig, "tStet");
    ASSERT_EQ(rig.device->mode(), 1);
    rig.s().startDirectory = folder.string();
    for (const char* name : {"_tmp.hex", "_tmpRL78.hex", "keep.hex"}) std::ofstream(folder / name) << ":00000001FF\n";
    rig.ui.superKeyGuard = true;

    rig.control.shutdown();
    EXPECT_EQ(rig.logs.closes, 1);
    EXPECT_EQ(rig.device->mode(), 0);
    EXPECT_FALSE(rig.s().touch.isOpen());
    EXPECT_FALSE(rig.ui.superKeyGuard);
    EXPECT_FALSE(rig.ui.tickTimer);
    EXPECT_FALSE(std::filesystem::exists(folder / "_tmp.hex"));
    EXPECT_FALSE(std::filesystem::exists(folder / "_tmpRL78.hex"));
    EXPECT_TRUE(std::filesystem::exists(folder / "keep.hex"));

    rig.control.shutdown();
    EXPECT_EQ(rig.logs.closes, 1);
    rig.tick();
    EXPECT_FALSE(rig.s().touch.isOpen());

    // Without a device and without a log: nothing to put back, nothing to close.
    RunRig idle;
    idle.startWith("PID0A52.ini");
    idle.bus.unplug(idle.deviceId);
    idle.control.shutdown();
    EXPECT_EQ(idle.logs.closes, 0);
}

// Read ini clears the display and shows the load's messages in the order found. A recipe read
// with the home key check (loaded or refused) turns the Super-key guard on, once for the
// process; it stays on through later recipes and goes off at shutdown.
TEST(RunControl, ReadIniShowsTheLoadAndArmsTheSuperKeyGuardOnce) {
    const std::filesystem::path folder = std::filesystem::path(VORLICK_BINARY_DIR) / "run_control_read_ini";
    std::filesystem::create_directories(folder);
    auto recipe = [&](const char* name, const char* text) {
        std::ofstream((folder / name).string(), std::ios::binary) << text;
        return (folder / name).string();
    };
    const std::string r5 = recipe("r5.ini", "SHORT_CHECK=1\nCPU=R5\nHOMEKEY_CHECK=1\n");
    const std::string refused = recipe("refused.ini", "SHORT_CHECK=1\nHOMEKEY_CHECK=1\nHK_NUM_PIN=0\n");
    const std::string homeKey = recipe("homekey.ini", "SHORT_CHECK=1\nHOMEKEY_CHECK=1\nHK_TOUCH=1,2,3,4\n");
    RunRig rig;
    rig.startWith("PID0A52.ini");
    struct Step {
        std::string path;
        std::vector<std::string> messages;
        std::vector<bool> guard;
    };
    const Step steps[] = {
        {(folder / "none.ini").string(), {"Failed to open \"" + (folder / "none.ini").string() + "\"."}, {}},
        {r5, {"Success to open \"" + r5 + "\"."}, {}},  // an R5 controller has no home key check
        {refused, {"Success to open \"" + refused + "\".", "Ini Error: all homekey check is disable."}, {true}},
        {homeKey, {"Success to open \"" + homeKey + "\"."}, {true}},
        {kExampleFolder + "/PID0A52.ini", {"Success to open \"" + kExampleFolder + "/PID0A52.ini\"."}, {true}},
    };
    for (const Step& step : steps) {
        rig.ui.messages.clear();
        const int resets = rig.ui.resets;
        rig.control.loadRecipe(step.path);
        EXPECT_EQ(rig.ui.resets, resets + 1) << step.path;
        EXPECT_EQ(rig.ui.messages, step.messages) << step.path;
        EXPECT_EQ(rig.ui.guardCalls, step.guard) << step.path;
    }
    rig.control.shutdown();
    EXPECT_EQ(rig.ui.guardCalls, (std::vector<bool>{true, false}));
}

// The two firmware writers as the run control sees them: each call logged, each leaving the
// firmware flags the test gives it, or unable to run.
class FirmwareRunners final : public CheckRunners {
public:
    bool provides(RunnerCheck check) const override {
        return check == RunnerCheck::FirmwareWrite || check == RunnerCheck::HsyncFirmwareWrite;
    }
    RunnerOutcome run(RunnerCheck check, CheckContext& s) override {
        ran.push_back(check);
        const bool main = check == RunnerCheck::FirmwareWrite;
        if (main) s.record.firmware.writerStarted = true;
        if (!(main ? mainRuns : hsyncRuns)) return {false, {}};
        s.record.detail.firmwareFlags = main ? mainFlags : hsyncFlags;
        return {true, {}};
    }
    std::vector<RunnerCheck> ran;
    bool mainRuns = true, hsyncRuns = true;
    std::int32_t mainFlags = 0, hsyncFlags = 0;
};

TEST(RunControl, FirmwareWritersBeforeTheSequence) {
    using RC = RunnerCheck;
    struct Case {
        const char* name;
        bool writeFw, writeHsync, compare;
        std::function<void(FirmwareRunners&)> setup;
        std::vector<RC> ran;
        const char* result;  // null: no verdict
        const char* code;
        bool reset;  // the controller was reset before the sequence
    };
    const Case cases[] = {
        {"writer passes", true, false, false, {}, {RC::FirmwareWrite}, "OK", "    ", false},
        {"writer fails: straight to the judgement",
         true,
         true,
         false,
         [](FirmwareRunners& f) { f.mainFlags = 2; },
         {RC::FirmwareWrite},
         "NG",
         "E600",
         false},
        {"writer cannot run",
         true,
         true,
         false,
         [](FirmwareRunners& f) { f.mainRuns = false; },
         {RC::FirmwareWrite},
         nullptr,
         nullptr,
         false},
        {"written and compared: reset first", true, false, true, {}, {RC::FirmwareWrite}, "OK", "    ", true},
        {"Hsync writer fails",
         false,
         true,
         false,
         [](FirmwareRunners& f) { f.hsyncFlags = 3; },
         {RC::HsyncFirmwareWrite},
         "NG",
         "E692",
         false},
        {"Hsync writer cannot run",
         false,
         true,
         false,
         [](FirmwareRunners& f) { f.hsyncRuns = false; },
         {RC::HsyncFirmwareWrite},
         nullptr,
         nullptr,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunRig rig;
        FirmwareRunners runners;
        if (c.setup) c.setup(runners);
        rig.s().runners = &runners;
        rig.startWith("PID0A52.ini");
        RecipeSettings& r = rig.s().recipe;
        r.START_TRG = StartTrigger::EnterKey;
        r.WRITE_FW = c.writeFw ? 1 : 0;
        r.WRITE_HSYNC_FW = c.writeHsync ? 1 : 0;
        if (c.compare) {
            r.COMPARE_FWVER = 1;
            r.FWVER_MAJOR = 0x0120;
            r.FWVER_MINOR = 3;
            r.VID = 0x3A1C;
            r.PID = 0x0A52;
        }
        play(rig, "tSte");
        const std::uint32_t resets = rig.device->resets();
        rig.tick();
        EXPECT_EQ(runners.ran, c.ran);
        EXPECT_EQ(rig.device->resets() > resets, c.reset);
        if (c.result == nullptr) {
            EXPECT_EQ(rig.control.checksEnded(), 0);
            EXPECT_TRUE(rig.logs.rows.empty());
            continue;
        }
        ASSERT_EQ(rig.logs.rows.size(), 1u) << ::testing::PrintToString(rig.ui.messages);
        EXPECT_EQ(rig.logs.rows[0].colResult, c.result);
        EXPECT_EQ(rig.logs.rows[0].colCode, c.code);
    }
}

}  // namespace
}  // namespace station::test
