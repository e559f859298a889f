#include "station/window/headless/headless_front_end.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "sim/controller_device.h"
#include "sim/virtual_bus.h"
#include "station/sequence/judgement_steps.h"
#include "station/sequence/run_control.h"

namespace station {
namespace {

const std::string kExampleFolder = std::string(VORLICK_SOURCE_DIR) + "/examples/station";

// Input on the virtual clock: each event comes at its time; waiting advances the clock. A hook
// may hand an event first or send a stop signal (in the middle of a check). After an hour of
// virtual time without a close the script sends SIGTERM, so a station that never closes fails
// instead of hanging.
class ScriptedInput final : public InputSource {
public:
    ScriptedInput(platform::VirtualClock& clock, StopRequests& stop) : clock_(clock), stop_(stop) {}
    void at(std::uint64_t ms, InputEvent e) { events_.push_back({ms, std::move(e)}); }
    void line(std::uint64_t ms, std::string text) { at(ms, {InputEvent::Kind::Line, std::move(text)}); }
    void end(std::uint64_t ms) { at(ms, {InputEvent::Kind::End, {}}); }
    std::function<std::optional<InputEvent>()> hook;
    bool gaveUp = false;

    std::optional<InputEvent> next(std::uint64_t timeoutMs) override {
        if (hook)
            if (auto e = hook()) return e;
        const std::uint64_t now = clock_.monotonicMs();
        if (!events_.empty() && events_.front().first <= now + timeoutMs) {
            if (events_.front().first > now) clock_.advance(events_.front().first - now);
            InputEvent e = std::move(events_.front().second);
            events_.pop_front();
            return e;
        }
        if (now > 3600000 && !gaveUp) {
            gaveUp = true;
            stop_.signal(SIGTERM);
            return std::nullopt;
        }
        clock_.advance(timeoutMs);
        return std::nullopt;
    }

private:
    platform::VirtualClock& clock_;
    StopRequests& stop_;
    std::deque<std::pair<std::uint64_t, InputEvent>> events_;
};

// The virtual clock, with an alarm that goes off in the first sleep that reaches its time: a
// stop signal in the middle of a controller's transfers, where no input is pumped.
class AlarmClock final : public platform::Clock {
public:
    explicit AlarmClock(platform::VirtualClock& clock) : clock_(clock) {}
    std::uint64_t monotonicMs() override { return clock_.monotonicMs(); }
    platform::TimeOfDay timeOfDay() override { return clock_.timeOfDay(); }
    void sleepMs(std::uint32_t ms) override {
        clock_.sleepMs(ms);
        if (alarm_ && clock_.monotonicMs() >= alarmAt_) std::exchange(alarm_, nullptr)();
    }
    void setAlarm(std::uint64_t at, std::function<void()> alarm) {
        alarmAt_ = at;
        alarm_ = std::move(alarm);
    }

private:
    platform::VirtualClock& clock_;
    std::uint64_t alarmAt_ = 0;
    std::function<void()> alarm_;
};

// The log port in call order; the opening names a log folder so the records have a path.
class OrderedLogs final : public CheckLogs {
public:
    bool openResultLog(Station& s) override {
        if (refuseOpen) {
            s.ui.appendMessage("Failed to create log folder.");
            return false;
        }
        calls.push_back("open");
        s.logFiles.logFolder = "logs/t_20260101_090000/";
        s.logFiles.logTimestamp = "20260101_090000";
        return true;
    }
    void buildDetailCsvHeader(Station&) override { calls.push_back("header"); }
    void writeDetailCsv(Station&, bool ok) override { calls.push_back(ok ? "detail OK" : "detail NG"); }
    bool appendResultRow(Station& s) override {
        calls.push_back("row " + s.check.row.serialNo);
        return true;
    }
    void closeResultLog(Station&) override { calls.push_back("close"); }
    std::vector<std::string> calls;
    bool refuseOpen = false;  // a log folder the station cannot open
};

std::string readAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A headless station on the in-process controller, started in the example folder.
struct HeadlessRig {
    explicit HeadlessRig(HeadlessOptions options, std::vector<int> openRx = {})
        : ui(out, err, alarm, input, stop, options) {
        sim::ControllerConfig c;
        c.panel.noiseSigma = 0.0;
        c.panel.openRx = std::move(openRx);
        device = std::make_shared<sim::ControllerDevice>(c);
        bus.addDevice(device);
        station.automatic = &judgements;
        station.logs = &logs;
        station.touch.setAbortFlag(&stop.abortFlag());
        station.pen.setAbortFlag(&stop.abortFlag());
        ui.attach(station, control);
        ui.onCheckEnded = [this](const Station& s) { ended.push_back(s.check.row.serialNo); };
    }
    ~HeadlessRig() {
        std::fclose(out);
        std::fclose(err);
    }
    void run(const std::string& recipe) {
        control.startUp(kExampleFolder, recipe);
        ui.run();
        outLines = linesOf(readAll(out));
        errLines = linesOf(readAll(err));
        ASSERT_FALSE(input.gaveUp) << "the station did not close";
    }

