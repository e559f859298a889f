#include "station/logs/detail_csv_operator.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "sim/virtual_bus.h"
#include "station/sequence/tests/fake_ui_port.h"

namespace station {
namespace {

// A station with no controller attached: the sections read only the recipe, the run detail's
// flags and the check results the test fills in by hand.
class OperatorSections : public testing::Test {
protected:
    void SetUp() override {
        RecipeSettings& r = s.recipe;
        r.TKP_CHECK = 1;
        r.TKP_LOG_ONLY = 0;

        // 3 X lines and 2 Y lines, one noise measurement.
        CheckResults& res = s.results;
        res.tkpLineCountX = 3;
        res.tkpLineCountY = 2;
        res.tkpNoiseCheckNo = 1;
        res.tkpAverageHistory = {{1.5, 2.0, 0.5, 9.0, 1.25}};
        res.tkpSigmaHistory = {{0.5, 0.25, 1.0, 0.0, 0.5}};
        res.tkpMaxHistory = {{7, 8, 9, 30, 6}};
        res.tkpFinalMax[0] = 100;
        res.tkpFinalMax[1] = 200;
        res.tkpFinalMax[2] = 300;
        res.tkpFinalMax[3] = 999;  // an X slot past the X lines: never shown
        res.tkpFinalMax[72] = 400;
        res.tkpFinalMax[73] = 500;
        res.TkpGainBlock = {5, 12, 6, 13, 2, 0};
    }

    std::string tkp(bool failedSoFar = false) {
        std::string out = "before\n";
        appendTkpSection(out, s, failedSoFar);
        return out;
    }

