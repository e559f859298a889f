#include "romwrite/window/confirmation_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "romwrite/window/tests/window_bench.h"

namespace romwrite {
namespace {

using testing::BoxAnswerer;
using testing::FakePower;
using testing::FakeStayAwake;

struct Pages {
    FakePower power;
    FakeStayAwake stayAwake;
    ConfirmationDialog dialog{power, stayAwake};

    QString button(const char* name) { return dialog.findChild<QPushButton*>(name)->text(); }
    // Which labels are shown, by name.
    std::vector<std::string> shown() {
        std::vector<std::string> out;
        for (QLabel* l : dialog.findChildren<QLabel*>())
            if (!l->isHidden()) out.push_back(l->objectName().toStdString());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST(ConfirmationDialog, TwoPagesEachNeedingMains) {
    Pages p;
    EXPECT_EQ(p.dialog.windowTitle(), "Multi-touch Device Firmware Update Utility   Ver.3.00");
    EXPECT_EQ(p.button("forward"), "&Next");
    EXPECT_EQ(p.button("back"), "E&xit");
    EXPECT_EQ(p.shown(), (std::vector<std::string>{"note1", "note2", "note3", "note4", "note5"}));
    EXPECT_EQ(p.dialog.findChild<QLabel*>("note1")->text(), "Before continuing please ensure the following:");

    p.power.mains = false;
    {
        BoxAnswerer ok(QMessageBox::Ok);
        p.dialog.forwardPressed();
        EXPECT_EQ(ok.seen, std::vector<std::string>{
                               "Error: This process requires power to avoid an accidental power-off during an "
                               "update.\nConnect the AC adapter to the system."});
        EXPECT_EQ(ok.icons, std::vector<QMessageBox::Icon>{QMessageBox::Critical});
    }
    EXPECT_EQ(p.button("forward"), "&Next") << "stays on the notes page";

    p.power.mains = true;
    p.dialog.forwardPressed();
    EXPECT_EQ(p.shown(), (std::vector<std::string>{"warning1", "warning2", "warning3"}));
    EXPECT_EQ(p.dialog.findChild<QLabel*>("warning1")->text(), "DO NOT POWER OFF DURING AN UPDATE.");
    EXPECT_EQ(p.dialog.findChild<QLabel*>("warning3")->text(), "Do you want to continue?");
    EXPECT_EQ(p.button("forward"), "&Yes");
    EXPECT_EQ(p.button("back"), "&No");
}

TEST(ConfirmationDialog, ConfirmRunsModallyAndKeepsTheMachineAwake) {
    const struct {
        const char* presses;  // f: forward, b: back
        bool confirmed;
    } cases[] = {{"ff", true}, {"b", false}, {"fb", false}};
    for (const auto& c : cases) {
        Pages p;
        bool heldWhileOpen = false;
        QTimer::singleShot(0, [&] {
            heldWhileOpen = p.stayAwake.held;
            for (const char* k = c.presses; *k != '\0'; ++k) {
                if (*k == 'f')
                    p.dialog.findChild<QPushButton*>("forward")->click();
                else
                    p.dialog.findChild<QPushButton*>("back")->click();
            }
        });
        EXPECT_EQ(p.dialog.confirm(), c.confirmed) << c.presses;
        EXPECT_TRUE(heldWhileOpen) << c.presses;
        EXPECT_FALSE(p.stayAwake.held) << c.presses;
    }
}

}  // namespace
}  // namespace romwrite