    platform::VirtualClock clock;
    AlarmClock alarm{clock};
    sim::VirtualBus bus{alarm};
    std::shared_ptr<sim::ControllerDevice> device;
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    StopRequests stop;
    ScriptedInput input{clock, stop};
    HeadlessFrontEnd ui;
    Station station{table, alarm, ui};
    JudgementSteps judgements;
    OrderedLogs logs;
    RunControl control{station};
    std::vector<std::string> ended;
    std::vector<std::string> outLines, errLines;
};

// --start --checks 1 on a healthy controller: one check, the log closed by the shutdown, the
// message pane alone on stdout and the panel's states on stderr, the exit code last.
TEST(HeadlessFrontEnd, StartsChecksOnceAndCloses) {
    HeadlessRig rig({true, 1});
    rig.run("PID0A52.ini");
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"open", "header", "detail OK", "row ", "close"}));
    EXPECT_EQ(rig.ended.size(), 1u);
    EXPECT_EQ(rig.station.exitCode, 0);
    ASSERT_FALSE(rig.outLines.empty());
    for (const auto& l : rig.outLines) {
        EXPECT_NE(l.rfind("prompt: ", 0), 0u) << l;
        EXPECT_NE(l.rfind("state: ", 0), 0u) << l;
    }
    EXPECT_TRUE(has(rig.outLines, "COM Open ... OK"));
    // Each state once, when it changed, in the order the panel went through them.
    std::vector<std::string> states;
    for (const auto& l : rig.errLines)
        if (l.rfind("state: ", 0) == 0) states.push_back(l);
    ASSERT_GE(states.size(), 3u);
    EXPECT_TRUE(has(states, "state: PRESS 'START'"));
    EXPECT_EQ(states.back(), "state: OK");
    for (std::size_t i = 1; i < states.size(); ++i) EXPECT_NE(states[i], states[i - 1]);
    EXPECT_TRUE(has(rig.errLines, "state: CHECKING..."));
    EXPECT_TRUE(has(rig.errLines, "prompt: Waiting for a start triger:  Please connect the USB.") ||
                has(rig.errLines, "prompt: Please press the start button."));
    EXPECT_EQ(rig.errLines.back(), "exit code: 0");
}

// A stop signal in the middle of a check closes the station after the check: its row and detail
// are written whole, then the totals. A Start pumped during the check is refused (the button is
// disabled); a recipe load waits for the check's end.
TEST(HeadlessFrontEnd, SignalDuringACheckClosesAfterIt) {
    HeadlessRig rig({true, 0});
    int busyPumps = 0;
    rig.input.hook = [&]() -> std::optional<InputEvent> {
        if (!rig.control.busy()) return std::nullopt;
        switch (busyPumps++) {
            case 0:
                return InputEvent{InputEvent::Kind::Line, "start"};
            case 1:
                return InputEvent{InputEvent::Kind::Line, "load PID0952.ini"};
            case 2:
                rig.stop.signal(SIGTERM);
                return std::nullopt;
            default:
                return std::nullopt;
        }
    };
    rig.run("PID0A52.ini");
    ASSERT_GE(busyPumps, 3);
    // The deferred load never ran: the close came first.
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"open", "header", "detail OK", "row ", "close"}));
    EXPECT_TRUE(has(rig.errLines, "command ignored: start (the Start/Retry button is disabled while a check runs)"));
    EXPECT_EQ(rig.station.recipe.PID, 0x0A52);
    EXPECT_EQ(rig.errLines.back(), "exit code: 0");
}

