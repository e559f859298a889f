// The raw data judgement on hand-built grids: a flat panel exactly at its reference, with the
// fault of each case painted in.
#include "station/sequence/raw_judgement.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "station/sequence/tests/judgement_fixture.h"

namespace {

using controllerlink::Grid;
using station::RawJudgement;
using station::RecipeSettings;

void fill(Grid& g, double v) {
    for (auto& row : g) row.fill(v);
}

// A 46 x 72 panel at 2000 everywhere, tables +-300 and gaps 60, every option on; the actual
// data flat at 300 and the standard deviation 2.
struct Panel {
    Panel() {
        s->RAW_CHECK = 1;
        s->CAL_THRESHOLD = 100;
        s->DB_THRESHOLD = 20;
        s->GAP_CHECK = 1;
        s->GAP_VERTICAL = 1;
        s->GAP_COUNT = 3;
        fill(s->ReferenceTable, 2000);
        fill(s->UpperTable, 300);
        fill(s->LowerTable, -300);
        fill(s->GapHorizontalTable, 60);
        fill(s->GapVerticalTable, 60);
        fill(raw, 2000);
        fill(cal, 500);
        fill(actual, 300);
        fill(sd, 2);
    }
    station::RawInputs inputs() const { return {raw, cal, actual, sd, readFlags, txCount, rxCount}; }
    RawJudgement& judge() {
        station::judgeRawData(*s, inputs(), *j);
        return *j;
    }

