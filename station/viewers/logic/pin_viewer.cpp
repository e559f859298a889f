#include "station/viewers/logic/pin_viewer.h"

#include <algorithm>

namespace station::viewers {
namespace {

constexpr std::string_view kNg = "NG";
constexpr std::string_view kNotUsed = "don't use";
// The Open view's grid: margins on the left and top, room kept on the right and bottom.
constexpr int kGridMargin = 40;
constexpr int kGridKeep = 30;

void fillHalf(PinHalf& half, int pin, bool used, int line, const char* lineFormat) {
    half.picture = NoPicture;
    half.pin.format("<%d>", pin);
    half.vdd = {};
    half.gnd = {};
    half.used = used;
    if (!used)
        half.note.set(kNotUsed);
    else if (line >= 0)
        half.note.format(lineFormat, line);
    else
        half.note.clear();  // used, yet no line names it
}

void showResult(PinHalf& half, const PinResult& result) {
    half.picture = static_cast<int>(result.state);
    half.vdd = result.vddFault != 0 ? kNg : std::string_view();
    half.gnd = result.gndFault != 0 ? kNg : std::string_view();
}

}  // namespace

const std::array<PinColumn, kPinColumns> kPinColumnsLayout = {{{"", 21},
                                                               {"RX", 50},
                                                               {"VDD", 50},
                                                               {"GND", 50},
                                                               {"Notes", 90},
                                                               {"", 24},
                                                               {"TX", 50},
                                                               {"VDD", 50},
                                                               {"GND", 50},
                                                               {"Notes", 90}}};

PinMap pinMap(std::span<const std::uint16_t, kPinRows> rxMap, std::span<const std::uint16_t, kTxPinRows> txMap) {
    PinMap map;
    for (int i = 0; i < kPinRows; ++i) {
        const auto u = static_cast<std::size_t>(i);
        map.rxUsed[u] = (rxMap[u] & 0x100u) != 0;
        const auto found = std::find_if(rxMap.begin(), rxMap.end(), [i](std::uint16_t w) { return (w & 0x7F) == i; });
        map.rxLine[u] = found == rxMap.end() ? -1 : static_cast<int>(found - rxMap.begin());
    }
    for (std::size_t i = 0; i < kTxPinRows; ++i) {
        map.txUsed[i] = ((txMap[i] >> 8) & 3u) == 1u;
        map.txLine[i] = txMap[i] & 0x3F;
    }
    return map;
}

PinViewer::PinViewer(const PinViewerInputs& inputs)
    : device_(inputs.device),
      map_(pinMap(inputs.rxMap, inputs.txMap)),
      waitTime_(inputs.waitTime),
      shortThreshold_(inputs.shortThreshold),
      openThreshold_(inputs.openThreshold) {
    clear();
}

void PinViewer::fillNotes() {
    for (int i = 0; i < kPinRows; ++i) {
        const auto u = static_cast<std::size_t>(i);
        PinRow& row = rows_[u];
        fillHalf(row.rx, i, map_.rxUsed[u], map_.rxLine[u], "rx%d");
        row.hasTx = i < kTxPinRows;
        if (row.hasTx)
            fillHalf(row.tx, i, map_.txUsed[u], map_.txLine[u], "tx%d");
        else
            row.tx = PinHalf{};
    }
}

void PinViewer::clear() {
    fillNotes();
    errorShown_ = false;
}

void PinViewer::check() {
    if (!device_.isOpen()) {
        status_ = "Error: Device is not opened.";
        return;
    }
    // The streaming reader must not poll the answer the pin check waits for.
    const bool pause = device_.frameReaderRunning();
    if (pause) device_.pauseFrameReader(true);
    const std::optional<PinCheck> result = device_.runPinCheck(waitTime_, shortThreshold_);
    if (pause) device_.pauseFrameReader(false);
    if (!result) {
        status_ = "Failed to Get Pin check Status.";
        return;
    }
    status_ = "Success to Get Pin check status.";
    fillNotes();
    for (std::size_t i = 0; i < kPinRows; ++i) showResult(rows_[i].rx, result->rxPins[i]);
    for (std::size_t i = 0; i < kTxPinRows; ++i) showResult(rows_[i].tx, result->txPins[i]);
    const auto counters = device_.pinFaultCounters();
    errorShown_ = std::any_of(counters.begin(), counters.end(), [](std::uint32_t c) { return c > 0; });
}

std::string_view PinViewer::cellText(int row, int column) const {
    if (row < 0 || row >= kPinRows) return {};
    const PinRow& r = rows_[static_cast<std::size_t>(row)];
    const bool tx = column >= 5;
    if (tx && !r.hasTx) return {};
    const PinHalf& h = tx ? r.tx : r.rx;
    switch (tx ? column - 5 : column) {
        case 1:
            return h.pin.view();
        case 2:
            return h.vdd;
        case 3:
            return h.gnd;
        case 4:
            return h.note.view();
        default:
            return {};
    }
}

int PinViewer::cellPicture(int row, int column) const {
    if (row < 0 || row >= kPinRows) return NoPicture;
    const PinRow& r = rows_[static_cast<std::size_t>(row)];
    if (column == 0) return r.rx.picture;
    if (column == 5 && r.hasTx) return r.tx.picture;
    return NoPicture;
}

std::uint32_t PinViewer::cellBackground(int row, int column) const {
    if (row < 0 || row >= kPinRows) return kCellWhite;
    const PinRow& r = rows_[static_cast<std::size_t>(row)];
    if (column >= 1 && column <= 4) return r.rx.used ? kCellWhite : kCellUnused;
    if (column >= 6 && column <= 9 && r.hasTx) return r.tx.used ? kCellWhite : kCellUnused;
    return kCellWhite;
}

std::uint32_t PinViewer::cellTextColour(int column) {
    return column == 2 || column == 3 || column == 7 || column == 8 ? kTextRed : kTextBlack;
}

PinGrid::PinGrid(const Rect& area, std::uint32_t rxCount, std::uint32_t txCount) : area_(area) {
    const int inner = kGridMargin + kGridKeep;
    cellWidth = (area.width - inner) / static_cast<double>(rxCount + 1);
    cellHeight = (area.height - inner) / static_cast<double>(txCount + 1);
}

PinGridLine PinGrid::vertical(int i) const {
    return {area_.x + kGridMargin + i * cellWidth, gridLineStyle(i - 1), (i - 1) % 5 == 0};
}

PinGridLine PinGrid::horizontal(int i) const {
    return {area_.y + kGridMargin + i * cellHeight, gridLineStyle(i - 1), (i - 1) % 5 == 0};
}

}  // namespace station::viewers