// Between checks a load runs at once (and --start presses Start again for the new recipe);
// unknown commands and over-long lines get one line each; the end of input changes nothing:
// the station still runs its check and closes on --checks.
TEST(HeadlessFrontEnd, CommandsBetweenChecksAndTheEndOfInput) {
    HeadlessRig rig({true, 1});
    rig.input.line(20, "bogus");
    rig.input.at(30, {InputEvent::Kind::TooLong, {}});
    rig.input.line(40, "load PID0A52.ini");
    rig.input.end(50);
    rig.run("PID0A52.ini");
    EXPECT_TRUE(has(rig.errLines,
                    "command ignored: unknown command 'bogus' (commands: start, sn TEXT, enter, reset, load FILE, "
                    "quit, key NAME, esc)"));
    EXPECT_TRUE(has(rig.errLines, "command ignored: the line is too long"));
    EXPECT_EQ(rig.logs.calls,
              (std::vector<std::string>{"open", "header", "open", "header", "detail OK", "row ", "close"}));
    EXPECT_EQ(rig.errLines.back(), "exit code: 0");
}

// The serial-number dialog takes the next "sn" line; other commands meanwhile are refused.
TEST(HeadlessFrontEnd, SerialNumberDialogTakesTheNextScan) {
    HeadlessRig rig({true, 1});
    // ENTER_SN=1 on the example quick recipe, in a folder of its own.
    char dir[] = "/tmp/vorlick-headless-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string recipe = std::string(dir) + "/enter_sn.ini";
    {
        std::ifstream in(kExampleFolder + "/PID0A52.ini");
        std::ofstream out(recipe);
        for (std::string l; std::getline(in, l);) out << (l == "ENTER_SN=0" ? "ENTER_SN=1" : l) << "\n";
    }
    rig.input.line(150, "enter");
    rig.input.line(160, "sn SN-0001");
    rig.run(recipe);
    std::remove(recipe.c_str());
    ::rmdir(dir);
    EXPECT_TRUE(has(rig.errLines, "serial number: waiting for 'sn TEXT' (current: '')"));
    EXPECT_TRUE(has(rig.errLines, "window: serial-number"));
    EXPECT_TRUE(has(rig.errLines, "window: closed serial-number"));
    EXPECT_TRUE(
        has(rig.errLines, "command ignored: the serial-number dialog is open (answer with 'sn TEXT', or 'esc')"));
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"open", "header", "detail OK", "row SN-0001", "close"}));
    EXPECT_EQ(rig.ended, std::vector<std::string>{"SN-0001"});
}

// The external switch dialog without a window: its look every 200 ms of the clock until the
// controller has gone and come back, the keys of its Cancel button, and what it refuses.
TEST(HeadlessFrontEnd, ExternalSwitchDialogFromStandardInput) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint64_t, std::string>> lines;  // at ms after the dialog opened
        int passAtLook;                                            // 0: the switch is never seen
        bool passed;
        int looks;
        std::vector<std::string> said;  // besides the window lines
    };
    const Case cases[] = {
        {"the switch seen at the fifth look", {}, 5, true, 5, {}},
        {"esc before it", {{500, "esc"}}, 5, false, 2, {}},
        {"Enter presses Cancel", {{300, "key Enter"}}, 0, false, 1, {}},
        {"other keys and commands are refused",
         {{100, "key B"}, {150, "start"}},
         3,
         true,
         3,
         {"command ignored: the ext-switch window is open (push the external switch, or 'esc' to cancel)",
          "command ignored: the ext-switch window is open (push the external switch, or 'esc' to cancel)"}},
        {"quit closes it", {{700, "quit"}}, 0, false, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessRig rig({false, 0});
        const std::uint64_t opened = rig.clock.monotonicMs();
        for (const auto& [at, text] : c.lines) rig.input.line(opened + at, text);
        int looks = 0;
        const bool passed = rig.ui.runExternalSwitchDialog([&] {
            ++looks;
            EXPECT_EQ(rig.clock.monotonicMs() - opened, 200u * static_cast<unsigned>(looks)) << "every 200 ms";
            return looks == c.passAtLook;
        });
        EXPECT_EQ(passed, c.passed);
        EXPECT_EQ(looks, c.looks);
        std::vector<std::string> expected = {"window: ext-switch"};
        expected.insert(expected.end(), c.said.begin(), c.said.end());
        expected.push_back("window: closed ext-switch");
        EXPECT_EQ(linesOf(readAll(rig.err)), expected);
    }
}

