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

int shortFaultCode(const ShortCounters& c) {
    if (c.shortTotal == 0) return 0;
    // A pin seen on both rails is shorted to another pin; two of them on one side short that
    // side's lines together.
    if (c.txBoth >= 2) return 620;
    if (c.rxBoth >= 2) return 621;
    if (c.txBoth >= 1 && c.rxBoth >= 1) return 622;
    if (c.txGndCount > 0) return 623;
    if (c.txVddCount > 0) return 624;
    if (c.rxGndCount > 0) return 625;
    return 626;
}

const char* shortFaultMessage(int code) {
    switch (code) {
        case 620:
            return "Short Check ... NG (Tx-Tx)";
        case 621:
            return "Short Check ... NG (Rx-Rx)";
        case 622:
            return "Short Check ... NG (Tx-Rx)";
        case 623:
            return "Short Check ... NG (Tx-Gnd)";
        case 624:
            return "Short Check ... NG (Tx-Vdd)";
        case 625:
            return "Short Check ... NG (Rx-Gnd)";
        case 626:
            return "Short Check ... NG (Rx-Vdd)";
        default:
            return "";
    }
}

StepOutcome runShortCheck(const RecipeSettings& settings, DeviceLink& touch, UiPort& ui, ShortCounters& counters) {
    counters = ShortCounters{};
    if (!touch.runPinCheck(settings.WAIT_TIME, settings.SHORT_THRESHOLD)) {
        ui.appendMessage("Failed to get pin check");
        return StepOutcome::abort("Failed to get pin check");
    }
    counters = countPinFaults(settings.XLUT, settings.YLUT, touch.rxPins, touch.txPins);
    const int code = shortFaultCode(counters);
    if (code == 0) {
        ui.appendMessage("Short Check ... OK");
        return StepOutcome::pass();
    }
    ui.appendMessage(shortFaultMessage(code));
    return StepOutcome::ng(code);
}

}  // namespace station
