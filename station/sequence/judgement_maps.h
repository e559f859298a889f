#pragma once
// What the raw data judgement found: its counters and the per-cell results, kept for the detail
// CSV and the raw data viewer. Every map is stored like the sensor grid: [tx][rx], 72 cells per row whatever the
// controller's counts; cells outside the counts stay 0.
#include <array>
#include <cstdint>

#include "controllerlink/sensor_grid.h"

namespace station {

using IntGrid = std::array<std::array<std::int32_t, controllerlink::kGridRx>, controllerlink::kGridTx>;

// Calibration spread of one Rx column over the judged rows (min/max mode).
struct CalColumn {
    std::int32_t minRow = 0;
    double minValue = 0.0;
    std::int32_t maxRow = 0;
    double maxValue = 0.0;
    double range = 0.0;     // maxValue - minValue
    std::int32_t flag = 0;  // 1 once the range exceeded CAL_THRESHOLD
};

struct JudgementMaps {
    controllerlink::Grid rawDiff{};  // rawAverage - ReferenceTable
    IntGrid upperMap{};              // 1 where rawDiff > UpperTable
    IntGrid lowerMap{};              // 1 where rawDiff < LowerTable
    std::array<CalColumn, controllerlink::kGridRx> calColumns{};
    controllerlink::Grid calDiff{};        // CAL_DIFF: |v(t, r) - v(t + 1, r)|
    controllerlink::Grid gapHorizontal{};  // |rawDiff(t, r) - rawDiff(t, r + 1)|
    controllerlink::Grid gapVertical{};    // |rawDiff(t, r) - rawDiff(t + 1, r)|

    // In place: the maps are large enough that a temporary copy is worth avoiding.
    void clear();
};

// The run detail's raw counters.
struct RawCounters {
    std::int32_t rawTotal = 0;  // sum of the seven below
    std::int32_t upperCount = 0;
    std::int32_t lowerCount = 0;
    std::int32_t calCount = 0;
    std::int32_t dbCount = 0;
    std::int32_t rawRetryCount = 0;  // 1 when a read ran out of retries
    std::int32_t gapHorizontalCount = 0;
    std::int32_t gapVerticalCount = 0;
};

struct RawJudgement {
    RawCounters counters;
    // Upper faults whose raw average exceeds 30000 (a Tx line shorted to an Rx line).
    std::int32_t shortCandidates = 0;
    std::int32_t txOpen = 0;
    std::int32_t rxOpen = 0;
    JudgementMaps maps;

    void clear();
};

}  // namespace station
