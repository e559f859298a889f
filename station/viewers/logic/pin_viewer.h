#pragma once
// The pin check viewer without its window: the pin table (Rx pins on the left half, Tx pins on
// the right) in its cleared and its checked form, the error picture, the Short/Open views and
// the ruled grid of the Open view. It changes nothing in the recipe.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "station/viewers/logic/fixed_text.h"
#include "station/viewers/logic/grid_lines.h"
#include "station/viewers/logic/viewer_device.h"

namespace station::viewers {

inline constexpr int kPinRows = 72;
inline constexpr int kTxPinRows = 46;
inline constexpr int kPinColumns = 10;

// The table's columns in order: Rx picture, "RX", "VDD", "GND", "Notes", Tx picture, "TX", "VDD",
// "GND", "Notes"; every column centred.
struct PinColumn {
    std::string_view title;
    int width = 0;  // pixels
};
extern const std::array<PinColumn, kPinColumns> kPinColumnsLayout;

// Pictures of the table and the legend: the pin states are the picture indices.
enum PinPicture : int { NoPicture = -1, PinGood = 2, PinFaulty = 3 };
inline constexpr std::uint32_t kCellWhite = 0xFFFFFFFF;
inline constexpr std::uint32_t kCellUnused = 0xFFDCDCDC;
inline constexpr std::uint32_t kTextRed = 0xFFFF0000;
inline constexpr std::uint32_t kTextBlack = 0xFF000000;
inline constexpr std::uint32_t kLegendPass = 0xFF00FF00;  // the Open view's squares
inline constexpr std::uint32_t kLegendFail = 0xFFFF0000;

// Which pins the recipe's lookup tables use, and the sensor line each drives (-1: none found).
struct PinMap {
    std::array<bool, kPinRows> rxUsed{};
    std::array<int, kPinRows> rxLine{};
    std::array<bool, kTxPinRows> txUsed{};
    std::array<int, kTxPinRows> txLine{};
};
// Rx pin i is used when bit 8 of word i is set and drives the first line j whose word's low 7
// bits are i; Tx pin i is used when bits 9..8 of its word are 01 and drives its low 6 bits.
PinMap pinMap(std::span<const std::uint16_t, kPinRows> rxMap, std::span<const std::uint16_t, kTxPinRows> txMap);

struct PinHalf {
    int picture = NoPicture;
    FixedText<16> pin;  // "<%d>"
    std::string_view vdd;
    std::string_view gnd;
    FixedText<16> note;  // "rx%d" / "tx%d" or "don't use"
    bool used = false;
};
struct PinRow {
    PinHalf rx;
    bool hasTx = false;  // rows 46 and on have no Tx half
    PinHalf tx;
};

struct PinViewerInputs {
    ViewerDevice& device;
    std::uint16_t waitTime = 0;        // WAIT_TIME
    std::uint16_t shortThreshold = 0;  // SHORT_THRESHOLD
    std::uint16_t openThreshold = 50;
    std::span<const std::uint16_t, kPinRows> rxMap;    // [XLUT]
    std::span<const std::uint16_t, kTxPinRows> txMap;  // [YLUT]
};

class PinViewer {
public:
    explicit PinViewer(const PinViewerInputs& inputs);

    void check();
    void clear();

    // The number fields.
    void setWaitTime(std::uint16_t v) { waitTime_ = v; }
    void setShortThreshold(std::uint16_t v) { shortThreshold_ = v; }
    // Shown and edited; the pin check takes no open threshold.
    void setOpenThreshold(std::uint16_t v) { openThreshold_ = v; }
    std::uint16_t waitTime() const { return waitTime_; }
    std::uint16_t shortThreshold() const { return shortThreshold_; }
    std::uint16_t openThreshold() const { return openThreshold_; }

    // "Short" (the table) or "Open" (the grid).
    void showOpenView(bool open) { openView_ = open; }
    bool tableVisible() const { return !openView_; }
    bool legendPicturesVisible() const { return !openView_; }
    bool gridVisible() const { return openView_; }
    bool legendSquaresVisible() const { return openView_; }
    static std::string_view passText() { return "Pass"; }
    static std::string_view failText() { return "Fail"; }

    const std::array<PinRow, kPinRows>& rows() const { return rows_; }
    // Text, picture and colours of a cell of the table.
    std::string_view cellText(int row, int column) const;
    int cellPicture(int row, int column) const;
    std::uint32_t cellBackground(int row, int column) const;
    static std::uint32_t cellTextColour(int column);

    bool errorPictureVisible() const { return errorShown_; }
    std::string_view errorText() const { return errorShown_ ? "Error Exist." : ""; }
    std::string_view statusText() const { return status_; }
    // Line counts of the Open view's grid.
    std::uint32_t rxCount() const { return device_.rxCount(); }
    std::uint32_t txCount() const { return device_.txCount(); }

private:
    void fillNotes();

    ViewerDevice& device_;
    PinMap map_;
    std::uint16_t waitTime_;
    std::uint16_t shortThreshold_;
    std::uint16_t openThreshold_;
    bool openView_ = false;
    bool errorShown_ = false;
    std::string_view status_;
    std::array<PinRow, kPinRows> rows_{};
};

// The ruled grid of the Open view in an area: a 40-pixel margin on the left and top, 30 pixels
// kept free on the right and bottom.
struct PinGridLine {
    double position = 0.0;  // x of a vertical line, y of a horizontal one
    GridLineStyle style;
    bool numbered = false;  // its number (n - 1) is written beside it
};
struct PinGrid {
    double cellWidth = 0.0;
    double cellHeight = 0.0;
    PinGrid(const Rect& area, std::uint32_t rxCount, std::uint32_t txCount);
    // Line i = 1..rxCount (vertical) or 1..txCount (horizontal).
    PinGridLine vertical(int i) const;
    PinGridLine horizontal(int i) const;

private:
    Rect area_;
};

}  // namespace station::viewers
