#pragma once
// The sensor panel behind a simulated controller: the level every cell reads in each kind of
// frame, the read noise, and the defects a production line meets (open lines, Tx-Rx shorts,
// dead and noisy cells, pins shorted to Vdd or Gnd). Recipes' reference and threshold tables
// are generated from the default levels, so those numbers are a contract (examples/sim/controller.md).
#include <cstdint>
#include <random>
#include <vector>

namespace sim {

inline constexpr int kMaxRx = 72;  // grid columns
inline constexpr int kMaxTx = 46;  // grid rows
inline constexpr int kRxPins = 72;
inline constexpr int kTxPins = 48;

enum class FrameKind : std::uint8_t { Raw, Calibration, Actual };

struct Cell {
    int tx = 0;
    int rx = 0;
    friend bool operator==(const Cell&, const Cell&) = default;
};

struct PinFault {
    bool rx = true;  // false: a Tx pin
    int pin = 0;
    bool vdd = true;  // false: shorted to Gnd
    friend bool operator==(const PinFault&, const PinFault&) = default;
};

struct PanelConfig {
    double noiseSigma = 2.0;  // counts per read, raw frames
    std::uint32_t seed = 1;
    std::vector<int> openTx;
    std::vector<int> openRx;
    std::vector<Cell> shorts;  // Tx-Rx shorts: the whole row and column saturate
    std::vector<Cell> dead;
    std::vector<Cell> noisy;
    std::vector<PinFault> pinFaults;
};

inline constexpr int kShortLevel = 32000;
inline constexpr double kNoisySigma = 300.0;

// Pin check answer bitmaps, bit n % 8 of byte n / 8 per pin.
struct PinBitmaps {
    std::uint8_t rxVdd[9] = {};
    std::uint8_t rxGnd[9] = {};
    std::uint8_t txVdd[6] = {};
    std::uint8_t txGnd[6] = {};
};

class PanelModel {
public:
    explicit PanelModel(PanelConfig config);

    const PanelConfig& config() const { return config_; }

    // Noise-free level of a healthy cell.
    static int level(FrameKind kind, int tx, int rx, bool floorCancelled);

    // One frame of txCount rows by rxCount cells, row by row. Counts are clamped to the
    // physical grid (1..72, 1..46) so a bad register image cannot make the model overrun.
    std::vector<std::int16_t> frame(FrameKind kind, int rxCount, int txCount, bool floorCancelled);

    PinBitmaps pinBitmaps() const;

private:
    double gaussian();
    bool isOpenTx(int t) const;
    bool isOpenRx(int r) const;
    static bool contains(const std::vector<Cell>& cells, int t, int r);

    PanelConfig config_;
    std::mt19937 rng_;
    bool haveSpare_ = false;
    double spare_ = 0.0;
};

}  // namespace sim
