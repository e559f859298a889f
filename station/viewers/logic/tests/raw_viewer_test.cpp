// The raw data viewer's logic: what it shows at opening, how START/STOP/CLEAR and the keys
// change it, and what each streamed frame does to its tables, statistics and texts.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "station/viewers/logic/tests/raw_bench.h"

namespace {

using station::viewers::RawKey;
using station::viewers::RawView;
using station::viewers::RawViewer;
using testfx::RawBench;

constexpr RawView kAllViews[] = {RawView::Raw,   RawView::Average, RawView::Sigma, RawView::Diff,
                                 RawView::Upper, RawView::Lower,   RawView::Error};

double cell(const RawViewer& v, RawView view, int t, int r) {
    return v.table(view)[static_cast<std::size_t>(t)][static_cast<std::size_t>(r)];
}

TEST(RawViewerOpening, ShowsTheLastRawJudgementWithinTheScannedLines) {
    RawBench b(true, 3, 2);
    auto& last = *b.last;
    auto& recipe = *b.recipe;
    last.rawAverage[0][0] = 1050;
    last.rawAverage[1][2] = 1234;
    last.rawAverage[2][0] = 999;  // past the scanned Tx lines
    last.rawAverage[0][3] = 999;  // past the scanned Rx lines
    for (int t = 0; t < 2; ++t)
        for (int r = 0; r < 3; ++r) {
            recipe.UpperTable[t][r] = 30;
            recipe.LowerTable[t][r] = -10;
        }
    last.maps.rawDiff[0][0] = 50;  // above upper: a margin of 20
    last.maps.upperMap[0][0] = 1;
    last.maps.rawDiff[0][1] = -40;  // below lower: a margin of -30
    last.maps.lowerMap[0][1] = 1;
    last.maps.rawDiff[1][0] = 5;  // within both
    last.maps.upperMap[1][1] = 1;
    last.maps.lowerMap[1][1] = 1;

    RawViewer& v = b.open();
    struct Case {
        int t, r;
        double raw, diff, upper, lower, errors;
    };
    const Case cases[] = {
        {0, 0, 1050, 50, 20, 0, 1}, {0, 1, 0, -40, 0, -30, 1}, {1, 0, 0, 5, 0, 0, 0},
        {1, 1, 0, 0, 0, 0, 2},      {1, 2, 1234, 0, 0, 0, 0},  {0, 3, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cell " << c.t << "," << c.r);
        EXPECT_EQ(cell(v, RawView::Raw, c.t, c.r), c.raw);
        EXPECT_EQ(cell(v, RawView::Diff, c.t, c.r), c.diff);
        EXPECT_EQ(cell(v, RawView::Upper, c.t, c.r), c.upper);
        EXPECT_EQ(cell(v, RawView::Lower, c.t, c.r), c.lower);
        EXPECT_EQ(cell(v, RawView::Error, c.t, c.r), c.errors);
    }
    EXPECT_EQ(cell(v, RawView::Raw, 2, 0), 0) << "rows past txCount stay empty";
    const auto& diff = v.statistics(RawView::Diff);
    EXPECT_EQ(diff.totalMin, -40);
    EXPECT_EQ(diff.totalMinAt, (station::viewers::CellPosition{0, 1}));
    EXPECT_EQ(diff.totalMax, 50);
    EXPECT_EQ(v.statistics(RawView::Raw).totalMaxAt, (station::viewers::CellPosition{1, 2}));
    EXPECT_EQ(v.statistics(RawView::Average).totalMinAt.tx, -1) << "the average has no value yet";

    EXPECT_TRUE(v.hasData());
    EXPECT_TRUE(v.startEnabled());
    EXPECT_FALSE(v.stopEnabled());
    EXPECT_EQ(v.statisticsText(), "< Current >\r\nmin = 0\r\nmax = 0\r\n< Total >\r\nmin = 0\r\nmax = 0\r\n");
    EXPECT_EQ(v.labelText(), "[1.Raw]");
    EXPECT_EQ(v.frameRateText(), "0");
    EXPECT_EQ(v.statusText(), "");
    EXPECT_TRUE(v.autoRange());
    EXPECT_EQ(v.manualMin(), -1000);
    EXPECT_EQ(v.manualMax(), 1000);
    EXPECT_TRUE(v.tooltipRelay());
    EXPECT_FALSE(v.errorCross());
}

// Which view buttons work: the judgement's views only with a recipe that judges raw data, the
// average and sigma only once frames stream; nothing a later START or STOP changes.
TEST(RawViewerOpening, ViewButtonsFollowTheRecipeAndTheStream) {
    for (const bool margins : {true, false}) {
        RawBench b(margins);
        RawViewer& v = b.open();
        const auto expect = [&](const char* phase, bool streamed) {
            for (const RawView view : kAllViews) {
                const bool judged = view != RawView::Raw && view != RawView::Average && view != RawView::Sigma;
                const bool want = view == RawView::Raw || (judged ? margins : streamed);
                EXPECT_EQ(v.viewEnabled(view), want)
                    << phase << " margins " << margins << " " << station::viewers::rawViewLabel(view);
            }
        };
        expect("opened", false);
        v.start();
        expect("streaming", true);
        v.stop();
        expect("stopped", true);
    }
}

TEST(RawViewerStart, EachRefusalIsToldAndLeavesTheLastCheckShown) {
    struct Case {
        const char* name;
        void (*script)(testfx::FakeViewerDevice&);
        const char* status;
        bool started;
    };
    const Case cases[] = {
        {"closed", [](testfx::FakeViewerDevice& d) { d.open = false; }, "Error: Device is not opened.", false},
        {"running", [](testfx::FakeViewerDevice& d) { d.running = true; }, "Error: Thread is already running.", false},
        {"scan area", [](testfx::FakeViewerDevice& d) { d.refuseScanArea = true; }, "Error: Set Pointer error.", false},
        {"format", [](testfx::FakeViewerDevice& d) { d.refuseSelect = true; }, "Error: Set Format error.", false},
        {"reader", [](testfx::FakeViewerDevice& d) { d.refuseStart = true; }, "Error: cannot start Thread.", false},
        {"started", [](testfx::FakeViewerDevice&) {}, "Success: start Thread.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawBench b;
        b.last->rawAverage[4][5] = 777;
        RawViewer& v = b.open();
        c.script(b.device);
        v.start();
        EXPECT_EQ(v.statusText(), c.status);
        EXPECT_EQ(v.startEnabled(), !c.started);
        EXPECT_EQ(v.stopEnabled(), c.started);
        EXPECT_EQ(v.hasData(), !c.started);
        EXPECT_EQ(cell(v, RawView::Raw, 4, 5), c.started ? 0 : 777) << "a started stream begins with clear tables";
    }
}

TEST(RawViewerStart, StopEndsTheReaderEvenWhilePausedAndKeepsTheTables) {
    RawBench b;
    RawViewer& v = b.streaming();
    b.fill(500);
    b.feed();
    b.device.paused = true;
    b.device.calls.clear();
    v.stop();
    EXPECT_EQ(b.device.calls, (std::vector<std::string>{"resume", "stopFrameReader"}));
    EXPECT_FALSE(b.device.running);
    EXPECT_TRUE(v.startEnabled());
    EXPECT_FALSE(v.stopEnabled());
    EXPECT_EQ(v.frameRateText(), "0");
    EXPECT_EQ(cell(v, RawView::Raw, 0, 0), 500);
    EXPECT_TRUE(v.hasData());
}

// The reader hands frames to the window's sink: closing the window must not leave it running.
TEST(RawViewerStart, ClosingWhileStreamingEndsTheReaderItStarted) {
    RawBench b;
    b.streaming();
    b.device.paused = true;
    b.viewer.reset();
    EXPECT_FALSE(b.device.running);
    EXPECT_FALSE(b.device.paused);

    RawBench other;
    other.device.running = true;  // not this viewer's reader
    other.open().start();
    other.viewer.reset();
    EXPECT_TRUE(other.device.running);
}

TEST(RawViewerFrames, AverageFollowsBySixteenthsFromTheFirstFrame) {
    RawBench b;
    RawViewer& v = b.streaming();
    struct Step {
        int value;
        double average;
        double sigma;
    };
    // 100 then 116: 100 + 16 / 16 = 101, and the new value stands 15 from it.
    const Step steps[] = {{100, 100, 0}, {116, 101, 15}, {85, 100, 15}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.value);
        b.fill(s.value);
        b.feed();
        for (const auto& [t, r] : {std::pair{0, 0}, std::pair{45, 71}}) {
            EXPECT_DOUBLE_EQ(cell(v, RawView::Average, t, r), s.average);
            EXPECT_DOUBLE_EQ(cell(v, RawView::Sigma, t, r), s.sigma);
        }
        EXPECT_FALSE(v.firstFrame());
    }
    v.clear();
    b.fill(300);
    b.feed();
    EXPECT_EQ(cell(v, RawView::Average, 10, 10), 300) << "a clear starts the average over";
}

TEST(RawViewerFrames, NonZeroStatusIsToldAndTheFrameIsNotUsed) {
    struct Case {
        std::uint32_t status;
        const char* text;
    };
    const Case cases[] = {{2, "Error: Raw data error. (CODE= 2)\n"}, {0x1F, "Error: Raw data error. (CODE=1F)\n"}};
    for (const Case& c : cases) {
        RawBench b;
        RawViewer& v = b.streaming();
        b.fill(100);
        b.feed();
        b.ticks.advance(40000);
        b.fill(9000, 400);
        b.feed(c.status);
        EXPECT_EQ(v.statusText(), c.text);
        EXPECT_EQ(cell(v, RawView::Raw, 3, 3), 100);
        EXPECT_EQ(cell(v, RawView::Average, 3, 3), 100);
        EXPECT_EQ(v.noise().current[0], 0);
        EXPECT_EQ(v.statistics(RawView::Raw).totalMax, 100);
        EXPECT_EQ(v.frameRateText(), "0") << "no rate from a frame not used";
    }
}

TEST(RawViewerFrames, DiffErrorsAndMarginsAgainstTheRecipesTables) {
    RawBench b;
    b.recipe->ReferenceTable[2][3] = 1000;
    b.recipe->UpperTable[2][3] = 50;
    b.recipe->LowerTable[2][3] = -50;
    RawViewer& v = b.streaming();
    struct Step {
        int value;
        double diff, errors, upper, lower;
    };
    const Step steps[] = {
        {1040, 40, 0, 0, 0},      // within: the cleared margins stay 0
        {1080, 80, 1, 30, 0},     // above upper
        {1050, 50, 1, 30, 0},     // on upper is within
        {900, -100, 2, 30, -50},  // below lower
        {1000, 0, 2, 30, -50},    // margins keep the worst seen
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.value);
        b.frame->cells[2][3] = s.value;
        b.feed();
        EXPECT_EQ(cell(v, RawView::Diff, 2, 3), s.diff);
        EXPECT_EQ(cell(v, RawView::Error, 2, 3), s.errors);
        EXPECT_EQ(cell(v, RawView::Upper, 2, 3), s.upper);
        EXPECT_EQ(cell(v, RawView::Lower, 2, 3), s.lower);
    }
}

TEST(RawViewerFrames, StatisticsCurrentPerFrameTotalSinceTheClear) {
    RawBench b(true, 2, 2);
    RawViewer& v = b.streaming();
    using P = station::viewers::CellPosition;
    b.frame->cells[0] = {5, 9};
    b.frame->cells[1] = {1, 9};  // a tie keeps the first position
    b.feed();
    const auto& s = v.statistics(RawView::Raw);
    EXPECT_EQ(s.currentMin, 1);
    EXPECT_EQ(s.currentMinAt, (P{1, 0}));
    EXPECT_EQ(s.currentMax, 9);
    EXPECT_EQ(s.currentMaxAt, (P{0, 1}));
    b.frame->cells[0] = {7, 7};
    b.frame->cells[1] = {7, 7};
    b.feed();
    EXPECT_EQ(s.currentMin, 7);
    EXPECT_EQ(s.currentMinAt, (P{0, 0}));
    EXPECT_EQ(s.currentMaxAt, (P{0, 0}));
    EXPECT_EQ(s.totalMin, 1);
    EXPECT_EQ(s.totalMinAt, (P{1, 0}));
    EXPECT_EQ(s.totalMax, 9);
    EXPECT_EQ(s.totalMaxAt, (P{0, 1}));
    v.clear();
    EXPECT_EQ(s.totalMaxAt, (P{-1, -1}));
    EXPECT_EQ(s.totalMax, 0);
}

TEST(RawViewerFrames, NoisePerRxLineFromTheFramesExtraRow) {
    RawBench b(true, 3, 46);
    RawViewer& v = b.streaming();
    b.frame->cells[controllerlink::kNoiseRow] = {};
    b.frame->cells[controllerlink::kNoiseRow][0] = 16;
    b.frame->cells[controllerlink::kNoiseRow][1] = 64;
    b.frame->cells[controllerlink::kNoiseRow][2] = -4;     // a broken sample counts as no noise
    b.frame->cells[controllerlink::kNoiseRow][3] = 10000;  // past rxCount
    b.feed();
    const auto& n = v.noise();
    EXPECT_EQ(n.current[0], 4);
    EXPECT_EQ(n.current[1], 8);
    EXPECT_EQ(n.current[2], 0);
    EXPECT_EQ(n.current[3], 0);
    EXPECT_EQ(n.average[1], 8);
    EXPECT_EQ(n.currentWorst.line, 1);
    b.frame->cells[controllerlink::kNoiseRow][1] = 16;
    b.frame->cells[controllerlink::kNoiseRow][2] = 81;
    b.feed();
    EXPECT_DOUBLE_EQ(n.average[1], 8 + (4 - 8) * 0.0625);
    EXPECT_EQ(n.worst[1], 8);
    EXPECT_EQ(n.currentWorst.value, 9);
    EXPECT_EQ(n.currentWorst.line, 2);
    EXPECT_EQ(n.totalWorst.value, 9);
    EXPECT_EQ(n.averageWorst.line, 1);
    station::viewers::StatisticsText text;
    v.formatStatistics(station::viewers::StatisticsSource::Noise, text);
    EXPECT_EQ(text.view(), "< Current >\r\nwst = 9(2)\r\n< Total >\r\nwst = 9(2)\r\n< Average >\r\nwst = 7.8(1)\r\n");
}

// 1000 / ms since the previous frame, timed finer than milliseconds: a steady 60 fps reads
// steadily, and a backlog taken in one go reads what its spacing gives, never a division by 0.
TEST(RawViewerFrames, RateFromTheTimeSinceTheLastFrame) {
    RawBench b;
    RawViewer& v = b.streaming();
    struct Step {
        std::uint64_t us;
        const char* rate;
    };
    const Step steps[] = {
        {0, "0"},  // at the very instant of START: no rate yet
        {16667, "60.0"},
        {16667, "60.0"},
        {16667, "60.0"},
        {16666, "60.0"},
        {33333, "30.0"},
        // a backlog: one frame after the pause, the rest in the same instant or microseconds apart
        {50000, "20.0"},
        {0, "20.0"},
        {0, "20.0"},
        {40, "25000.0"},
        {1, "1000000.0"},
        {0, "1000000.0"},
        {16667, "60.0"},
        {1000000, "1.0"},
        {1234567, "0.8"},
    };
    for (const Step& s : steps) {
        b.ticks.advance(s.us);
        b.feed();
        EXPECT_EQ(v.frameRateText(), s.rate) << "after " << s.us << " us";
    }
    v.stop();
    EXPECT_EQ(v.frameRateText(), "0");
}

TEST(RawViewerStatisticsText, LabelCyclesOverTheFirstFourViewsBothWays) {
    RawBench b;
    RawViewer& v = b.open();
    struct Step {
        int delta;
        const char* label;
    };
    const Step steps[] = {{-1, "[4.Diff]"}, {1, "[1.Raw]"}, {1, "[2.Average]"}, {1, "[3.Sigma]"},
                          {1, "[4.Diff]"},  {1, "[1.Raw]"}, {-1, "[4.Diff]"},   {-1, "[3.Sigma]"}};
    for (const Step& s : steps) {
        v.stepLabel(s.delta);
        EXPECT_EQ(v.labelText(), s.label);
    }
}

TEST(RawViewerStatisticsText, EachLabelShowsItsTableInItsFormat) {
    RawBench b;
    b.recipe->ReferenceTable[0][0] = 90.25;
    RawViewer& v = b.streaming();
    b.fill(100);
    b.feed();
    b.fill(116);
    b.frame->cells[0][0] = 100;
    b.feed();
    using station::viewers::StatisticsSource;
    struct Case {
        StatisticsSource source;
        const char* text;
    };
    const Case cases[] = {
        {StatisticsSource::Raw, "< Current >\r\nmin = 100\r\nmax = 116\r\n< Total >\r\nmin = 100\r\nmax = 116\r\n"},
        {StatisticsSource::Average,
         "< Current >\r\nmin = 100.0\r\nmax = 101.0\r\n< Total >\r\nmin = 100.0\r\nmax = 101.0\r\n"},
        {StatisticsSource::Sigma, "< Current >\r\nmin = 0.0\r\nmax = 15.0\r\n< Total >\r\nmin = 0.0\r\nmax = 15.0\r\n"},
        {StatisticsSource::Diff,
         "< Current >\r\nmin = 9.8\r\nmax = 116.0\r\n< Total >\r\nmin = 9.8\r\nmax = 116.0\r\n"},
        // Every cell is above its upper limit of 0, in both frames.
        {StatisticsSource::Error, "< Current >\r\nmin = 2\r\nmax = 2\r\n< Total >\r\nmin = 1\r\nmax = 2\r\n"},
    };
    station::viewers::StatisticsText text;
    for (const Case& c : cases) {
        v.formatStatistics(c.source, text);
        EXPECT_EQ(text.view(), c.text) << static_cast<int>(c.source);
    }
    EXPECT_EQ(v.statisticsText(), cases[0].text) << "the field shows the label's table";
    v.stepLabel(-1);
    EXPECT_EQ(v.statisticsText(), cases[0].text) << "until the next frame";
    b.feed();
    v.formatStatistics(StatisticsSource::Diff, text);
    EXPECT_EQ(v.statisticsText(), text.view());
    v.clear();
    EXPECT_EQ(v.statisticsText(), "");
}

TEST(RawViewerKeys, EachKeyDoesItsOneThing) {
    RawBench b;
    RawViewer& v = b.open();
    EXPECT_TRUE(v.key(RawKey::S));
    EXPECT_TRUE(b.device.running) << "S starts a stopped viewer";
    b.fill(200);
    b.feed();
    EXPECT_TRUE(v.key(RawKey::S));
    EXPECT_FALSE(b.device.running) << "and stops a streaming one";

    EXPECT_TRUE(v.key(RawKey::E));
    EXPECT_TRUE(v.errorCross());
    EXPECT_TRUE(v.key(RawKey::E));
    EXPECT_FALSE(v.errorCross());
    EXPECT_TRUE(v.key(RawKey::T));
    EXPECT_FALSE(v.tooltipRelay());

    EXPECT_FALSE(v.key(RawKey::Enter, false)) << "Enter elsewhere is the dialog's";
    EXPECT_TRUE(v.key(RawKey::Enter, true));

    EXPECT_TRUE(v.key(RawKey::R));
    EXPECT_FALSE(v.hasData());
    EXPECT_EQ(cell(v, RawView::Raw, 0, 0), 0);
    EXPECT_TRUE(v.firstFrame());
}

TEST(RawViewerKeys, SpaceDumpsOnlyWithDataAndPausesTheReaderMeanwhile) {
    const auto folder = std::filesystem::temp_directory_path() / "vorlick_raw_space";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    RawBench b;
    b.dumpFolder = folder.string();
    RawViewer& v = b.streaming();
    b.device.calls.clear();
    EXPECT_TRUE(v.key(RawKey::Space));
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "nothing to dump before a frame";
    b.fill(321);
    b.feed();
    EXPECT_TRUE(v.key(RawKey::Space));
    EXPECT_EQ(b.device.calls, (std::vector<std::string>{"pause", "resume"}));
    EXPECT_EQ(v.statusText(), "Success to dump file. 'log1211090507.csv'");
    EXPECT_TRUE(std::filesystem::exists(folder / "log1211090507.csv"));
    std::filesystem::remove_all(folder);
}

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RawViewerDump, DiffViewWritesDiffUpperAndLowerBlocks) {
    const auto folder = std::filesystem::temp_directory_path() / "vorlick_raw_dump";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    RawBench b(true, 3, 2, {2026, 3, 4, 17, 8, 9, 0});
    b.dumpFolder = folder.string();
    for (int t = 0; t < 2; ++t)
        for (int r = 0; r < 3; ++r) {
            b.recipe->ReferenceTable[t][r] = 1000 + r;
            b.recipe->UpperTable[t][r] = 10;
            b.recipe->LowerTable[t][r] = -10;
        }
    RawViewer& v = b.streaming();
    b.fill(5555);  // outside the scanned lines: written as 0
    b.frame->cells[0][0] = 1005;
    b.frame->cells[0][1] = 1020;
    b.frame->cells[0][2] = 990;
    b.frame->cells[1][0] = 1003;
    b.frame->cells[1][1] = 1001;
    b.frame->cells[1][2] = 1030;
    b.feed();
    v.setView(RawView::Upper);  // the three judgement views dump alike
    ASSERT_TRUE(v.dump());
    EXPECT_EQ(v.statusText(), "Success to dump file. 'log0304170809.csv'");
    const std::string expected =
        readAll(std::filesystem::path(VORLICK_SOURCE_DIR) / "station/viewers/logic/tests/data/raw_dump_diff.csv");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(readAll(folder / "log0304170809.csv"), expected);
    std::filesystem::remove_all(folder);
}