TEST(HeadlessFrontEnd, AKeyWithoutAWindowIsIgnored) {
    HeadlessRig rig({false, 0});
    rig.input.line(10, "esc");
    rig.input.line(20, "quit");
    rig.run("PID0A52.ini");
    EXPECT_TRUE(has(rig.errLines, "command ignored: key Esc (no window is open)"));
}

// quit before any check: the shutdown runs (no log was opened, so none is closed) and the exit
// code is the station's -1.
TEST(HeadlessFrontEnd, QuitBeforeAnyCheck) {
    HeadlessRig rig({false, 0});
    rig.input.line(10, "quit");
    rig.run("PID0A52.ini");
    EXPECT_TRUE(rig.logs.calls.empty());
    EXPECT_EQ(rig.errLines.back(), "exit code: -1");
}

// A recipe beside the examples with some of its lines replaced, in a folder of its own; its
// tables are still found in the folder the station starts in.
class EditedRecipe {
public:
    EditedRecipe(const std::vector<std::pair<std::string, std::string>>& edits) {
        char dir[] = "/tmp/vorlick-headless-XXXXXX";
        if (::mkdtemp(dir) == nullptr) std::abort();
        dir_ = dir;
        path_ = dir_ + "/edited.ini";
        std::ifstream in(kExampleFolder + "/PID0A52.ini");
        std::ofstream out(path_);
        for (std::string l; std::getline(in, l);) {
            for (const auto& [from, to] : edits)
                if (l == from) l = to;
            out << l << "\n";
        }
    }
    ~EditedRecipe() {
        std::remove(path_.c_str());
        ::rmdir(dir_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string dir_, path_;
};

// A check pumps its messages now and then; a flood of commands meanwhile (`yes reset | ...`)
// is taken only up to the bound of commands that wait for the check, the rest stays unread.
TEST(HeadlessFrontEnd, CommandsDuringACheckStopAtTheirBound) {
    HeadlessRig rig({true, 1});
    std::size_t takenDuringCheck = 0;
    rig.input.hook = [&]() -> std::optional<InputEvent> {
        if (!rig.control.busy() || takenDuringCheck >= 100000) return std::nullopt;
        ++takenDuringCheck;
        return InputEvent{InputEvent::Kind::Line, "reset"};
    };
    rig.run("PID0A52.ini");
    EXPECT_GE(takenDuringCheck, 1u);
    EXPECT_LE(takenDuringCheck, HeadlessFrontEnd::kMaxDeferred);
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"open", "header", "detail OK", "row ", "close"}));
    EXPECT_EQ(rig.errLines.back(), "exit code: 0");
}

