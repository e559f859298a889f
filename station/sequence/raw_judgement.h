#pragma once
// The raw data judgement: every cell of the averaged raw frame against the reference, upper
// and lower tables, the calibration spread, the dead band (standard deviation) and the gaps
// between neighbouring cells; then one verdict for the raw data and one for the gaps.
#include <cstdint>
#include <string_view>

#include "controllerlink/sensor_grid.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/judgement_maps.h"
#include "station/sequence/step_outcome.h"
#include "station/sequence/ui_port.h"

namespace station {

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

// What the judgement reads from the controller; the touch DeviceLink holds all of it.
struct RawInputs {
    const controllerlink::Grid& rawAverage;
    const controllerlink::Grid& calAverage;
    const controllerlink::Grid& actualAverage;
    const controllerlink::Grid& sdSigma;
    std::uint32_t readFlags = 0;
    std::uint32_t txCount = 0;  // held to the grid
    std::uint32_t rxCount = 0;

    static RawInputs from(const DeviceLink& touch);
};

// Clears `out` and judges every cell of the first txCount rows and rxCount columns.
void judgeRawData(const RecipeSettings& settings, const RawInputs& in, RawJudgement& out);

// 644, 622 (Tx-Rx short seen in the raw data), 630, 631, 640, 641, 642, 643 for the first raw
// fault class that applies; 0 when only gaps failed or nothing did.
int rawFaultCode(const RawJudgement& judgement);
// 645 (horizontal), else 646 (vertical), else 0.
int gapFaultCode(const RawJudgement& judgement);
// "Raw Data Check ... NG (Upper)" and its siblings for every code above.
const char* rawFaultMessage(int code);

// colCode takes a raw or gap code only while it still holds its four blanks; a Tx-Rx short
// seen in the raw data (622) always takes it.
bool rawCodeTakesColCode(int code, std::string_view colCode);

// The whole step, for a recipe with RAW_CHECK, after readRawData: judges the touch DeviceLink's
// data into `judgement` and writes the messages ("Raw Data Check ... OK" unless RAW_LOG_ONLY,
// the raw fault, then the gap fault or "Gap Data Check ... OK" unless GAP_LOG_ONLY). NG when
// rawTotal is not 0: `code` is the raw fault (0 when only gaps failed) or the gap fault,
// `laterCode` the gap fault reported after a raw fault.
StepOutcome runRawJudgement(const RecipeSettings& settings, const DeviceLink& touch, UiPort& ui,
                            RawJudgement& judgement);
StepOutcome runRawJudgement(const RecipeSettings& settings, const RawInputs& in, UiPort& ui, RawJudgement& judgement);

}  // namespace station
