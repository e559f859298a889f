#include "station/sequence/short_check.h"

namespace station {

bool rxPinUsed(std::uint16_t xlutWord) { return (xlutWord & 0x0100) != 0; }

bool txPinUsed(std::uint16_t ylutWord) { return (ylutWord & 0x0300) == 0x0100; }

ShortCounters countPinFaults(std::span<const std::uint16_t, kXlutSize> xlut,
                             std::span<const std::uint16_t, kYlutSize> ylut, std::span<const PinResult, kGridRx> rxPins,
                             std::span<const PinResult, kTxPins> txPins) {
    ShortCounters c;
    // The pin check reports 48 Tx pins; the Y-LUT names the 46 a panel can use.
    for (std::size_t n = 0; n < ylut.size(); ++n) {
        if (!txPinUsed(ylut[n])) continue;
        const bool vdd = txPins[n].vddFault != 0;
        const bool gnd = txPins[n].gndFault != 0;
        c.txVddCount += vdd;
        c.txGndCount += gnd;
        c.txBoth += vdd && gnd;
    }
    for (std::size_t n = 0; n < xlut.size(); ++n) {
        if (!rxPinUsed(xlut[n])) continue;
        const bool vdd = rxPins[n].vddFault != 0;
        const bool gnd = rxPins[n].gndFault != 0;
        c.rxVddCount += vdd;
        c.rxGndCount += gnd;
        c.rxBoth += vdd && gnd;
    }
    c.shortTxTotal = c.txVddCount + c.txGndCount;
    c.shortRxTotal = c.rxVddCount + c.rxGndCount;
    c.shortTotal = c.shortTxTotal + c.shortRxTotal;
    return c;
}

std::optional<ErrorId> shortFault(const ShortCounters& c) {
    if (c.shortTotal == 0) return std::nullopt;
    // A pin seen on both rails is shorted to another pin; two of them on one side short that
    // side's lines together.
    if (c.txBoth >= 2) return ErrorId::ShortTxTx;
    if (c.rxBoth >= 2) return ErrorId::ShortRxRx;
    if (c.txBoth >= 1 && c.rxBoth >= 1) return ErrorId::ShortTxRx;
    if (c.txGndCount > 0) return ErrorId::ShortTxGnd;
    if (c.txVddCount > 0) return ErrorId::ShortTxVdd;
    if (c.rxGndCount > 0) return ErrorId::ShortRxGnd;
    return ErrorId::ShortRxVdd;
}

StepOutcome runShortCheck(const RecipeSettings& settings, DeviceLink& touch, UiPort& ui, ShortCounters& counters,
                          PinCheck& pins) {
    counters = ShortCounters{};
    const std::optional<PinCheck> checked = touch.runPinCheck(settings.WAIT_TIME, settings.SHORT_THRESHOLD);
    if (!checked) {
        ui.appendMessage("Failed to get pin check");
        return StepOutcome::abort("Failed to get pin check");
    }
    pins = *checked;
    counters = countPinFaults(settings.XLUT, settings.YLUT, pins.rxPins, pins.txPins);
    const std::optional<ErrorId> fault = shortFault(counters);
    if (!fault) {
        ui.appendMessage("Short Check ... OK");
        return StepOutcome::pass();
    }
    ui.appendMessage(errorEntry(*fault).message);
    return StepOutcome::ng(*fault);
}

}  // namespace station
