// The pin check viewer's window on a controller with pin faults: the table in its cleared form,
// a Check that shows NG and the faulty picture in the faulty rows with the error picture, the
// Open view, and the number fields reaching the pin check.
#include "station/viewers/qt/pin_viewer_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include "station/viewers/logic/tests/fake_viewer_device.h"
#include "station/viewers/qt/tests/viewer_bench.h"

namespace {

using station::viewers::PinViewerInputs;
using station::viewers::PinViewerWindow;

QString cell(const PinViewerWindow& w, int row, int col) { return w.controls().table->item(row, col)->text(); }

TEST(PinViewerWindow, ShowsTheControllersPinFaultsAfterCheck) {
    testfx::ViewerBench b("r6-pin-faults.scenario");  // Rx pin 12 to Vdd, Tx pin 3 to Gnd
    ASSERT_TRUE(b.connect());
    auto& recipe = *b.recipe;
    for (std::uint16_t i = 0; i < 72; ++i) recipe.XLUT[i] = static_cast<std::uint16_t>(0x100 | i);
    recipe.XLUT[5] = 0;  // pin 5 unused
    for (std::uint16_t i = 0; i < 46; ++i) recipe.YLUT[i] = static_cast<std::uint16_t>(0x100 | i);
    PinViewerWindow w(PinViewerInputs{.device = b.port,
                                      .waitTime = recipe.WAIT_TIME,
                                      .shortThreshold = recipe.SHORT_THRESHOLD,
                                      .openThreshold = 50,
                                      .rxMap = recipe.XLUT,
                                      .txMap = recipe.YLUT});
    w.show();
    const auto& c = w.controls();
    EXPECT_EQ(w.windowTitle(), "PinCheck Viewer");
    ASSERT_EQ(c.table->columnCount(), 10);
    EXPECT_EQ(c.table->horizontalHeaderItem(1)->text(), "RX");
    EXPECT_EQ(c.table->horizontalHeaderItem(9)->text(), "Notes");
    EXPECT_EQ(c.table->columnWidth(4), 90);
    EXPECT_EQ(cell(w, 7, 1), "<7>");
    EXPECT_EQ(cell(w, 7, 4), "rx7");
    EXPECT_EQ(cell(w, 5, 4), "don't use");
    EXPECT_EQ(c.table->item(5, 2)->background().color(), QColor(220, 220, 220)) << "an unused pin is grey";
    EXPECT_EQ(cell(w, 50, 6), "") << "no Tx pin past 45";
    EXPECT_FALSE(c.errorPicture->isVisible());
    EXPECT_EQ(c.waitTime->text(), "500");
    EXPECT_EQ(c.openThreshold->text(), "50");

    QTest::mouseClick(c.check, Qt::LeftButton);
    EXPECT_EQ(c.status->currentMessage(), "Success to Get Pin check status.");
    EXPECT_EQ(cell(w, 12, 2), "NG");
    EXPECT_EQ(c.table->item(12, 2)->foreground().color(), QColor(Qt::red));
    EXPECT_EQ(cell(w, 12, 3), "");
    EXPECT_EQ(cell(w, 3, 8), "NG");
    EXPECT_EQ(cell(w, 13, 2), "");
    EXPECT_FALSE(c.table->item(12, 0)->icon().isNull()) << "the faulty picture";
    EXPECT_TRUE(c.errorPicture->isVisible());
    EXPECT_EQ(c.errorText->text(), "Error Exist.");

    QTest::mouseClick(c.clear, Qt::LeftButton);
    EXPECT_EQ(cell(w, 12, 2), "");
    EXPECT_TRUE(c.table->item(12, 0)->icon().isNull());
    EXPECT_FALSE(c.errorPicture->isVisible());

    c.openView->setChecked(true);
    EXPECT_FALSE(c.table->isVisible());
    EXPECT_TRUE(c.grid->isVisible());
    EXPECT_TRUE(c.passSquare->isVisible());
    EXPECT_FALSE(c.passPicture->isVisible());
    EXPECT_EQ(c.passText->text(), "Pass");

    b.touch.close();
    QTest::mouseClick(c.check, Qt::LeftButton);
    EXPECT_EQ(c.status->currentMessage(), "Error: Device is not opened.");
}

// The fields' numbers go to the pin check; the open threshold goes nowhere.
TEST(PinViewerWindow, CheckTakesTheWaitTimeAndShortThresholdFields) {
    testfx::FakeViewerDevice device;
    std::array<std::uint16_t, 72> rx{};
    std::array<std::uint16_t, 46> tx{};
    PinViewerWindow w(
        PinViewerInputs{.device = device, .waitTime = 500, .shortThreshold = 100, .rxMap = rx, .txMap = tx});
    const auto& c = w.controls();
    c.waitTime->setText("250");
    c.shortThreshold->setText("80");
    c.openThreshold->setText("999");
    QTest::mouseClick(c.check, Qt::LeftButton);
    EXPECT_EQ(device.lastWait, 250);
    EXPECT_EQ(device.lastThreshold, 80);
    device.pinAnswer.reset();
    QTest::mouseClick(c.check, Qt::LeftButton);
    EXPECT_EQ(c.status->currentMessage(), "Failed to Get Pin check Status.");
}

}  // namespace
