#include "station/window/headless/headless_front_end.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
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
// may hand an event first (a signal in the middle of a check). After an hour of virtual time
// without a close the script sends SIGTERM, so a station that never closes fails instead of
// hanging.
class ScriptedInput final : public InputSource {
public:
    explicit ScriptedInput(platform::VirtualClock& clock) : clock_(clock) {}
    void at(std::uint64_t ms, InputEvent e) { events_.push_back({ms, std::move(e)}); }
    void line(std::uint64_t ms, std::string text) { at(ms, {InputEvent::Kind::Line, std::move(text), 0}); }
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
            return InputEvent{InputEvent::Kind::Signal, {}, 15};
        }
        clock_.advance(timeoutMs);
        return std::nullopt;
    }

private:
    platform::VirtualClock& clock_;
    std::deque<std::pair<std::uint64_t, InputEvent>> events_;
};

// The log port in call order; the opening names a log folder so the records have a path.
class OrderedLogs final : public CheckLogs {
public:
    bool openResultLog(Station& s) override {
        calls.push_back("open");
        s.logFiles.logFolder = "logs/t_20260101_090000/";
        s.logFiles.logTimestamp = "20260101_090000";
        return true;
    }
    void buildDetailCsvHeader(Station&) override { calls.push_back("header"); }
    void writeDetailCsv(Station&, bool ok) override { calls.push_back(ok ? "detail OK" : "detail NG"); }
    bool appendResultRow(Station& s) override {
        calls.push_back("row " + s.runs.current()->serialNo);
        return true;
    }
    void closeResultLog(Station&) override { calls.push_back("close"); }
    std::vector<std::string> calls;
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
    explicit HeadlessRig(HeadlessOptions options, std::vector<int> openRx = {}) : ui(out, err, clock, input, options) {
        sim::ControllerConfig c;
        c.panel.noiseSigma = 0.0;
        c.panel.openRx = std::move(openRx);
        bus.addDevice(std::make_shared<sim::ControllerDevice>(c));
        station.automatic = &judgements;
        station.logs = &logs;
        ui.attach(station, control);
        ui.onCheckEnded = [this](const Station& s) { ended.push_back(s.runs.current()->serialNo); };
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
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ScriptedInput input{clock};
    HeadlessFrontEnd ui;
    Station station{table, clock, ui};
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
                return InputEvent{InputEvent::Kind::Line, "start", 0};
            case 1:
                return InputEvent{InputEvent::Kind::Line, "load PID0952.ini", 0};
            case 2:
                return InputEvent{InputEvent::Kind::Signal, {}, 15};
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
    rig.input.at(30, {InputEvent::Kind::TooLong, {}, 0});
    rig.input.line(40, "load PID0A52.ini");
    rig.input.at(50, {InputEvent::Kind::End, {}, 0});
    rig.run("PID0A52.ini");
    EXPECT_TRUE(
        has(rig.errLines,
            "command ignored: unknown command 'bogus' (commands: start, sn TEXT, enter, reset, load FILE, quit)"));
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
    EXPECT_TRUE(has(rig.errLines, "command ignored: the serial-number dialog is open (answer with 'sn TEXT')"));
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"open", "header", "detail OK", "row SN-0001", "close"}));
    EXPECT_EQ(rig.ended, std::vector<std::string>{"SN-0001"});
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