TEST(RawViewerDump, EachViewHasItsTitleAndValueFormat) {
    RawBench b(true, 1, 1);
    RawViewer& v = b.streaming();
    b.fill(100);
    b.feed();
    b.fill(116);
    b.feed();
    struct Case {
        RawView view;
        const char* start;
    };
    const Case cases[] = {
        {RawView::Raw, "#Raw\n116,0,"},       {RawView::Average, "#Average\n101.00,0,"},
        {RawView::Sigma, "#Sigma\n15.00,0,"}, {RawView::Diff, "#Diff\n116.00,0,"},
        {RawView::Lower, "#Diff\n116.00,0,"}, {RawView::Error, "#Error\n2,0,"},
    };
    for (const Case& c : cases) {
        v.setView(c.view);
        const std::string text = v.dumpText();
        EXPECT_EQ(text.substr(0, std::string_view(c.start).size()), c.start);
        const bool blocks = c.view == RawView::Diff || c.view == RawView::Lower;
        EXPECT_EQ(text.find("#Upper\n") != std::string::npos, blocks) << c.start;
        EXPECT_EQ(text.find("// 45\n\n"), text.find("// 45\n")) << "the first block ends in a blank line";
    }
}

TEST(RawViewerDump, AFileThatCannotBeWrittenIsNoSuccess) {
    RawBench b;
    b.dumpFolder = "/nonexistent/vorlick";
    RawViewer& v = b.open();
    EXPECT_FALSE(v.dump());
    EXPECT_EQ(v.statusText(), "Error: cannot write dump file. 'log1211090507.csv'");
}

