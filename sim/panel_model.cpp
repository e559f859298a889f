#include "sim/panel_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {

PanelModel::PanelModel(PanelConfig config) : config_(std::move(config)), rng_(config_.seed) {}

int PanelModel::level(FrameKind kind, int tx, int rx, bool floorCancelled) {
    switch (kind) {
        case FrameKind::Raw:
            // Cancelling the X floor removes the Rx-dependent part of the baseline.
            return 2000 + 4 * tx + (floorCancelled ? 0 : 2 * rx);
        case FrameKind::Calibration:
            return 500 + tx;
        case FrameKind::Actual:
            return 300 + tx;
    }
    return 0;
}

// Box-Muller on the engine's own output: std::normal_distribution differs between standard
// libraries, and the noise sequence of a seed should be the same on every build.
double PanelModel::gaussian() {
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    constexpr double scale = 1.0 / 4294967296.0;
    const double u1 = (static_cast<double>(rng_()) + 1.0) * scale;  // (0, 1]
    const double u2 = static_cast<double>(rng_()) * scale;
    const double radius = std::sqrt(-2.0 * std::log(u1));
    const double angle = 2.0 * std::numbers::pi * u2;
    spare_ = radius * std::sin(angle);
    haveSpare_ = true;
    return radius * std::cos(angle);
}

bool PanelModel::isOpenTx(int t) const {
    return std::find(config_.openTx.begin(), config_.openTx.end(), t) != config_.openTx.end();
}

bool PanelModel::isOpenRx(int r) const {
    return std::find(config_.openRx.begin(), config_.openRx.end(), r) != config_.openRx.end();
}

bool PanelModel::contains(const std::vector<Cell>& cells, int t, int r) {
    return std::find(cells.begin(), cells.end(), Cell{t, r}) != cells.end();
}

std::vector<std::int16_t> PanelModel::frame(FrameKind kind, int rxCount, int txCount, bool floorCancelled) {
    const int rxN = std::clamp(rxCount, 1, kMaxRx);
    const int txN = std::clamp(txCount, 1, kMaxTx);
    const double baseSigma = kind == FrameKind::Raw ? config_.noiseSigma : config_.noiseSigma / 2.0;
    std::vector<std::int16_t> out(static_cast<std::size_t>(rxN * txN));
    for (int t = 0; t < txN; ++t) {
        for (int r = 0; r < rxN; ++r) {
            // Every cell draws its noise, defective or not, so a defect does not shift the
            // noise of the cells after it. A noisy node shows in the unfiltered raw scan only:
            // the firmware's calibration and actual-data frames are filtered.
            const bool noisy = kind == FrameKind::Raw && contains(config_.noisy, t, r);
            const double sigma = noisy ? kNoisySigma : baseSigma;
            const double noise = gaussian() * sigma;
            double value = level(kind, t, r, floorCancelled) + noise;
            if (isOpenTx(t) || isOpenRx(r)) value /= 10.0;
            bool shorted = false;
            for (const Cell& s : config_.shorts) shorted = shorted || s.tx == t || s.rx == r;
            if (shorted) value = kShortLevel;
            if (contains(config_.dead, t, r)) value = 0;
            value = std::clamp(std::round(value), -32768.0, 32767.0);
            out[static_cast<std::size_t>(t) * static_cast<std::size_t>(rxN) + static_cast<std::size_t>(r)] =
                static_cast<std::int16_t>(value);
        }
    }
    return out;
}

PinBitmaps PanelModel::pinBitmaps() const {
    PinBitmaps b;
    for (const PinFault& f : config_.pinFaults) {
        if (f.pin < 0 || f.pin >= (f.rx ? kRxPins : kTxPins)) continue;
        const auto bit = static_cast<std::uint8_t>(1u << (f.pin % 8));
        const auto byte = static_cast<std::size_t>(f.pin / 8);
        std::uint8_t* bytes = f.rx ? (f.vdd ? b.rxVdd : b.rxGnd) : (f.vdd ? b.txVdd : b.txGnd);
        bytes[byte] = static_cast<std::uint8_t>(bytes[byte] | bit);
    }
    return b;
}

}  // namespace sim
