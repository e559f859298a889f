// The window's small dialogs and desktop helpers: the serial-number dialog, the external-switch
// prompt, the Super-key guard and the second start's raise request.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "station/window/qt/external_switch_dialog.h"
#include "station/window/qt/raise_channel.h"
#include "station/window/qt/serial_number_dialog.h"
#include "station/window/qt/super_key_guard.h"
#include "station/window/qt/tests/window_rig.h"

namespace station::test {
namespace {

TEST(SerialNumberDialog, OkTakesTheTextWithoutScanMarksCancelAndEscTakeNothing) {
    struct Case {
        const char* name;
        const char* typed;  // replaces the field's text
        std::function<void(SerialNumberDialog&)> answer;
        std::optional<std::string> expected;
    };
    auto click = [](const char* button) {
        return [button](SerialNumberDialog& d) { d.findChild<QPushButton*>(button)->click(); };
    };
    const Case cases[] = {
        {"OK", "#A#12#34", click("serialNumberOk"), "A1234"},
        {"Enter is OK", "#B7",
         [](SerialNumberDialog& d) { QTest::keyClick(d.findChild<QLineEdit*>("serialNumberField"), Qt::Key_Return); },
         "B7"},
        {"CANCEL", "C1", click("serialNumberCancel"), std::nullopt},
        {"Esc", "C1", [](SerialNumberDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, std::nullopt},
        {"closed", "C1", [](SerialNumberDialog& d) { d.close(); }, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        QString opened;
        OnModal<SerialNumberDialog> operatorAnswers([&](SerialNumberDialog& d) {
            auto* field = d.findChild<QLineEdit*>("serialNumberField");
            opened = field->text();
            field->clear();
            QTest::keyClicks(field, c.typed);
            c.answer(d);
        });
        EXPECT_EQ(rig.window.askSerialNumber("#SN-9"), c.expected);
        EXPECT_TRUE(operatorAnswers.seen);
        EXPECT_EQ(opened, "#SN-9");  // opens with the current text as it stands
    }
}

TEST(ExternalSwitchDialog, PassesWhenTheStepSaysSoFailsOnCancelOrClose) {
    struct Case {
        const char* name;
        int passOnStep;  // 0: never
        std::function<void(ExternalSwitchDialog&)> operatorDoes;
        bool passed;
        int stepsAtLeast;
    };
    const Case cases[] = {
        {"passes on the second step", 2, {}, true, 2},
        {"Cancel", 0, [](ExternalSwitchDialog& d) { d.findChild<QPushButton*>("externalSwitchCancel")->click(); },
         false, 0},
        {"closed", 0, [](ExternalSwitchDialog& d) { d.close(); }, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        int steps = 0;
        bool reentered = false;
        bool inStep = false;
        const std::function<bool()> step = [&] {
            reentered = reentered || inStep;
            inStep = true;
            ++steps;
            // A step pumps events itself; the dialog's timer must not run a second one inside.
            QTest::qWait(ExternalSwitchDialog::kStepMs + 20);
            inStep = false;
            return c.passOnStep != 0 && steps >= c.passOnStep;
        };
        std::unique_ptr<OnModal<ExternalSwitchDialog>> operatorActs;
        if (c.operatorDoes) operatorActs = std::make_unique<OnModal<ExternalSwitchDialog>>(c.operatorDoes);
        EXPECT_EQ(rig.window.runExternalSwitchDialog(step), c.passed);
        EXPECT_GE(steps, c.stepsAtLeast);
        if (c.passOnStep != 0) {
            EXPECT_EQ(steps, c.passOnStep);
        }
        EXPECT_FALSE(reentered);
    }
}

// Records the keys that reach it.
class KeyRecorder final : public QWidget {
public:
    std::vector<int> pressed;
    std::vector<int> released;

protected:
    void keyPressEvent(QKeyEvent* e) override { pressed.push_back(e->key()); }
    void keyReleaseEvent(QKeyEvent* e) override { released.push_back(e->key()); }
};

TEST(SuperKeyGuard, SwallowsOnlyTheSuperKeysAndOnlyWhileOn) {
    struct Case {
        const char* name;
        int key;
        quint32 nativeKey;
        bool swallowedWhileOn;
    };
    const Case cases[] = {
        {"left Super", Qt::Key_Super_L, 0, true},
        {"right Super", Qt::Key_Super_R, 0, true},
        {"Super reported as Meta", Qt::Key_Meta, 0xffeb, true},
        {"a real Meta", Qt::Key_Meta, 0xffe7, false},
        {"a letter", Qt::Key_A, 'a', false},
        {"Enter", Qt::Key_Return, 0xff0d, false},
    };
    WindowRig rig;
    KeyRecorder target;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool on : {true, false}) {
            rig.window.setSuperKeyGuard(on);
            EXPECT_EQ(rig.window.superKeyGuardActive(), on);
            target.pressed.clear();
            target.released.clear();
            QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, 0, c.nativeKey, 0);
            QKeyEvent release(QEvent::KeyRelease, c.key, Qt::NoModifier, 0, c.nativeKey, 0);
            QApplication::sendEvent(&target, &press);
            QApplication::sendEvent(&target, &release);
            const bool swallowed = on && c.swallowedWhileOn;
            EXPECT_EQ(target.pressed.size(), swallowed ? 0u : 1u) << "on " << on;
            EXPECT_EQ(target.released.size(), swallowed ? 0u : 1u) << "on " << on;
        }
    }
    // The station's shutdown takes the guard off.
    rig.startWith("PID0A52.ini");
    rig.window.setSuperKeyGuard(true);
    rig.window.close();
    EXPECT_FALSE(rig.window.superKeyGuardActive());
}

TEST(RaiseChannel, ASecondStartBringsTheFirstWindowToTheFront) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = raiseSocketPath(dir.path());
    EXPECT_FALSE(askRunningWindowToRaise(path, 200));  // nobody listens

    int raised = 0;
    RaiseServer server([&raised] { ++raised; });
    QString error;
    ASSERT_TRUE(server.listen(path, error)) << error.toStdString();
    EXPECT_TRUE(askRunningWindowToRaise(path));
    EXPECT_TRUE(QTest::qWaitFor([&raised] { return raised == 1; }, 2000));

    // A socket left behind by a station that died does not stop the next one from listening.
    RaiseServer next([] {});
    ASSERT_TRUE(next.listen(path, error)) << error.toStdString();
}

}  // namespace
}  // namespace station::test