TEST(RawViewerReload, ReadsTheTablesAgainThenClears) {
    const auto folder = std::filesystem::temp_directory_path() / "vorlick_raw_reload";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        std::ofstream ref(folder / "ref.csv");
        ref << "#Reference\n";
        for (int t = 0; t < 46; ++t) {
            for (int r = 0; r < 72; ++r) ref << (t == 1 && r == 2 ? 1500 : 1000) << ",";
            ref << "\n";
        }
        std::ofstream gap(folder / "gap.csv");
        gap << "#Gap\n";
        for (int t = 0; t < 46; ++t) {
            for (int r = 0; r < 72; ++r) gap << "0,";
            gap << "\n";
        }
    }
    RawBench b;
    b.recipe->RAW_LOG_ONLY = 1;  // the reference and the gap table are read, no thresholds
    b.recipe->GAP_CHECK = 1;
    b.recipe->REFERENCE_CSV = (folder / "ref.csv").string();
    b.recipe->GAP_CSV = (folder / "gap.csv").string();
    RawViewer& v = b.streaming();
    b.fill(1600);
    b.feed();
    EXPECT_EQ(cell(v, RawView::Diff, 1, 2), 1600);
    v.reloadCsv();
    EXPECT_FALSE(v.hasData());
    EXPECT_EQ(cell(v, RawView::Raw, 1, 2), 0);
    b.feed();
    EXPECT_EQ(cell(v, RawView::Diff, 1, 2), 100);
    EXPECT_EQ(cell(v, RawView::Diff, 0, 0), 600);
    EXPECT_EQ(v.statusText(), "Success: start Thread.") << "a clean reload tells nothing";

    // A table that is gone reads as zero from now on; the status bar tells which file.
    const std::string gone = (folder / "gone.csv").string();
    b.recipe->REFERENCE_CSV = gone;
    v.reloadCsv();
    EXPECT_EQ(v.statusText(), "Failed to open csv '" + gone + "'");
    EXPECT_EQ(v.reloadMessages().size(), 1u);
    b.feed();
    EXPECT_EQ(cell(v, RawView::Diff, 1, 2), 1600);
    std::filesystem::remove_all(folder);
}

}  // namespace