// A controller that answers in 2 s per transfer: the first stop signal waits for the check, a
// second one in the middle of its transfers aborts it as ERROR (no row, no detail, whatever the
// refused transfers look like to the steps), and the station still closes in order: totals,
// the controller back in normal mode.
TEST(HeadlessFrontEnd, SecondSignalAbortsASlowCheck) {
    struct Case {
        const char* name;
        std::uint64_t secondAfterMs;
    };
    const Case cases[] = {{"while connecting", 1}, {"during the sensor reads", 120000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessRig rig({true, 0});
        rig.bus.setFaults(0, sim::TransportFaults{2000, 0, false});
        std::uint64_t firstSignalAt = 0, secondSignalAt = 0, endedAt = 0;
        rig.input.hook = [&]() -> std::optional<InputEvent> {
            if (rig.control.busy() && firstSignalAt == 0) {
                firstSignalAt = rig.clock.monotonicMs();
                rig.stop.signal(SIGTERM);
                // In the middle of the check's transfers the operator insists.
                rig.alarm.setAlarm(firstSignalAt + c.secondAfterMs, [&] {
                    secondSignalAt = rig.clock.monotonicMs();
                    rig.stop.signal(SIGINT);
                });
            }
            return std::nullopt;
        };
        rig.ui.onCheckEnded = [&](const Station& s) {
            endedAt = rig.clock.monotonicMs();
            rig.ended.push_back(s.check.row.serialNo);
        };
        rig.run("PID0A52.ini");
        ASSERT_NE(secondSignalAt, 0u) << "the check ended before the second signal";
        // The transfer under way ends, no other starts: not the rest of the check's hour.
        EXPECT_LT(endedAt - secondSignalAt, 10000u);
        EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"open", "header", "close"}));
        EXPECT_EQ(rig.ended.size(), 1u);
        EXPECT_EQ(rig.station.state, StationState::Error);
        EXPECT_TRUE(
            has(rig.outLines, "The check was aborted by a second stop signal: no verdict, the station closes."));
        EXPECT_EQ(rig.errLines.back(), "exit code: -1");
        EXPECT_FALSE(rig.stop.abortFlag().load());
        EXPECT_EQ(rig.device->mode(), 0u);  // back in normal mode
    }
}

