// The pin check viewer's logic: the pin map's notes and colours, Check and Clear, the error
// picture that remembers every fault the controller link counted, and the Open view's grid.
#include "station/viewers/logic/pin_viewer.h"

#include <gtest/gtest.h>

#include <array>

#include "station/viewers/logic/tests/fake_viewer_device.h"

namespace {

using station::viewers::kCellUnused;
using station::viewers::kCellWhite;
using station::viewers::PinViewer;

// Every line drives the pin of the same number, and every pin is used.
struct Maps {
    std::array<std::uint16_t, 72> rx{};
    std::array<std::uint16_t, 46> tx{};
    Maps() {
        for (std::uint16_t i = 0; i < 72; ++i) rx[i] = static_cast<std::uint16_t>(0x100 | i);
        for (std::uint16_t i = 0; i < 46; ++i) tx[i] = static_cast<std::uint16_t>(0x100 | i);
    }
};

struct PinBench {
    testfx::FakeViewerDevice device;
    Maps maps;
    PinViewer open() {
        return PinViewer({.device = device,
                          .waitTime = 500,
                          .shortThreshold = 100,
                          .openThreshold = 50,
                          .rxMap = maps.rx,
                          .txMap = maps.tx});
    }
};

TEST(PinViewerTable, NotesAndColoursFollowThePinMaps) {
    PinBench b;
    b.maps.rx[5] = 30;                                             // Rx pin 5 not used (bit 8 clear)
    b.maps.rx[12] = 0x100 | 7;                                     // line 12 is where pin 7 is found first
    b.maps.rx[7] = 0x100 | 12;                                     // ... and pin 7 is used
    b.maps.rx[40] = 0x100 | 7;                                     // a later word for pin 7 changes nothing
    b.maps.tx[3] = 0x200 | 3;                                      // bits 9..8 = 10: not used
    b.maps.tx[4] = 0x300 | 4;                                      // 11: not used
    b.maps.tx[9] = static_cast<std::uint16_t>(0x100 | 0xC0 | 21);  // used; only the low 6 bits name the line
    const PinViewer v = b.open();
    struct Case {
        int row, column;
        const char* text;
        std::uint32_t background;
    };
    const Case cases[] = {
        {5, 1, "<5>", kCellUnused},       {5, 4, "don't use", kCellUnused}, {5, 0, "", kCellWhite},
        {7, 4, "rx12", kCellWhite},       {12, 4, "rx7", kCellWhite},       {6, 4, "rx6", kCellWhite},
        {3, 9, "don't use", kCellUnused}, {4, 9, "don't use", kCellUnused}, {9, 9, "tx21", kCellWhite},
        {9, 6, "<9>", kCellWhite},        {45, 6, "<45>", kCellWhite},      {46, 6, "", kCellWhite},
        {71, 1, "<71>", kCellWhite},      {5, 2, "", kCellUnused},          {5, 5, "", kCellWhite},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(v.cellText(c.row, c.column), c.text) << c.row << "," << c.column;
        EXPECT_EQ(v.cellBackground(c.row, c.column), c.background) << c.row << "," << c.column;
    }
    EXPECT_FALSE(v.rows()[46].hasTx);
    EXPECT_EQ(v.cellPicture(0, 0), station::viewers::NoPicture) << "no state before a check";
}

TEST(PinViewerTable, TenCentredColumnsRedFaultTexts) {
    const auto& cols = station::viewers::kPinColumnsLayout;
    const char* titles[] = {"", "RX", "VDD", "GND", "Notes", "", "TX", "VDD", "GND", "Notes"};
    const int widths[] = {21, 50, 50, 50, 90, 24, 50, 50, 50, 90};
    for (std::size_t i = 0; i < cols.size(); ++i) {
        EXPECT_EQ(cols[i].title, titles[i]);
        EXPECT_EQ(cols[i].width, widths[i]);
        const bool red = i == 2 || i == 3 || i == 7 || i == 8;
        EXPECT_EQ(PinViewer::cellTextColour(static_cast<int>(i)),
                  red ? station::viewers::kTextRed : station::viewers::kTextBlack);
    }
}

station::PinCheck cleanCheck() {
    station::PinCheck c;
    for (auto& p : c.rxPins) p.state = 2;
    for (auto& p : c.txPins) p.state = 2;
    return c;
}

TEST(PinViewerCheck, AFaultStaysToldAfterACleanCheck) {
    PinBench b;
    PinViewer v = b.open();
    station::PinCheck shorted = cleanCheck();
    shorted.rxPins[12] = {3, 1, 0};
    shorted.txPins[3] = {3, 0, 1};
    shorted.faultCounters = {1, 0, 0, 1};
    b.device.pinAnswer = shorted;
    v.check();
    EXPECT_EQ(v.statusText(), "Success to Get Pin check status.");
    EXPECT_EQ(v.cellText(12, 2), "NG");
    EXPECT_EQ(v.cellText(12, 3), "");
    EXPECT_EQ(v.cellPicture(12, 0), station::viewers::PinFaulty);
    EXPECT_EQ(v.cellPicture(11, 0), station::viewers::PinGood);
    EXPECT_EQ(v.cellText(3, 8), "NG");
    EXPECT_EQ(v.cellPicture(3, 5), station::viewers::PinFaulty);
    EXPECT_EQ(v.cellText(12, 4), "rx12") << "the note stays";
    EXPECT_TRUE(v.errorPictureVisible());
    EXPECT_EQ(v.errorText(), "Error Exist.");

    b.device.pinAnswer = cleanCheck();
    v.check();
    EXPECT_EQ(v.cellText(12, 2), "");
    EXPECT_EQ(v.cellPicture(12, 0), station::viewers::PinGood);
    EXPECT_EQ(v.errorText(), "Error Exist.") << "the link's fault counters are never cleared";

    v.clear();
    EXPECT_FALSE(v.errorPictureVisible());
    EXPECT_EQ(v.errorText(), "");
    EXPECT_EQ(v.cellPicture(12, 0), station::viewers::NoPicture);
    EXPECT_EQ(v.statusText(), "Success to Get Pin check status.") << "Clear leaves the status bar";
}

TEST(PinViewerCheck, RefusalsChangeOnlyTheStatusBar) {
    struct Case {
        const char* name;
        bool open;
        bool answers;
        const char* status;
        std::size_t pinChecks;
    };
    const Case cases[] = {{"closed", false, true, "Error: Device is not opened.", 0},
                          {"failed", true, false, "Failed to Get Pin check Status.", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PinBench b;
        PinViewer v = b.open();
        station::PinCheck shorted = cleanCheck();
        shorted.rxPins[0] = {3, 1, 1};
        shorted.faultCounters = {1, 1, 0, 0};
        b.device.pinAnswer = shorted;
        v.check();
        b.device.open = c.open;
        if (!c.answers) b.device.pinAnswer.reset();
        b.device.calls.clear();
        v.check();
        EXPECT_EQ(v.statusText(), c.status);
        EXPECT_EQ(std::count(b.device.calls.begin(), b.device.calls.end(), "runPinCheck"), c.pinChecks);
        EXPECT_EQ(v.cellText(0, 2), "NG") << "the last result stays shown";
        EXPECT_TRUE(v.errorPictureVisible());
    }
}

TEST(PinViewerCheck, TheStreamingReaderIsPausedAroundTheCheckOnly) {
    for (const bool streaming : {false, true}) {
        PinBench b;
        PinViewer v = b.open();
        b.device.running = streaming;
        v.check();
        const std::vector<std::string> expected = streaming ? std::vector<std::string>{"pause", "runPinCheck", "resume"}
                                                            : std::vector<std::string>{"runPinCheck"};
        EXPECT_EQ(b.device.calls, expected);
        EXPECT_FALSE(b.device.paused);
    }
}

TEST(PinViewerCheck, TheFieldsGoToTheCheckExceptTheOpenThreshold) {
    PinBench b;
    PinViewer v = b.open();
    v.setWaitTime(800);
    v.setShortThreshold(250);
    v.check();
    const auto rowsBefore = v.cellText(20, 4);
    v.setOpenThreshold(999);
    v.check();
    EXPECT_EQ(b.device.lastWait, 800);
    EXPECT_EQ(b.device.lastThreshold, 250);
    EXPECT_EQ(v.openThreshold(), 999);
    EXPECT_EQ(v.cellText(20, 4), rowsBefore);
}

TEST(PinViewerViews, ShortShowsTheTableOpenTheGrid) {
    PinBench b;
    PinViewer v = b.open();
    EXPECT_TRUE(v.tableVisible());
    EXPECT_TRUE(v.legendPicturesVisible());
    EXPECT_FALSE(v.gridVisible());
    EXPECT_FALSE(v.legendSquaresVisible());
    v.showOpenView(true);
    EXPECT_FALSE(v.tableVisible());
    EXPECT_FALSE(v.legendPicturesVisible());
    EXPECT_TRUE(v.gridVisible());
    EXPECT_TRUE(v.legendSquaresVisible());
}

TEST(PinViewerViews, OpenGridRulesEveryFifthAndTenthLine) {
    // (80 + 70) wide for 4 lines: cells of 16; (60 + 70) high for 2 lines: cells of 20.
    const station::viewers::PinGrid g({10, 5, 150, 130}, 4, 2);
    EXPECT_DOUBLE_EQ(g.cellWidth, 16);
    EXPECT_DOUBLE_EQ(g.cellHeight, 20);
    struct Case {
        int i;
        double x;
        std::uint32_t colour;
        int start;
        bool numbered;
    };
    const Case cases[] = {{1, 66, 0xFF999999, 30, true},
                          {2, 82, 0xFFCCCCCC, 40, false},
                          {6, 146, 0xFFBBBBBB, 35, true},
                          {11, 226, 0xFF999999, 30, true}};
    for (const Case& c : cases) {
        const auto line = g.vertical(c.i);
        EXPECT_DOUBLE_EQ(line.position, c.x) << c.i;
        EXPECT_EQ(line.style.colour, c.colour) << c.i;
        EXPECT_EQ(line.style.startOffset, c.start) << c.i;
        EXPECT_EQ(line.numbered, c.numbered) << c.i;
    }
    EXPECT_DOUBLE_EQ(g.horizontal(2).position, 5 + 40 + 40);
}

}  // namespace