    platform::VirtualClock clock;
    sim::VirtualBus bus{clock};
    sim::InProcessBackend backend{bus};
    hidlink::DeviceTable table{backend};
    FakeUiPort ui;
    Station s{table, clock, ui};
};

constexpr const char* kTitle = "before\n>>>>> TKP Pen Check <<<<<\n";

constexpr const char* kMaxima3Sigma =
    "No.1\n"
    "Average + 3 * sigma MAX\n"
    "X,02,value,3.500000\n"
    "Y,01,value,2.750000\n"
    "\n";

constexpr const char* kXNoise =
    "X - Lines,0,1,2\n"
    "Gain(Noise-level),5,5,5\n"
    "Noise Average,1.500000,2.000000,0.500000\n"
    "Standard Deviation,0.500000,0.250000,1.000000\n"
    "Noise Peak Level,7,8,9\n"
    "Average + 3 * sigma,3.000000,2.750000,3.500000\n";
constexpr const char* kXSignal =
    "Gain(Pen-signal),12,12,12\n"
    "Signal Peak Level,100,200,300\n";
constexpr const char* kYNoise =
    "Y - Lines,0,1\n"
    "Gain(Noise-level),6,6\n"
    "Noise Average,9.000000,1.250000\n"
    "Standard Deviation,0.000000,0.500000\n"
    "Noise Peak Level,30,6\n"
    "Average + 3 * sigma,9.000000,2.750000\n";
constexpr const char* kYSignal =
    "Gain(Pen-signal),13,13\n"
    "Signal Peak Level,400,500\n";

std::string tables(bool withSignal) {
    return std::string(kXNoise) + (withSignal ? kXSignal : "") + "\n" + kYNoise + (withSignal ? kYSignal : "") + "\n\n";
}

TEST_F(OperatorSections, TkpNotApplicable) {
    EXPECT_EQ(tkp(true), std::string(kTitle) + "NA\n\n");
    s.recipe.TKP_CHECK = 0;
    EXPECT_EQ(tkp(), std::string(kTitle) + "NA\n\n");
}

TEST_F(OperatorSections, TkpVerdictAndFlagLines) {
    const std::string measured = std::string(kMaxima3Sigma) + tables(true);
    struct Case {
        const char* name;
        std::int32_t logOnly;
        std::int32_t flags;
        std::string expected;
    } cases[] = {
        {"pass", 0, 0, "PASS\n\nnoise check count,1\n\n" + measured},
        // Saturation alone passes a judged check but is still listed.
        {"saturation", 0, 0x22,
         "PASS\n\nnoise check count,1\n\n"
         "Saturation occurred (Signal check).\nSaturation occurred (Noise check).\n\n" +
             measured},
        {"noise and signal NG", 0, 0xC0,
         "NG\n\nnoise check count,1\n\n"
         "NG : Noise level check.\nNG : Signal level check.\n\n" +
             measured},
        // Without a finished noise measurement nothing is tabled; the pen line has no break.
        {"pen exist", 0, 0x18,
         "NG\n\nnoise check count,1\n\n"
         "Noise check incomplete.\nInitialize Timeout error (Pen Exist).\n"},
        {"no packet", 0, 0x04, "NG\n\nnoise check count,1\n\nNoise check Timeout error.\n\n"},
        {"device", 0, 0x01, "NG\n\nnoise check count,1\n\nDevice connection error.\n\n"},
        {"log only", 1, 0, "No judge (logging only)\n\n" + measured},
        {"log only NG bits", 1, 0x80, "No judge (logging only)\n\nNG : Signal level check.\n\n" + measured},
    };
    for (const Case& c : cases) {
        s.recipe.TKP_LOG_ONLY = c.logOnly;
        s.detail.tkpFlags = c.flags;
        EXPECT_EQ(tkp(), kTitle + c.expected) << c.name;
    }
}

TEST_F(OperatorSections, TkpMeasurementOptions) {
    const std::string head = std::string(kTitle) + "PASS\n\nnoise check count,1\n\n";
    {
        SCOPED_TRACE("average only: the maxima use the average, the table still shows 3 sigma");
        s.recipe.TKP_CHECK_ONLY_AVE = 1;
        EXPECT_EQ(tkp(), head +
                             "Check without 3 * sigma (only average value)\n"
                             "No.1\nAverage MAX\nX,01,value,2.000000\nY,01,value,1.250000\n\n" +
                             tables(true));
        s.recipe.TKP_CHECK_ONLY_AVE = 0;
    }
    {
        SCOPED_TRACE("first Y line judged");
        s.recipe.TKP_TMP_LMT_OFF = 1;
        EXPECT_EQ(tkp(),
                  head + "No.1\nAverage + 3 * sigma MAX\nX,02,value,3.500000\nY,00,value,9.000000\n\n" + tables(true));
        s.recipe.TKP_TMP_LMT_OFF = 0;
    }
    {
        SCOPED_TRACE("noise phase only");
        s.recipe.SKIP_TKP_SIGNAL = 1;
        EXPECT_EQ(tkp(), head + kMaxima3Sigma + tables(false));
        s.recipe.SKIP_TKP_SIGNAL = 0;
    }
    {
        SCOPED_TRACE("debug mode adds enable and blank");
        s.recipe.TKP_DBG = 1;
        s.results.TkpGainBlock[4] = 3;
        s.results.TkpGainBlock[5] = 1;
        EXPECT_EQ(tkp(), head + kMaxima3Sigma + tables(true) + "Enable,3,,Blank,1\n\n");
        s.detail.tkpFlags = 0x01;
        EXPECT_EQ(tkp(), std::string(kTitle) +
                             "NG\n\nnoise check count,1\n\nDevice connection error.\n\nEnable,3,,Blank,1\n\n");
        s.detail.tkpFlags = 0;
        s.recipe.TKP_DBG = 0;
    }
    {
        SCOPED_TRACE("a zero noise gain drops its row");
        s.results.TkpGainBlock[0] = 0;
        s.results.TkpGainBlock[1] = 0;  // the signal gain row stays, zero or not
        s.results.TkpGainBlock[2] = 0;
        EXPECT_EQ(tkp(), head + kMaxima3Sigma +
                             "X - Lines,0,1,2\n"
                             "Noise Average,1.500000,2.000000,0.500000\n"
                             "Standard Deviation,0.500000,0.250000,1.000000\n"
                             "Noise Peak Level,7,8,9\n"
                             "Average + 3 * sigma,3.000000,2.750000,3.500000\n"
                             "Gain(Pen-signal),0,0,0\n"
                             "Signal Peak Level,100,200,300\n"
                             "\n"
                             "Y - Lines,0,1\n"
                             "Noise Average,9.000000,1.250000\n"
                             "Standard Deviation,0.000000,0.500000\n"
                             "Noise Peak Level,30,6\n"
                             "Average + 3 * sigma,9.000000,2.750000\n"
                             "Gain(Pen-signal),13,13\n"
                             "Signal Peak Level,400,500\n"
                             "\n\n");
    }
}

TEST_F(OperatorSections, TkpRepeatedMeasurementsShowTheSignalOnlyAfterTheLast) {
    CheckResults& res = s.results;
    res.tkpNoiseCheckNo = 2;
    res.tkpLineCountX = 2;
    res.tkpLineCountY = 2;
    res.TkpGainBlock = {1, 2, 3, 4, 2, 0};
    res.tkpAverageHistory = {{1.0, 4.0, 0.0, 2.0}, {0.125, 0.0, 7.0, 0.5}};
    res.tkpSigmaHistory = {{0.0, 0.5, 0.0, 1.0}, {1.0, 0.0, 0.0, 0.0}};
    res.tkpMaxHistory = {{2, 6, 1, 9}, {4, 0, 8, 1}};
    EXPECT_EQ(tkp(), std::string(kTitle) +
                         "PASS\n\nnoise check count,2\n\n"
                         "No.1\nAverage + 3 * sigma MAX\nX,01,value,5.500000\nY,01,value,5.000000\n\n"
                         "X - Lines,0,1\n"
                         "Gain(Noise-level),1,1\n"
                         "Noise Average,1.000000,4.000000\n"
                         "Standard Deviation,0.000000,0.500000\n"
                         "Noise Peak Level,2,6\n"
                         "Average + 3 * sigma,1.000000,5.500000\n"
                         "\n"
                         "Y - Lines,0,1\n"
                         "Gain(Noise-level),3,3\n"
                         "Noise Average,0.000000,2.000000\n"
                         "Standard Deviation,0.000000,1.000000\n"
                         "Noise Peak Level,1,9\n"
                         "Average + 3 * sigma,0.000000,5.000000\n"
                         "\n\n"
                         "No.2\nAverage + 3 * sigma MAX\nX,00,value,3.125000\nY,01,value,0.500000\n\n"
                         "X - Lines,0,1\n"
                         "Gain(Noise-level),1,1\n"
                         "Noise Average,0.125000,0.000000\n"
                         "Standard Deviation,1.000000,0.000000\n"
                         "Noise Peak Level,4,0\n"
                         "Average + 3 * sigma,3.125000,0.000000\n"
                         "Gain(Pen-signal),2,2\n"
                         "Signal Peak Level,100,200\n"
                         "\n"
                         "Y - Lines,0,1\n"
                         "Gain(Noise-level),3,3\n"
                         "Noise Average,7.000000,0.500000\n"
                         "Standard Deviation,0.000000,0.000000\n"
                         "Noise Peak Level,8,1\n"
                         "Average + 3 * sigma,7.000000,0.500000\n"
                         "Gain(Pen-signal),4,4\n"
                         "Signal Peak Level,400,500\n"
                         "\n\n");
}

// Lists shorter than the line counts, and counts beyond the sensor: nothing is read past the
// data; a missing value is an empty cell under its line number.
TEST_F(OperatorSections, TkpShortListsLeaveEmptyCells) {
    CheckResults& res = s.results;
    res.TkpGainBlock = {0, 0, 0, 0, 2, 0};
    res.tkpAverageHistory = {{1.0, 2.0, 3.0, 4.0}};  // Y line 1 missing
    res.tkpSigmaHistory = {{0.0, 1.0}};              // only X lines 0 and 1
    res.tkpMaxHistory = {};                          // no peaks at all
    s.recipe.SKIP_TKP_SIGNAL = 1;
    EXPECT_EQ(tkp(), std::string(kTitle) +
                         "PASS\n\nnoise check count,1\n\n"
                         "No.1\nAverage + 3 * sigma MAX\nX,01,value,5.000000\nY,,value,\n\n"
                         "X - Lines,0,1,2\n"
                         "Noise Average,1.000000,2.000000,3.000000\n"
                         "Standard Deviation,0.000000,1.000000,\n"
                         "Noise Peak Level,,,\n"
                         "Average + 3 * sigma,1.000000,5.000000,\n"
                         "\n"
                         "Y - Lines,0,1\n"
                         "Noise Average,4.000000,\n"
                         "Standard Deviation,,\n"
                         "Noise Peak Level,,\n"
                         "Average + 3 * sigma,,\n"
                         "\n\n");

    // Counts past the sensor's 72 X and 46 Y lines are cut to them.
    res.tkpLineCountX = 500;
    res.tkpLineCountY = 500;
    res.tkpAverageHistory = {std::vector<double>(1000, 1.0)};
    res.tkpSigmaHistory = {std::vector<double>(1000, 0.0)};
    res.tkpMaxHistory = {std::vector<std::uint16_t>(1000, 3)};
    s.recipe.SKIP_TKP_SIGNAL = 0;
    const std::string out = tkp();
    EXPECT_NE(out.find("X - Lines,0,1,2,"), std::string::npos);
    EXPECT_NE(out.find(",70,71\nNoise Average"), std::string::npos);
    EXPECT_NE(out.find(",44,45\nNoise Average"), std::string::npos);
    EXPECT_EQ(out.find(",72"), std::string::npos);
}

// --- Home key ---

class HomeKeySection : public OperatorSections {
protected:
    void SetUp() override {
        RecipeSettings& r = s.recipe;
        r.HOMEKEY_CHECK = 1;
        r.HK_NUM_PIN = 3;
        r.HK_REMOVE = list({500, 510, 520});
        r.HK_REMOVE_LOW = list({100, 110, 120});
        r.HK_TOUCH = list({50, 60, 70});
        r.HK_AVE_WINDOW = 8;
        r.HK_REMOVE_TIME = 1200;
        r.HK_OK_COUNT_THRESHOLD = 12;
        enable(true, true, true);

        CheckResults& res = s.results;
        pins(res.hkUntouchedMax, {310, 320, 330});
        pins(res.hkUntouchedMin, {290, -5, 270});
        pins(res.hkUntouchedAverage, {300, 305, 299});
        pins(res.hkBaseMax, {210, 220, 230});
        pins(res.hkBaseMin, {190, 180, 170});
        pins(res.hkTouchedMax, {900, 910, -268435455});
        pins(res.hkTouchedMin, {800, 810, 268435455});
        pins(res.hkTouchedLevel, {850, 860, 0});
        pins(res.hkTouchedBaseMax, {211, 221, 231});
        pins(res.hkTouchedBaseMin, {189, 179, 169});
        pins(res.hkGoodCount, {12, 12, 3});
    }

