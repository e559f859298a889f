#pragma once
// What the operator checks (drawing, TKP pen, home key) leave behind for the detail CSV, beside
// the flags of RunDetail. Cleared when a check begins; filled by the check windows' logic.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace station {

// TKP per-line arrays hold the X lines at 0..71 and the Y lines at 72..117.
inline constexpr int kTkpLinesX = 72;
inline constexpr int kTkpLinesY = 46;
inline constexpr int kTkpFirstY = kTkpLinesX;
inline constexpr int kTkpLines = kTkpLinesX + kTkpLinesY;
// Home key per-pin arrays.
inline constexpr int kHomeKeyResultPins = 256;

using HomeKeyPinValues = std::array<std::int32_t, kHomeKeyResultPins>;

enum class TkpAxis : std::uint8_t { X, Y };

// One axis of one TKP noise measurement: its lines' values, in line order. A list ends where
// its data ends, so it may be shorter than the axis's line count.
struct TkpAxisLines {
    std::span<const double> average;
    std::span<const double> sigma;
    std::span<const std::uint16_t> peak;
};

struct CheckResults {
    // TKP pen check. One list per noise measurement, in measuring order; each list holds the X
    // lines' values followed by the Y lines' (Y line j at position linesX() + j).
    std::vector<std::vector<double>> tkpAverageHistory;
    std::vector<std::vector<double>> tkpSigmaHistory;
    std::vector<std::vector<std::uint16_t>> tkpMaxHistory;
    // Line counts the pen announced; the sensor has at most 72 X and 46 Y lines.
    std::int32_t tkpLineCountX = 0;
    std::int32_t tkpLineCountY = 0;
    // Noise measurements completed.
    std::int32_t tkpNoiseCheckNo = 0;
    // Each line's largest sample when the check closed (the signal phase's peak).
    std::array<std::uint16_t, kTkpLines> tkpFinalMax{};
    // The scan parameters the check ended with (debug edits included): noise gain X, signal
    // gain X, noise gain Y, signal gain Y, enable, blank.
    std::array<std::uint16_t, 6> TkpGainBlock{};

    // Home key check, per pin. Untouched phase: level and base extremes and the level's mean.
    HomeKeyPinValues hkUntouchedMax{};
    HomeKeyPinValues hkUntouchedMin{};
    HomeKeyPinValues hkUntouchedAverage{};
    HomeKeyPinValues hkBaseMax{};
    HomeKeyPinValues hkBaseMin{};
    // Touch phase: moving-average and base extremes, the touched level, the good-sample count.
    HomeKeyPinValues hkTouchedMax{};
    HomeKeyPinValues hkTouchedMin{};
    HomeKeyPinValues hkTouchedLevel{};
    HomeKeyPinValues hkTouchedBaseMax{};
    HomeKeyPinValues hkTouchedBaseMin{};
    HomeKeyPinValues hkGoodCount{};

    // The line counts as far as the per-line arrays reach; readers index with these.
    int linesX() const { return std::clamp<int>(tkpLineCountX, 0, kTkpLinesX); }
    int linesY() const { return std::clamp<int>(tkpLineCountY, 0, kTkpLinesY); }
    int lines(TkpAxis axis) const { return axis == TkpAxis::X ? linesX() : linesY(); }
    // Noise measurements recorded (the longest of the three histories).
    std::size_t tkpMeasurements() const;
    // Measurement `n` (from 0) on one axis; empty when there is no such measurement.
    TkpAxisLines tkpLines(std::size_t n, TkpAxis axis) const;

    void clear() { *this = CheckResults{}; }
};

}  // namespace station
