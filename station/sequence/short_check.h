#pragma once
// The short check: the controller's pin check (each sensor pin tested against Vdd and Gnd)
// turned into counters and a verdict. Only the pins the lookup tables use are counted.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/error_codes.h"
#include "station/sequence/step_outcome.h"
#include "station/sequence/ui_port.h"

namespace station {

// Pin fault counters of one check (the run detail's short counters, plus the pins with both
// faults that decide between a pin-to-pin short and a short to a rail).
struct ShortCounters {
    std::int32_t shortTotal = 0;    // txVddCount + txGndCount + rxGndCount + rxVddCount
    std::int32_t shortTxTotal = 0;  // txVddCount + txGndCount
    std::int32_t txGndCount = 0;
    std::int32_t txVddCount = 0;
    std::int32_t shortRxTotal = 0;  // rxVddCount + rxGndCount
    std::int32_t rxGndCount = 0;
    std::int32_t rxVddCount = 0;
    std::int32_t txBoth = 0;
    std::int32_t rxBoth = 0;
};

// Rx pin n is used when bit 8 of X-LUT word n is set; Tx pin n when bits 9..8 of Y-LUT word n
// are 01 (the same words RX_PORT_COUNT and TX_PORT_COUNT count).
bool rxPinUsed(std::uint16_t xlutWord);
bool txPinUsed(std::uint16_t ylutWord);

ShortCounters countPinFaults(std::span<const std::uint16_t, kXlutSize> xlut,
                             std::span<const std::uint16_t, kYlutSize> ylut, std::span<const PinResult, kGridRx> rxPins,
                             std::span<const PinResult, kTxPins> txPins);

// The first fault class that applies (Tx-Tx, Rx-Rx, Tx-Rx, Tx-Gnd, Tx-Vdd, Rx-Gnd, Rx-Vdd);
// nullopt when no pin is faulty.
std::optional<ErrorId> shortFault(const ShortCounters& counters);

// The whole step, for a recipe with SHORT_CHECK: runPinCheck(WAIT_TIME, SHORT_THRESHOLD) on the
// touch collection into `pins` (refused: abort "Failed to get pin check"), then the judgement over the
// recipe's lookup tables (the controller's, when the station took them from it). Writes
// "Short Check ... OK" or the NG message of its error (ShortTxRx here is the pin-to-pin short of
// the SHORT column, not the raw data's).
StepOutcome runShortCheck(const RecipeSettings& settings, DeviceLink& touch, UiPort& ui, ShortCounters& counters,
                          PinCheck& pins);

}  // namespace station