    std::unique_ptr<RecipeSettings> s = std::make_unique<RecipeSettings>();
    Grid raw{}, cal{}, actual{}, sd{};
    std::uint32_t readFlags = 0;
    std::uint32_t txCount = 46, rxCount = 72;
    std::unique_ptr<RawJudgement> j = std::make_unique<RawJudgement>();
};

TEST(RawJudgement, EachFaultClassGivesItsCodeInPrecedence) {
    struct Case {
        const char* what;
        std::function<void(Panel&)> fault;
        int code;
        int gapCode;
    };
    const Case cases[] = {
        {"healthy", [](Panel&) {}, 0, 0},
        {"a read ran out of retries, beside an open line",
         [](Panel& p) {
             p.readFlags = station::SdOutOfRetries;
             for (auto& v : p.raw[5]) v = 200;
         },
         644, 646},
        {"an upper fault above 30000 is a Tx-Rx short, ahead of an open line",
         [](Panel& p) {
             p.raw[10][10] = 30001;
             for (auto& v : p.raw[5]) v = 200;
         },
         622, 646},
        {"an upper fault at exactly 30000 is only an upper fault", [](Panel& p) { p.raw[10][10] = 30000; }, 640, 0},
        {"a Tx line low from end to end is open (its rows jump vertically)",
         [](Panel& p) {
             for (auto& v : p.raw[5]) v = 200;
         },
         630, 646},
        {"low at (0, 5) and (1, 5) is an open Rx line",
         [](Panel& p) {
             p.raw[0][5] = 200;
             p.raw[1][5] = 200;
         },
         631, 0},
        {"low at the last two rows of a column is an open Rx line",
         [](Panel& p) {
             p.raw[44][9] = 200;
             p.raw[45][9] = 200;
         },
         631, 0},
        {"one low cell", [](Panel& p) { p.raw[20][40] = 1600; }, 641, 0},
        {"a calibration spread of 200 in one column", [](Panel& p) { p.actual[20][7] = 500; }, 642, 0},
        {"an inner noisy cell", [](Panel& p) { p.sd[10][10] = 25; }, 643, 0},
        // Each limit is allowed: only a value beyond it is a fault.
        {"a deviation exactly at the upper limit", [](Panel& p) { p.raw[20][40] = 2300; }, 0, 0},
        {"a deviation exactly at the lower limit", [](Panel& p) { p.raw[20][40] = 1700; }, 0, 0},
        {"a calibration spread exactly at the threshold", [](Panel& p) { p.actual[20][7] = 400; }, 0, 0},
        {"a standard deviation exactly at the dead-band threshold", [](Panel& p) { p.sd[10][10] = 20; }, 0, 0},
        {"a step between two columns exactly at the gap limit",
         [](Panel& p) {
             for (auto& row : p.raw) row[10] += 60;
         },
         0, 0},
        {"a step between two rows exactly at the gap limit",
         [](Panel& p) {
             for (auto& v : p.raw[30]) v += 60;
         },
         0, 0},
        {"a noisy cell on the border row is not judged", [](Panel& p) { p.sd[0][10] = 25; }, 0, 0},
        {"a step between two columns",
         [](Panel& p) {
             for (auto& row : p.raw) row[10] += 100;
         },
         0, 645},
        {"a step between two rows",
         [](Panel& p) {
             for (auto& v : p.raw[10]) v += 100;
         },
         0, 646},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Panel p;
        c.fault(p);
        const RawJudgement& j = p.judge();
        EXPECT_EQ(station::rawFaultCode(j), c.code);
        EXPECT_EQ(station::gapFaultCode(j), c.gapCode);
        EXPECT_EQ(j.counters.rawTotal == 0, c.code == 0 && c.gapCode == 0);
    }
}

TEST(RawJudgement, CountersMapsAndOpenLines) {
    Panel p;
    p.raw[20][40] = 2400;  // upper
    p.raw[0][5] = 200;     // open Rx 5 at its first two rows
    p.raw[1][5] = 200;
    for (int t = 30; t < 46; ++t) p.raw[t][0] = p.raw[t][1] = 200;  // open Tx rows at their first two cells
    const RawJudgement& j = p.judge();
    EXPECT_EQ(j.counters.upperCount, 1);
    EXPECT_EQ(j.counters.lowerCount, 2 + 32);
    EXPECT_EQ(j.rxOpen, 1 + 2);  // column 5, and columns 0 and 1 whose last two rows are low too
    EXPECT_EQ(j.txOpen, 16);
    EXPECT_EQ(j.shortCandidates, 0);
    EXPECT_EQ(j.maps.upperMap[20][40], 1);
    EXPECT_EQ(j.maps.lowerMap[1][5], 1);
    EXPECT_DOUBLE_EQ(j.maps.rawDiff[20][40], 400);
    EXPECT_DOUBLE_EQ(j.maps.gapHorizontal[20][39], 400);
    EXPECT_DOUBLE_EQ(j.maps.gapVertical[19][40], 400);
    // The last column and row keep no gap.
    EXPECT_DOUBLE_EQ(j.maps.gapHorizontal[20][71], 0);
    EXPECT_DOUBLE_EQ(j.maps.gapVertical[45][40], 0);
    EXPECT_EQ(j.counters.rawTotal, j.counters.upperCount + j.counters.lowerCount + j.counters.calCount +
                                       j.counters.dbCount + j.counters.gapHorizontalCount +
                                       j.counters.gapVerticalCount + j.counters.rawRetryCount);
}

TEST(RawJudgement, RawLogOnlyJudgesNeitherLimitsNorOpensButStillTheRest) {
    Panel p;
    p.s->RAW_LOG_ONLY = 1;
    p.raw[10][10] = 30001;
    for (auto& v : p.raw[5]) v = 200;
    p.sd[20][20] = 25;
    const RawJudgement& j = p.judge();
    EXPECT_EQ(j.counters.upperCount, 0);
    EXPECT_EQ(j.counters.lowerCount, 0);
    EXPECT_EQ(j.shortCandidates + j.txOpen + j.rxOpen, 0);
    EXPECT_EQ(j.counters.dbCount, 1);
    EXPECT_GT(j.counters.gapVerticalCount, 0);
    EXPECT_EQ(station::rawFaultCode(j), 643);

    // A clean panel in log-only mode writes no raw OK line, but the gap line.
    Panel clean;
    clean.s->RAW_LOG_ONLY = 1;
    judgementfx::FakeUi ui;
    EXPECT_TRUE(station::runRawJudgement(*clean.s, clean.inputs(), ui, *clean.j).passed());
    EXPECT_EQ(ui.lines, std::vector<std::string>{"Gap Data Check ... OK"});
}

TEST(RawJudgement, MessagesAndCodesOfTheStep) {
    struct Case {
        const char* what;
        std::function<void(Panel&)> fault;
        std::vector<std::string> lines;
        station::StepOutcome::Kind kind;
        int code;
        int laterCode;
    };
    using K = station::StepOutcome::Kind;
    const Case cases[] = {
        {"healthy", [](Panel&) {}, {"Raw Data Check ... OK", "Gap Data Check ... OK"}, K::Pass, 0, 0},
        {"raw fault, then the gap fault",
         [](Panel& p) {
             for (auto& v : p.raw[5]) v = 200;
         },
         {"Raw Data Check ... NG (Tx Open)", "Raw Data Check ... NG (GAP Vertical (Tx Open))"},
         K::Ng,
         630,
         646},
        {"gap fault alone: no raw line",
         [](Panel& p) {
             for (auto& row : p.raw) row[10] += 100;
         },
         {"Raw Data Check ... NG (GAP Horizontal (Rx Open))"},
         K::Ng,
         645,
         0},
        {"gaps logged only",
         [](Panel& p) {
             p.s->GAP_LOG_ONLY = 1;
             for (auto& row : p.raw) row[10] += 100;
         },
         {"Raw Data Check ... OK"},
         K::Pass,
         0,
         0},
        {"Tx-Rx short",
         [](Panel& p) { p.raw[3][3] = 32000; },
         {"Raw Data Check ... NG (Tx-Rx Short)", "Gap Data Check ... OK"},
         K::Ng,
         622,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Panel p;
        c.fault(p);
        judgementfx::FakeUi ui;
        const station::StepOutcome o = station::runRawJudgement(*p.s, p.inputs(), ui, *p.j);
        EXPECT_EQ(ui.lines, c.lines);
        EXPECT_EQ(o.kind, c.kind);
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(o.laterCode, c.laterCode);
    }
}

TEST(RawJudgement, RawCodesTakeColCodeOnlyWhileBlankExceptTheTxRxShort) {
    EXPECT_TRUE(station::rawCodeTakesColCode(640, "    "));
    EXPECT_FALSE(station::rawCodeTakesColCode(640, "E620"));  // Upper after a Tx-Tx short keeps E620
    EXPECT_FALSE(station::rawCodeTakesColCode(645, "E640"));  // the gap after a raw fault keeps the raw code
    EXPECT_TRUE(station::rawCodeTakesColCode(622, "E620"));   // "(Tx-Rx Short)" always writes E622
}

TEST(RawJudgement, CalibrationSpreadPerColumnInsideTheIgnoreLines) {
    Panel p;
    // Outside rows 2..43 and columns 2..69 nothing counts, however far off.
    for (int r = 0; r < 72; ++r) p.actual[1][r] = p.actual[44][r] = 5000;
    for (int t = 0; t < 46; ++t) p.actual[t][1] = p.actual[t][70] = 5000;
    const RawJudgement& clean = p.judge();
    EXPECT_EQ(clean.counters.calCount, 0);
    EXPECT_EQ(clean.maps.calColumns[2].minRow, 2);
    EXPECT_DOUBLE_EQ(clean.maps.calColumns[1].maxValue, 0);  // column 1 never judged

    // Column 2 starts at 200 on its first judged row and reaches 310 on its last: only row 43
    // takes the range past 100; column 69 exceeds it from row 10 on, and every row counts.
    p.actual[2][2] = 200;
    p.actual[43][2] = 310;
    p.actual[10][69] = 401;
    const RawJudgement& j = p.judge();
    EXPECT_EQ(j.maps.calColumns[2].minRow, 2);
    EXPECT_DOUBLE_EQ(j.maps.calColumns[2].minValue, 200);
    EXPECT_EQ(j.maps.calColumns[2].maxRow, 43);
    EXPECT_DOUBLE_EQ(j.maps.calColumns[2].range, 110);
    EXPECT_EQ(j.maps.calColumns[2].flag, 1);
    EXPECT_EQ(j.maps.calColumns[69].maxRow, 10);
    EXPECT_EQ(j.counters.calCount, 1 + (43 - 10 + 1));
    EXPECT_EQ(j.maps.calColumns[3].flag, 0);
}

TEST(RawJudgement, CalibrationSourceFollowsTheRecipe) {
    struct Case {
        int oldData, noFilter;
        const char* source;
    };
    for (const Case& c : {Case{0, 0, "actual"}, Case{1, 0, "cal"}, Case{1, 1, "raw"}}) {
        SCOPED_TRACE(c.source);
        for (const char* spread : {"actual", "cal", "raw"}) {
            Panel p;
            p.s->CAL_OLD_DATA = c.oldData;
            p.s->CALTH_NOFILTER = c.noFilter;
            p.s->RAW_LOG_ONLY = 1;  // the raw spread must not count as an upper fault
            Grid& g = std::string(spread) == "actual" ? p.actual : std::string(spread) == "cal" ? p.cal : p.raw;
            g[20][20] += 150;
            g[20][21] += 150;  // no three gap faults in a row
            EXPECT_EQ(p.judge().counters.calCount > 0, std::string(spread) == c.source) << spread;
        }
    }
}

TEST(RawJudgement, CalibrationDifferenceBetweenRows) {
    Panel p;
    p.s->CAL_DIFF = 1;
    p.s->CALTH_IGNORELINE = {0, 0, 0, 0};
    for (int t = 0; t < 46; ++t) p.actual[t].fill(300 + t);
    for (int t = 21; t < 46; ++t) p.actual[t][30] += 150;  // one step between rows 20 and 21
    for (int t = 21; t < 46; ++t) p.actual[t][40] += 99;   // a step of exactly the threshold is allowed
    const RawJudgement& j = p.judge();
    EXPECT_EQ(j.counters.calCount, 1);
    EXPECT_DOUBLE_EQ(j.maps.calDiff[20][30], 151);
    EXPECT_DOUBLE_EQ(j.maps.calDiff[20][40], 100);
    EXPECT_DOUBLE_EQ(j.maps.calDiff[19][30], 1);
    EXPECT_DOUBLE_EQ(j.maps.calDiff[45][30], 0);  // the last row has no row below
    EXPECT_EQ(j.maps.calColumns[30].flag, 0);     // min/max mode is off
}

TEST(RawJudgement, GapRunCounters) {
    // A table of -1 marks a fault where the measured gap is 0, so each case paints its cells.
    struct Case {
        const char* what;
        bool gapCheck;
        std::vector<std::pair<int, int>> horizontal, vertical;
        int horizontalCount, verticalCount;
    };
    const Case cases[] = {
        {"rows 4..7 of one column: the run reaches 3 at rows 6 and 7",
         true,
         {{4, 9}, {5, 9}, {6, 9}, {7, 9}},
         {},
         2,
         0},
        {"the run carries from the end of column 4 into column 5", true, {{44, 4}, {45, 4}, {0, 5}}, {}, 1, 0},
        {"two in a row are not enough", true, {{10, 4}, {11, 4}, {13, 4}}, {}, 0, 0},
        {"without GAP_CHECK the zero gaps are still compared", false, {{1, 1}, {2, 1}, {3, 1}}, {}, 1, 0},
        {"vertical runs go along a row", true, {}, {{10, 3}, {10, 4}, {10, 5}, {10, 6}}, 0, 2},
        {"the vertical run restarts at every row", true, {}, {{10, 70}, {10, 71}, {11, 0}}, 0, 0},
        {"the bottom-right cell is not judged vertically", true, {}, {{45, 69}, {45, 70}, {45, 71}}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Panel p;
        p.s->GAP_CHECK = c.gapCheck ? 1 : 0;
        for (auto [t, r] : c.horizontal) p.s->GapHorizontalTable[t][r] = -1;
        for (auto [t, r] : c.vertical) p.s->GapVerticalTable[t][r] = -1;
        const RawJudgement& j = p.judge();
        EXPECT_EQ(j.counters.gapHorizontalCount, c.horizontalCount);
        EXPECT_EQ(j.counters.gapVerticalCount, c.verticalCount);
    }
}

TEST(RawJudgement, SmallAndOversizedLineCountsStayInsideTheGrid) {
    for (std::uint32_t tx : {1u, 2u, 46u, 300u}) {
        SCOPED_TRACE(tx);
        Panel p;
        p.txCount = tx;
        p.rxCount = tx == 300 ? 1000 : 1;
        fill(p.raw, 200);  // every cell low: the open tests look at neighbours that must exist
        const RawJudgement& j = p.judge();
        const int rows = tx > 46 ? 46 : static_cast<int>(tx);
        const int cols = p.rxCount > 72 ? 72 : 1;
        EXPECT_EQ(j.counters.lowerCount, rows * cols);
    }
}

}  // namespace
