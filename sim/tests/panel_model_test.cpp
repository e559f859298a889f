#include "sim/panel_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using sim::FrameKind;
using sim::PanelConfig;
using sim::PanelModel;

int cell(const std::vector<std::int16_t>& f, int t, int r) { return f[static_cast<std::size_t>(t * 72 + r)]; }

PanelConfig quiet() {
    PanelConfig c;
    c.noiseSigma = 0.0;
    return c;
}

TEST(PanelModel, DefectsOverrideTheLevelOfTheirCells) {
    PanelConfig c = quiet();
    c.openTx = {5};
    c.shorts = {{20, 30}};
    c.dead = {{40, 60}, {20, 30}};
    PanelModel m(c);
    const auto f = m.frame(FrameKind::Raw, 72, 46, false);
    EXPECT_EQ(cell(f, 0, 0), 2000);
    EXPECT_EQ(cell(f, 45, 71), 2000 + 180 + 142);
    EXPECT_EQ(cell(f, 5, 0), 202) << "open Tx row reads a tenth";
    EXPECT_EQ(cell(f, 5, 71), 216);  // 2162 / 10
    EXPECT_EQ(cell(f, 20, 0), 32000) << "a short saturates its whole row";
    EXPECT_EQ(cell(f, 0, 30), 32000) << "... and its whole column";
    EXPECT_EQ(cell(f, 5, 30), 32000) << "a short wins over an open line";
    EXPECT_EQ(cell(f, 20, 30), 0) << "a dead cell reads 0 whatever crosses it";
    EXPECT_EQ(cell(f, 40, 60), 0);
    EXPECT_EQ(cell(f, 40, 59), 2000 + 160 + 118);

    const auto cal = m.frame(FrameKind::Calibration, 72, 46, false);
    EXPECT_EQ(cell(cal, 4, 1), 504);
    EXPECT_EQ(cell(cal, 5, 1), 51) << "(500 + 5) / 10, half rounded up";
    EXPECT_EQ(cell(cal, 20, 1), 32000) << "defects show in every kind of frame";
}

TEST(PanelModel, NoiseHasTheConfiguredSigmaAndRepeatsWithItsSeed) {
    PanelConfig c;  // sigma 2, seed 1
    c.noisy = {{10, 10}};
    PanelModel a(c), b(c);
    const auto fa = a.frame(FrameKind::Raw, 72, 46, false);
    EXPECT_EQ(fa, b.frame(FrameKind::Raw, 72, 46, false));
    c.seed = 2;
    EXPECT_NE(fa, PanelModel(c).frame(FrameKind::Raw, 72, 46, false));

    // Deviation of the healthy cells over a few frames; the noisy cell on its own.
    double sum = 0, squares = 0, noisySquares = 0;
    int n = 0;
    for (int frame = 0; frame < 20; ++frame) {
        const auto f = a.frame(FrameKind::Raw, 72, 46, false);
        for (int t = 0; t < 46; ++t)
            for (int r = 0; r < 72; ++r) {
                const double d = cell(f, t, r) - PanelModel::level(FrameKind::Raw, t, r, false);
                if (t == 10 && r == 10) {
                    noisySquares += d * d;
                    continue;
                }
                sum += d;
                squares += d * d;
                ++n;
            }
    }
    const double mean = sum / n;
    const double sigma = std::sqrt(squares / n - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.1);
    EXPECT_NEAR(sigma, 2.0, 0.1);
    EXPECT_GT(std::sqrt(noisySquares / 20), 100.0);

    // The filtered frames keep the noisy node quiet, so only the dead-band check sees it.
    for (const FrameKind kind : {FrameKind::Calibration, FrameKind::Actual}) {
        const auto f = a.frame(kind, 72, 46, false);
        EXPECT_NEAR(cell(f, 10, 10), PanelModel::level(kind, 10, 10, false), 6.0);
    }
}

TEST(PanelModel, CountsAreClampedToTheGrid) {
    PanelModel m(quiet());
    EXPECT_EQ(m.frame(FrameKind::Raw, 127, 63, false).size(), 72u * 46u);
    EXPECT_EQ(m.frame(FrameKind::Raw, 0, 0, false).size(), 1u);
    EXPECT_EQ(m.frame(FrameKind::Raw, 10, 4, false).size(), 40u);
}

TEST(PanelModel, PinFaultsSetTheirBitsOnly) {
    PanelConfig c = quiet();
    c.pinFaults = {{true, 0, true}, {true, 12, true}, {true, 71, false}, {false, 0, false}, {false, 47, true}};
    const sim::PinBitmaps b = PanelModel(c).pinBitmaps();
    const std::uint8_t rxVdd[9] = {0x01, 0x10, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t rxGnd[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0x80};
    const std::uint8_t txVdd[6] = {0, 0, 0, 0, 0, 0x80};
    const std::uint8_t txGnd[6] = {0x01, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(std::begin(rxVdd), std::end(rxVdd), b.rxVdd));
    EXPECT_TRUE(std::equal(std::begin(rxGnd), std::end(rxGnd), b.rxGnd));
    EXPECT_TRUE(std::equal(std::begin(txVdd), std::end(txVdd), b.txVdd));
    EXPECT_TRUE(std::equal(std::begin(txGnd), std::end(txGnd), b.txGnd));
}

}  // namespace