// With --checks and the input at its end, a station that cannot go on without the operator
// closes in order at once, says why and exits non-zero; one that can (the next check comes
// with the next connection) keeps running.
TEST(HeadlessFrontEnd, EndOfInputWithoutProgressCloses) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> edits;
        HeadlessOptions options;
        bool refuseLog = false;
        std::vector<std::string> lines;  // input before its end
        std::string stopped;             // empty: the station goes on
        std::vector<std::string> logCalls;
    };
    const std::string tail = ", and standard input has ended (0 of 1 checks ended)";
    const std::vector<std::string> none;
    const std::vector<std::string> opened{"open", "header", "close"};
    const Case cases[] = {
        {"recipe error",
         {{"REFERENCE_CSV=tables\\reference.csv", "REFERENCE_CSV=tables\\missing.csv"}},
         {true, 1},
         false,
         {},
         "stopped: the recipe could not be loaded" + tail,
         none},
        {"log folder", {}, {true, 1}, true, {}, "stopped: Start could not open the result log" + tail, none},
        {"refused check",
         {{"ENTER_SN=0", "ENTER_SN=0\nDRAWING_CHECK=1"}},
         {true, 1},
         false,
         {},
         "stopped: the check was refused (0 of 1 checks ended)",
         opened},
        {"no --start", {}, {false, 1}, false, {}, "stopped: Start was not pressed" + tail, none},
        {"scan trigger",
         {{"START_TRG=0", "START_TRG=1"}},
         {true, 1},
         false,
         {},
         "stopped: the start trigger waits for a scanned serial number" + tail,
         opened},
        {"serial-number dialog",
         {{"ENTER_SN=0", "ENTER_SN=1"}},
         {true, 1},
         false,
         {},
         "stopped: the serial-number dialog waits for a scan" + tail,
         opened},
        {"Enter trigger after one check",
         {{"START_TRG=0", "START_TRG=3"}},
         {true, 2},
         false,
         {"enter"},
         "stopped: the start trigger waits for the Enter key, and standard input has ended (1 of 2 checks ended)",
         {"open", "header", "detail OK", "row ", "close"}},
        {"connection trigger",
         {},
         {true, 2},
         false,
         {},
         "",
         {"open", "header", "detail OK", "row ", "detail OK", "row ", "close"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EditedRecipe recipe(c.edits);
        HeadlessRig rig(c.options);
        rig.logs.refuseOpen = c.refuseLog;
        for (std::size_t i = 0; i < c.lines.size(); ++i) rig.input.line(10 + i, c.lines[i]);
        rig.input.end(50);
        // The operator replugs the controller after the first check: the next one starts.
        std::uint64_t unpluggedAt = 0;
        rig.input.hook = [&]() -> std::optional<InputEvent> {
            if (rig.control.checksEnded() == 1 && unpluggedAt == 0) {
                unpluggedAt = rig.clock.monotonicMs();
                rig.bus.unplug(0);
            } else if (unpluggedAt != 0 && rig.clock.monotonicMs() > unpluggedAt + 1000 && !rig.bus.present(0)) {
                rig.bus.replug(0);
            }
            return std::nullopt;
        };
        rig.run(recipe.path());
        EXPECT_EQ(rig.logs.calls, c.logCalls);
        if (c.stopped.empty()) {
            EXPECT_EQ(rig.ended.size(), 2u);
            EXPECT_EQ(rig.errLines.back(), "exit code: 0");
            for (const auto& l : rig.errLines) EXPECT_NE(l.rfind("stopped: ", 0), 0u) << l;
        } else {
            EXPECT_TRUE(has(rig.errLines, c.stopped)) << ::testing::PrintToString(rig.errLines);
            EXPECT_EQ(rig.errLines.back(), "exit code: -1");
        }
    }
}

// The end-to-end recipes, here on the in-process controller: the verdict, code and exit code
// each gives with the scans the end-to-end cases send.
TEST(HeadlessFrontEnd, EndToEndRecipesGiveTheirVerdicts) {
    const std::string recipes = std::string(VORLICK_SOURCE_DIR) + "/station/app/e2e/recipes/";
    struct Case {
        const char* recipe;
        std::vector<int> openRx;
        std::string scan;
        const char* result;
        const char* code;
        int exitCode;
        int checkLimit = 1;  // 0: the recipe's automatic quit must close the station
    };
    const Case cases[] = {
        {"quick.ini", {}, "", "OK", "    ", 0},
        {"quick.ini", {12}, "", "NG", "E631", 631},
        {"serial.ini", {}, "sn AB-7781", "OK", "    ", 0},
        {"serial.ini", {}, "sn ZZ-7781", "NG", "E608", 608},
        // A scanner's 10000 characters reach the row whole.
        {"serial.ini", {}, "sn AB-" + std::string(9997, '9'), "OK", "    ", 0},
        {"auto_once.ini", {}, "", "OK", "    ", 0},
        {"auto_quit.ini", {}, "", "OK", "    ", 0, 0},
    };
    for (const auto& c : cases) {
        HeadlessRig rig({true, c.checkLimit}, c.openRx);
        if (!c.scan.empty()) rig.input.line(1000, c.scan);
        rig.run(recipes + c.recipe);
        ASSERT_EQ(rig.station.runs.rowCount(), 1u) << c.recipe << ::testing::PrintToString(rig.outLines);
        EXPECT_EQ(rig.station.runs.row(0).colResult, c.result) << c.recipe;
        EXPECT_EQ(rig.station.runs.row(0).colCode, c.code) << c.recipe;
        EXPECT_EQ(rig.station.runs.row(0).serialNo, c.scan.empty() ? "" : c.scan.substr(3)) << c.recipe;
        EXPECT_EQ(rig.errLines.back(), "exit code: " + std::to_string(c.exitCode)) << c.recipe;
    }
}

TEST(HeadlessFrontEnd, OneLinePerMessage) {
    HeadlessRig rig({false, 0});
    rig.ui.appendMessage("two\nlines\r\n");
    rig.ui.appendMessage("");
    // A scanner's escape sequence is shown, not obeyed by the operator's terminal.
    rig.ui.appendMessage(std::string("Check #.1 S/N: \x1b[2J\x1b]0;x\x07\0\tA\x7f", 29));
    EXPECT_EQ(readAll(rig.out), "two lines\n\nCheck #.1 S/N: \\x1B[2J\\x1B]0;x\\x07\\x00\tA\\x7F\n");
}

}  // namespace
}  // namespace station
