#include "station/sequence/tkp_noise_maxima.h"

#include <gtest/gtest.h>

#include <vector>

namespace station {
namespace {

using V = std::vector<double>;

std::optional<TkpLineMaximum> at(int line, double value) { return TkpLineMaximum{line, value}; }

void expectAxis(const std::optional<TkpLineMaximum>& got, const std::optional<TkpLineMaximum>& want) {
    ASSERT_EQ(got.has_value(), want.has_value());
    if (!want) return;
    EXPECT_EQ(got->line, want->line);
    EXPECT_DOUBLE_EQ(got->value, want->value);
}

TEST(TkpNoiseMaxima, FigureAndFirstYLine) {
    const V xa{1.0, 4.0, 2.0}, xs{1.0, 0.0, 0.5};  // figures 4, 4, 3.5: the tie goes to line 0
    const V ya{9.0, 1.0, 2.0}, ys{0.0, 1.0, 0.0};  // figures 9, 4, 2
    struct Case {
        TkpNoiseFigure figure;
        std::optional<TkpLineMaximum> x, y;
    } cases[] = {
        {{false, false}, at(0, 4.0), at(1, 4.0)},
        {{false, true}, at(0, 4.0), at(0, 9.0)},
        {{true, false}, at(1, 4.0), at(2, 2.0)},
        {{true, true}, at(1, 4.0), at(0, 9.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.figure.averageOnly << c.figure.firstYLineJudged);
        const TkpNoiseMaxima m = tkpNoiseMaxima(xa, xs, ya, ys, c.figure);
        expectAxis(m.x, c.x);
        expectAxis(m.y, c.y);
    }
}

TEST(TkpNoiseMaxima, EmptyAxesAndShortLists) {
    // One Y line, not judged: no maximum on Y. No X lines at all: none on X.
    TkpNoiseMaxima m = tkpNoiseMaxima({}, {}, V{5.0}, V{1.0}, {});
    EXPECT_FALSE(m.x);
    EXPECT_FALSE(m.y);
    // A line without its sigma takes no part, unless the average alone counts.
    m = tkpNoiseMaxima(V{1.0, 50.0}, V{0.0}, {}, {}, {});
    expectAxis(m.x, at(0, 1.0));
    m = tkpNoiseMaxima(V{1.0, 50.0}, V{0.0}, {}, {}, {true, false});
    expectAxis(m.x, at(1, 50.0));
}

TEST(TkpNoiseMaxima, FromTheCheckHistory) {
    CheckResults r;
    EXPECT_FALSE(tkpLastNoiseMaxima(r, {}).x);

    r.tkpLineCountX = 2;
    r.tkpLineCountY = 3;
    // X lines first, then Y lines from position 2.
    r.tkpAverageHistory = {{1.0, 2.0, 0.0, 6.0, 3.0}, {7.0, 1.0, 0.0, 2.0, 8.0}};
    r.tkpSigmaHistory = {{0.0, 0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 0.0, 0.0}};
    TkpNoiseMaxima m = tkpNoiseMaxima(r, 0, {});
    expectAxis(m.x, at(1, 2.0));
    expectAxis(m.y, at(1, 6.0));
    m = tkpLastNoiseMaxima(r, {});
    expectAxis(m.x, at(0, 7.0));
    expectAxis(m.y, at(2, 8.0));
    // A measurement that is not there has no maxima.
    EXPECT_FALSE(tkpNoiseMaxima(r, 2, {}).x);

    // Counts past the sensor stop at its 72 X lines; the Y lines start after them.
    r.tkpLineCountX = 300;
    r.tkpLineCountY = 1;
    r.tkpAverageHistory = {V(72, 1.0)};
    r.tkpAverageHistory[0].push_back(5.0);
    r.tkpAverageHistory[0].push_back(99.0);  // past the one Y line
    r.tkpSigmaHistory = {V(74, 0.0)};
    m = tkpNoiseMaxima(r, 0, {false, true});
    expectAxis(m.x, at(0, 1.0));
    expectAxis(m.y, at(0, 5.0));
}

}  // namespace
}  // namespace station