    static HomeKeyList list(std::initializer_list<std::int32_t> v) {
        HomeKeyList l;
        l.count = static_cast<std::int32_t>(v.size());
        std::copy(v.begin(), v.end(), l.values.begin());
        return l;
    }
    static void pins(HomeKeyPinValues& a, std::initializer_list<std::int32_t> v) {
        std::copy(v.begin(), v.end(), a.begin());
        a[3] = 77777;  // past the recipe's pins: never shown
    }
    void enable(bool remove, bool removeLow, bool touch) {
        s.recipe.hkRemoveEnabled = remove;
        s.recipe.hkRemoveLowEnabled = removeLow;
        s.recipe.hkTouchEnabled = touch;
    }
    std::string homeKey(bool failedSoFar = false) {
        std::string out;
        appendHomeKeySection(out, s, failedSoFar);
        return out;
    }
};

constexpr const char* kHkTitle =
    ">>>>> Home Key Check <<<<<\n"
    "Thresholds\n"
    "Pin No.,0,1,2\n";
constexpr const char* kHkRemoved =
    "Removed Max,310,320,330\n"
    "Removed Min,290,-5,270\n"
    "Removed Ave,300,305,299\n"
    "Calib Removed Max,210,220,230\n"
    "Calib Removed Min,190,180,170\n";
constexpr const char* kHkTouched =
    "Touched Max,900,910,-268435455\n"
    "Touched Min,800,810,268435455\n"
    "Touched Ave,850,860,0\n"
    "Calib Touched Max,211,221,231\n"
    "Calib Touched Min,189,179,169\n"
    "Touched OK count,12,12,3\n";
constexpr const char* kHkTableHead = "#Min/Max move average\nPin No.,0,1,2\n";

TEST_F(HomeKeySection, EnabledListsChooseTheRows) {
    EXPECT_EQ(homeKey(), std::string(kHkTitle) +
                             "untouched upper threshold,500,510,520\n"
                             "untouched lower threshold,100,110,120\n"
                             "touched lower threshold,50,60,70\n"
                             "average window size,8\n"
                             "removed check time [ms],1200\n"
                             "ok count required, 12\n"
                             "PASS\n\n" +
                             kHkTableHead + kHkRemoved + kHkTouched);

    enable(false, false, true);
    EXPECT_EQ(homeKey(), std::string(kHkTitle) +
                             "touched lower threshold,50,60,70\n"
                             "average window size,8\n"
                             "ok count required, 12\n"
                             "PASS\n\n" +
                             kHkTableHead + kHkTouched);

    enable(false, true, false);
    EXPECT_EQ(homeKey(), std::string(kHkTitle) +
                             "untouched lower threshold,100,110,120\n"
                             "average window size,8\n"
                             "removed check time [ms],1200\n"
                             "PASS\n\n" +
                             kHkTableHead + kHkRemoved);

    enable(true, false, false);
    EXPECT_EQ(homeKey(), std::string(kHkTitle) +
                             "untouched upper threshold,500,510,520\n"
                             "average window size,8\n"
                             "removed check time [ms],1200\n"
                             "PASS\n\n" +
                             kHkTableHead + kHkRemoved);
}

TEST_F(HomeKeySection, VerdictForms) {
    enable(false, false, true);
    const std::string thresholds = std::string(kHkTitle) +
                                   "touched lower threshold,50,60,70\n"
                                   "average window size,8\n"
                                   "ok count required, 12\n";
    struct Case {
        std::int32_t flags;
        const char* verdict;
    } cases[] = {
        {0x01, "Device connection error.\n\n"},
        {0x01 | 0x08, "Device connection error.\n\n"},
        {0x02 | 0x04 | 0x08, "NG : removed touch level error.\n\n"},
        {0x04 | 0x08, "NG : touched level error.\n\n"},
        {0x01 | 0x04, "Device connection error.\nNG : touched level error.\n\n"},
        {0x08, "\n"},
    };
    for (const Case& c : cases) {
        s.detail.homeKeyFlags = c.flags;
        EXPECT_EQ(homeKey(), thresholds + c.verdict + kHkTableHead + kHkTouched) << c.flags;
    }
    EXPECT_EQ(homeKey(true), thresholds + "NA\n\n");
}

TEST_F(HomeKeySection, AbsentWithoutTheCheckAndBoundedByTheLists) {
    s.recipe.HOMEKEY_CHECK = 0;
    EXPECT_EQ(homeKey(), "");
    EXPECT_EQ(homeKey(true), "");

    // A pin count past the lists (a recipe that failed to load) is cut to what they hold.
    s.recipe.HOMEKEY_CHECK = 1;
    s.recipe.HK_NUM_PIN = 1000;
    const std::string out = homeKey();
    EXPECT_NE(out.find(",253,254\nuntouched upper threshold"), std::string::npos);
    EXPECT_EQ(out.find(",255"), std::string::npos);
}

}  // namespace
}  // namespace station
