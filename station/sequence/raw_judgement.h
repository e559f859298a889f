#pragma once
// The raw data judgement: every cell of the averaged raw frame against the reference, upper
// and lower tables, the calibration spread, the dead band (standard deviation) and the gaps
// between neighbouring cells; then one verdict for the raw data and one for the gaps.
#include <cstdint>
#include <optional>
#include <string_view>

#include "controllerlink/sensor_grid.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/error_codes.h"
#include "station/sequence/judgement_maps.h"
#include "station/sequence/step_outcome.h"
#include "station/sequence/ui_port.h"

namespace station {

// What the judgement reads: the frames of the check's record.
struct RawInputs {
    const controllerlink::Grid& rawAverage;
    const controllerlink::Grid& calAverage;
    const controllerlink::Grid& actualAverage;
    const controllerlink::Grid& sdSigma;
    std::uint32_t readFlags = 0;
    std::uint32_t txCount = 0;  // held to the grid
    std::uint32_t rxCount = 0;

    static RawInputs from(const SensorFrames& frames);
};

// Clears `out` and judges every cell of the first txCount rows and rxCount columns.
void judgeRawData(const RecipeSettings& settings, const RawInputs& in, RawJudgement& out);

// The first raw fault class that applies (retry, Tx-Rx short seen in the raw data, Tx open, Rx
// open, upper, lower, cal, dead band); nullopt when only gaps failed or nothing did.
std::optional<ErrorId> rawFault(const RawJudgement& judgement);
// GapHorizontal, else GapVertical, else nullopt.
std::optional<ErrorId> gapFault(const RawJudgement& judgement);

// colCode takes a raw or gap code only while it still holds its four blanks; a Tx-Rx short
// seen in the raw data always takes it.
bool rawErrorTakesCode(ErrorId error, std::string_view colCode);

// The whole step, for a recipe with RAW_CHECK, after readRawData: judges the frames read into
// `judgement` and writes the messages ("Raw Data Check ... OK" unless RAW_LOG_ONLY,
// the raw fault, then the gap fault or "Gap Data Check ... OK" unless GAP_LOG_ONLY). NG when
// rawTotal is not 0, with the raw fault and then the gap fault (either may be missing).
StepOutcome runRawJudgement(const RecipeSettings& settings, const SensorFrames& frames, UiPort& ui,
                            RawJudgement& judgement);
StepOutcome runRawJudgement(const RecipeSettings& settings, const RawInputs& in, UiPort& ui, RawJudgement& judgement);

}  // namespace station
