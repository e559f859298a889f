// The station window driven as an operator drives it: keys typed into its controls, its
// buttons and menu, its ticks; what it shows read back from its widgets and its list model.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "station/window/qt/about_box.h"
#include "station/window/qt/tests/window_rig.h"

namespace station::test {
namespace {

// Runs a script of operator events: t tick, S a click on Start, \n Enter, any other character
// typed; keys go to the control that has the keyboard focus, as on the desktop.
void play(WindowRig& rig, std::string_view script) {
    for (const char op : script) {
        QWidget* focus = QApplication::focusWidget();
        if (focus == nullptr) focus = &rig.window;
        switch (op) {
            case 't':
                rig.tick();
                break;
            case 'S':
                QTest::mouseClick(rig.c().start, Qt::LeftButton);
                break;
            case '\n':
                QTest::keyClick(focus, Qt::Key_Return);
                break;
            default:
                QTest::keyClicks(focus, QString(QLatin1Char(op)));
                break;
        }
    }
}

TEST(StationWindowKeys, ScansAndEnterFollowTheStartTrigger) {
    struct Case {
        const char* name;
        int trigger;
        const char* script;
        const char* serial;  // the S/N field afterwards
        bool writable;
        int checks;
    };
    const Case cases[] = {
        // A scanner types '#', the number and Enter into the focused, writable field.
        {"scan closes the field", 1, "tSt#A1234\n", "A1234", false, 0},
        {"the scan triggers the next tick", 1, "tSt#A1234\nt", "", false, 1},
        {"scan then Enter", 2, "tSt#A1234\n\nt", "", false, 1},
        // Without the mark, Enter is no scan: the typed text stays in the open field.
        {"Enter without the mark", 2, "tStA1\nt", "A1", true, 0},
        {"Enter triggers", 3, "tSt\nt", "", false, 1},
        // The field stays closed with this trigger: a scan types nothing and its Enter only
        // ends the scan.
        {"scan into the closed field", 3, "tSt#A1234\nt", "", false, 0},
        {"Enter with the connection trigger", 0, "tSt\nt", "", false, 0},
        {"Enter with the scan trigger", 1, "tSt\nt", "", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startWith("PID0A52.ini");
        rig.station.recipe.START_TRG = static_cast<StartTrigger>(c.trigger);
        play(rig, c.script);
        EXPECT_EQ(rig.c().serial->text(), c.serial);
        EXPECT_EQ(rig.c().serial->isReadOnly(), !c.writable);
        EXPECT_EQ(rig.control.checksEnded(), c.checks);
    }
}

TEST(StationWindowRun, StartAndACheckShowTheirRowTheWordAndTheCounts) {
    struct Case {
        const char* name;
        std::vector<ErrorId> rawErrors;
        const char* word;
        const char* total;
        const char* ok;
        const char* ng;
    };
    const Case cases[] = {{"OK", {}, "OK", "1", "1", "0"}, {"NG", {ErrorId::RawUpper}, "NG", "1", "0", "1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startWith("PID0A52.ini");
        rig.station.recipe.START_TRG = StartTrigger::EnterKey;
        if (!c.rawErrors.empty()) rig.checks.raw = StepOutcome::ng(c.rawErrors.front());
        play(rig, "t");
        rig.paint();
        EXPECT_EQ(rig.c().panel->shownText(), "PRESS 'START'");
        EXPECT_EQ(rig.c().title->text(), "R6 quick check (short + raw)");
        EXPECT_TRUE(rig.c().iniFile->text().endsWith("PID0A52.ini"));
        EXPECT_EQ(rig.c().panes[1]->text(), "CONNECT");
        EXPECT_EQ(rig.c().panes[0]->text(), "Please press the start button.");

        play(rig, "S");
        EXPECT_EQ(rig.c().start->text(), "Retry");
        EXPECT_FALSE(rig.c().start->isEnabled());
        EXPECT_EQ(rig.c().model->rowCount(), 0);
        play(rig, "t\nt");
        rig.paint();
        ASSERT_EQ(rig.c().model->rowCount(), 1);
        EXPECT_EQ(rig.cell(0, 0), "1-0");
        EXPECT_EQ(rig.cell(0, 2), c.word);
        EXPECT_EQ(rig.c().panel->shownText(), c.word);
        EXPECT_EQ(rig.c().total->text(), c.total);
        EXPECT_EQ(rig.c().ok->text(), c.ok);
        EXPECT_EQ(rig.c().ng->text(), c.ng);
        EXPECT_TRUE(rig.c().start->isEnabled());
        EXPECT_NE(rig.c().startTime->text(), "----/--/-- --:--:--");
        EXPECT_EQ(rig.c().logFile->text(), "logs/x/");
        EXPECT_GT(rig.c().messages->blockCount(), 1);
    }
}

TEST(StationWindowRun, ClearStartsANewSeries) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.station.recipe.START_TRG = StartTrigger::EnterKey;
    play(rig, "tSt\nt");
    ASSERT_EQ(rig.c().model->rowCount(), 1);

    QTest::mouseClick(rig.c().clear, Qt::LeftButton);
    rig.paint();
    // Enter or Space now presses Start.
    EXPECT_EQ(QApplication::focusWidget(), rig.c().start);
    EXPECT_EQ(rig.c().model->rowCount(), 0);
    EXPECT_EQ(rig.c().total->text(), "0");
    EXPECT_EQ(rig.c().ok->text(), "0");
    EXPECT_EQ(rig.c().start->text(), "Start");
    EXPECT_TRUE(rig.c().start->isEnabled());
    EXPECT_EQ(rig.c().logFile->text(), "---");
    EXPECT_EQ(rig.c().panel->shownText(), "PRESS 'START'");
    EXPECT_EQ(rig.c().panes[1]->text(), "DISCONNECT");
    // The next Start opens a new result log.
    play(rig, "tS");
    EXPECT_EQ(rig.logs.opens, 2);
}

// Everything the operator can do while a check runs: the window pumps these events from inside
// the check (the log port's write stands for a step of it).
TEST(StationWindowRun, CommandsDuringACheckAndACloseThatWaitsForIt) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.station.recipe.START_TRG = StartTrigger::EnterKey;
    int chooserCalls = 0;
    rig.window.setRecipeChooser([&chooserCalls](const QString&) {
        ++chooserCalls;
        return QString::fromStdString(kExampleFolder + "/R6_full.ini");
    });
    QSignalSpy closed(&rig.window, &StationWindow::closed);
    bool startDisabled = false;
    bool tickStopped = false;
    rig.logs.duringWrite = [&] {
        startDisabled = !rig.c().start->isEnabled();
        tickStopped = !rig.window.tickTimerRunning();
        rig.c().readIni->trigger();
        QTest::mouseClick(rig.c().clear, Qt::LeftButton);
        rig.c().start->click();
        rig.window.tick();
        rig.window.close();
        EXPECT_TRUE(rig.window.isVisible());
        EXPECT_EQ(closed.count(), 0);
    };
    play(rig, "tSt\nt");
    EXPECT_TRUE(startDisabled);
    EXPECT_TRUE(tickStopped);
    EXPECT_EQ(chooserCalls, 0);
    EXPECT_EQ(std::filesystem::path(rig.station.recipe.recipePath).filename(), "PID0A52.ini");
    EXPECT_EQ(rig.control.checksEnded(), 1);
    // The check's row and its log come first, then the totals; then the window is gone.
    EXPECT_EQ(rig.logs.calls, (std::vector<std::string>{"detail", "row", "close"}));
    EXPECT_EQ(rig.c().model->rowCount(), 1);
    EXPECT_TRUE(rig.control.shutDown());
    EXPECT_FALSE(rig.window.isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(rig.window.tickTimerRunning());
}

TEST(StationWindowRun, ReadIniLoadsTheChosenRecipeFromTheStartFolder) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    QString offeredFolder;
    QString answer = QString::fromStdString(kExampleFolder + "/R6_full.ini");
    rig.window.setRecipeChooser([&](const QString& folder) {
        offeredFolder = folder;
        return answer;
    });
    rig.c().serial->setFocus();
    rig.c().readIni->trigger();
    EXPECT_EQ(offeredFolder.toStdString(), kExampleFolder);
    EXPECT_EQ(std::filesystem::path(rig.station.recipe.recipePath).filename(), "R6_full.ini");
    EXPECT_EQ(QApplication::focusWidget(), rig.c().start);
    EXPECT_TRUE(rig.c().iniFile->text().endsWith("R6_full.ini"));
    // A cancelled dialog keeps the recipe.
    answer.clear();
    rig.c().readIni->trigger();
    EXPECT_EQ(std::filesystem::path(rig.station.recipe.recipePath).filename(), "R6_full.ini");
}

TEST(StationWindowClose, EveryWayOfClosingShutsTheStationDownOnce) {
    struct Case {
        const char* name;
        int autoQuitMs;
        std::function<void(WindowRig&)> close;
    };
    const Case cases[] = {
        {"Quit", 0, [](WindowRig& rig) { rig.c().quit->trigger(); }},
        {"window close", 0, [](WindowRig& rig) { rig.window.close(); }},
        {"stop signal", 0, [](WindowRig& rig) { rig.window.requestStop(); }},
        // Armed by the OK verdict; it closes the window from inside a tick.
        {"automatic quit", 300, [](WindowRig& rig) { play(rig, "tttt"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.startWith("PID0A52.ini");
        rig.station.recipe.START_TRG = StartTrigger::EnterKey;
        rig.station.recipe.AUTO_QUIT_TIME = c.autoQuitMs;
        play(rig, "tSt\nt");
        ASSERT_EQ(rig.control.checksEnded(), 1);
        QSignalSpy closed(&rig.window, &StationWindow::closed);
        c.close(rig);
        EXPECT_TRUE(rig.control.shutDown());
        EXPECT_FALSE(rig.window.isVisible());
        EXPECT_EQ(closed.count(), 1);
        EXPECT_EQ(rig.logs.closes, 1);
        EXPECT_EQ(rig.device->mode(), 0);  // the controller back in its normal mode
        EXPECT_FALSE(rig.window.tickTimerRunning());
    }
}

TEST(StationWindowPointer, OnlyTheOperatorsControlsHoldTheFocusLock) {
    WindowRig rig;
    const StationWindow::Controls& c = rig.c();
    const std::pair<QWidget*, int> cases[] = {{c.start, 1},   {c.clear, 1},   {c.messages, 1}, {c.results, 1},
                                              {c.hexFile, 1}, {c.iniFile, 1}, {c.logFile, 1},  {c.panel, 0},
                                              {c.serial, 0},  {c.total, 0}};
    for (const auto& [widget, over] : cases) {
        SCOPED_TRACE(widget->objectName().toStdString());
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(widget, &enter);
        EXPECT_EQ(rig.station.flags.pointerOverControl, over != 0);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
        EXPECT_FALSE(rig.station.flags.pointerOverControl);
    }
}

TEST(StationWindowMenu, VersionShowsTheAboutBox) {
    WindowRig rig;
    std::map<std::string, std::string> shown;
    OnModal<AboutBox> answer([&shown](AboutBox& box) {
        shown["title"] = box.windowTitle().toStdString();
        for (const char* name : {"aboutName", "aboutVersion", "aboutRights1", "aboutRights2"})
            shown[name] = box.findChild<QLabel*>(name)->text().toStdString();
        box.findChild<QPushButton*>("aboutOk")->click();
    });
    rig.c().version->trigger();
    ASSERT_TRUE(answer.seen);
    EXPECT_EQ(shown["title"], "バージョン情報 VorlickR6X");
    EXPECT_EQ(shown["aboutName"], "VorlickR6X, Version");
    EXPECT_EQ(shown["aboutVersion"], "1.25.4");
    EXPECT_FALSE(shown["aboutRights1"].empty());
    EXPECT_FALSE(shown["aboutRights2"].empty());
}

TEST(StationWindowMenu, MenuItemsCarryTheirAccelerators) {
    WindowRig rig;
    const StationWindow::Controls& c = rig.c();
    EXPECT_EQ(c.readIni->text(), "&Read ini");
    EXPECT_EQ(c.quit->text(), "&Quit");
    EXPECT_EQ(c.openWriter->text(), "&Open");
    EXPECT_EQ(c.version->text(), "&Version");
    QStringList menus;
    for (QAction* a : rig.window.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus.join(' ').toStdString(), "&File &RomWrite &Help");
    // The writer's start is given by the program; without it the item cannot be chosen.
    EXPECT_FALSE(c.openWriter->isEnabled());
    int opened = 0;
    rig.window.setWriterOpener([&opened](Station&) { ++opened; });
    ASSERT_TRUE(c.openWriter->isEnabled());
    c.openWriter->trigger();
    EXPECT_EQ(opened, 1);
}

TEST(StationWindowLook, StatusBarPanesAndMessagePane) {
    WindowRig rig;
    const StationWindow::Controls& c = rig.c();
    const struct {
        int pane;
        const char* text;
        int width;
        bool framed;
    } panes[] = {{1, "DISCONNECT", 85, true}, {2, "RX", 15, false},  {3, "--", 20, true},
                 {4, "TX", 15, false},        {5, "--", 20, true},   {6, "PID", 20, false},
                 {7, "---", 35, true},        {8, "VER", 20, false}, {9, "---", 35, true}};
    for (const auto& p : panes) {
        SCOPED_TRACE(p.pane);
        QLabel* pane = c.panes[static_cast<std::size_t>(p.pane)];
        EXPECT_EQ(pane->text(), p.text);
        EXPECT_TRUE(pane->alignment() & Qt::AlignHCenter);
        EXPECT_GE(pane->width(), p.width);
        EXPECT_EQ(pane->frameShape() != QFrame::NoFrame, p.framed);
    }
    // Pane 0 takes the rest of the bar; a text without a leading tab sits on the left.
    rig.window.setStatusPane(0, "Please read ini file.");
    EXPECT_EQ(c.panes[0]->text(), "Please read ini file.");
    EXPECT_TRUE(c.panes[0]->alignment() & Qt::AlignLeft);
    EXPECT_GT(c.panes[0]->width(), c.panes[1]->width());
    rig.window.setStatusPane(12, "out of range");  // no such pane: nothing happens

    // The pane shows every message on its own line and keeps its last line in view.
    for (int i = 0; i < 200; ++i) rig.window.appendMessage("line " + std::to_string(i));
    QCoreApplication::processEvents();
    EXPECT_EQ(c.messages->document()->lastBlock().text(), "line 199");
    EXPECT_EQ(c.messages->verticalScrollBar()->value(), c.messages->verticalScrollBar()->maximum());
    EXPECT_TRUE(c.messages->isReadOnly());
    rig.window.appendMessage(std::string(100000, 'x'));
    EXPECT_LE(c.messages->document()->lastBlock().text().size(), StationWindow::kMessageChars + 3);
}

TEST(StationWindowLook, TabWalksTheOperatorsControlsInOrder) {
    WindowRig rig;
    rig.startWith("PID0A52.ini");
    rig.c().start->setFocus();
    QStringList walked;
    for (int i = 0; i < 9; ++i) {
        walked << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(walked.join(' ').toStdString(), "start clear serial hexFile iniFile logFile messages results start");
}

// The probe is what the real-display tests read back from a running window.
TEST(StationWindowProbe, KeepsWhatTheWindowShowsInTheProbeFile) {
    const std::filesystem::path file = std::filesystem::path(VORLICK_BINARY_DIR) / "station_window_probe.txt";
    std::filesystem::remove(file);
    ::setenv("VORLICK_WINDOW_PROBE", file.c_str(), 1);
    std::map<std::string, std::string> keys;
    {
        WindowRig rig;
        ::unsetenv("VORLICK_WINDOW_PROBE");
        rig.startWith("PID0A52.ini");
        rig.station.recipe.START_TRG = StartTrigger::EnterKey;
        rig.checks.raw = StepOutcome::ng(ErrorId::RawUpper);
        play(rig, "tSt\ntt");
        rig.paint();
        QTest::qWait(1);
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            ASSERT_NE(eq, std::string::npos) << line;
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
        const QPoint start = rig.c().start->mapToGlobal(rig.c().start->rect().center());
        EXPECT_EQ(keys["start"], "Retry enabled " + std::to_string(start.x()) + " " + std::to_string(start.y()));
        QStringList cells;
        for (int col = 0; col < ResultListModel::kColumns; ++col) cells << rig.cell(0, col);
        EXPECT_EQ(keys["row"], cells.join('\t').toStdString());
    }
    EXPECT_EQ(keys["title"], "VorlickR6X");
    EXPECT_EQ(keys["panel"], "NG");
    EXPECT_EQ(keys["counts"], "1 0 1");
    EXPECT_EQ(keys["rows"], "1");
    EXPECT_EQ(keys["result_colour"], "#ff0000");
    EXPECT_EQ(keys["connection"], "CONNECT");
    EXPECT_EQ(keys["prompt"], "Waiting for a start triger:  Please press 'enter' key.");
    EXPECT_EQ(keys["serial"], "");
    EXPECT_EQ(keys["serial_mode"], "ro");
    EXPECT_EQ(keys["lamp"].size(), 9u);
    for (const char* key : {"geometry", "clear"}) EXPECT_FALSE(keys[key].empty()) << key;
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace station::test
