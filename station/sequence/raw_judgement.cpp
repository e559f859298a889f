#include "station/sequence/raw_judgement.h"

#include <algorithm>
#include <cmath>

namespace station {
namespace {

// An upper fault this high is no panel deviation: the Tx line touches an Rx line.
constexpr double kShortLevel = 30000.0;

int heldCount(std::uint32_t count, int limit) { return static_cast<int>(std::min<std::uint32_t>(count, limit)); }

}  // namespace

RawInputs RawInputs::from(const SensorFrames& f) {
    return RawInputs{f.rawAverage, f.calAverage, f.actualAverage, f.sdSigma, f.readFlags, f.txCount, f.rxCount};
}

void judgeRawData(const RecipeSettings& s, const RawInputs& in, RawJudgement& out) {
    out.clear();
    RawCounters& c = out.counters;
    JudgementMaps& m = out.maps;
    const int txCount = heldCount(in.txCount, controllerlink::kGridTx);
    const int rxCount = heldCount(in.rxCount, controllerlink::kGridRx);
    const controllerlink::Grid& raw = in.rawAverage;
    const controllerlink::Grid& ref = s.ReferenceTable;
    const bool judgeLimits = s.RAW_LOG_ONLY == 0;
    const bool gapJudged = s.GAP_LOG_ONLY == 0;
    const double calThreshold = s.CAL_THRESHOLD;
    const auto [top, right, bottom, left] = s.CALTH_IGNORELINE;
    // The first judged row starts each column's min/max (a negative ignore count judges from row 0).
    const int firstCalRow = std::max(top, 0);
    const controllerlink::Grid& cal =
        s.CAL_OLD_DATA != 0 ? (s.CALTH_NOFILTER != 0 ? in.rawAverage : in.calAverage) : in.actualAverage;
    const auto diffAt = [&](int t, int r) { return raw[t][r] - ref[t][r]; };

    for (int t = 0; t < txCount; ++t) {
        int verticalRun = 0;
        for (int r = 0; r < rxCount; ++r) {
            const double diff = diffAt(t, r);
            m.rawDiff[t][r] = diff;

            if (judgeLimits) {
                if (diff > s.UpperTable[t][r]) {
                    m.upperMap[t][r] = 1;
                    ++c.upperCount;
                    if (raw[t][r] > kShortLevel) ++out.shortCandidates;
                }
                if (s.LowerTable[t][r] > diff) {
                    m.lowerMap[t][r] = 1;
                    ++c.lowerCount;
                    // Low at both ends of a line's first or last two cells: the line is open.
                    if ((t == 1 && m.lowerMap[0][r] != 0) ||
                        (t == txCount - 1 && txCount >= 2 && m.lowerMap[txCount - 2][r] != 0))
                        ++out.rxOpen;
                    if ((r == 1 && m.lowerMap[t][0] != 0) ||
                        (r == rxCount - 1 && rxCount >= 2 && m.lowerMap[t][rxCount - 2] != 0))
                        ++out.txOpen;
                }
            }

            if (s.CAL_THRESHOLD != 0 && t >= top && t < txCount - bottom && r >= left && r < rxCount - right) {
                const double v = cal[t][r];
                if (s.CAL_DIFF != 0) {
                    if (t < txCount - 1) {
                        m.calDiff[t][r] = std::fabs(v - cal[t + 1][r]);
                        if (m.calDiff[t][r] > calThreshold) ++c.calCount;
                    }
                } else {
                    CalColumn& col = m.calColumns[r];
                    if (t == firstCalRow) {
                        col.minValue = col.maxValue = v;
                        col.minRow = col.maxRow = t;
                    } else {
                        if (col.minValue > v) col.minValue = v, col.minRow = t;
                        if (v > col.maxValue) col.maxValue = v, col.maxRow = t;
                    }
                    col.range = col.maxValue - col.minValue;
                    // Every row after the spread is exceeded counts once more.
                    if (col.range > calThreshold) {
                        col.flag = 1;
                        ++c.calCount;
                    }
                }
            }

            if (s.DB_THRESHOLD != 0 && t >= 1 && t < txCount - 1 && r >= 1 && r < rxCount - 1 &&
                in.sdSigma[t][r] > s.DB_THRESHOLD)
                ++c.dbCount;

            if (s.GAP_CHECK != 0) {
                if (r < rxCount - 1) m.gapHorizontal[t][r] = std::fabs(diff - diffAt(t, r + 1));
                if (s.GAP_VERTICAL != 0) {
                    if (t < txCount - 1) m.gapVertical[t][r] = std::fabs(diff - diffAt(t + 1, r));
                    if (gapJudged && !(t == txCount - 1 && r == rxCount - 1)) {
                        verticalRun = m.gapVertical[t][r] > s.GapVerticalTable[t][r] ? verticalRun + 1 : 0;
                        if (verticalRun >= s.GAP_COUNT) ++c.gapVerticalCount;
                    }
                }
            }
        }
    }

    // Horizontal gaps run down each Rx column, and the run carries on into the next column.
    if (gapJudged) {
        int run = 0;
        for (int r = 0; r < rxCount; ++r) {
            for (int t = 0; t < txCount; ++t) {
                run = m.gapHorizontal[t][r] > s.GapHorizontalTable[t][r] ? run + 1 : 0;
                if (run >= s.GAP_COUNT) ++c.gapHorizontalCount;
            }
        }
    }

    if (in.readFlags != 0) c.rawRetryCount = 1;
    c.rawTotal = c.gapVerticalCount + c.rawRetryCount + c.dbCount + c.calCount + c.lowerCount + c.upperCount +
                 c.gapHorizontalCount;
}

std::optional<ErrorId> rawFault(const RawJudgement& j) {
    const RawCounters& c = j.counters;
    if (c.rawTotal == 0) return std::nullopt;
    if (c.rawRetryCount >= 1) return ErrorId::RawRetry;
    if (j.shortCandidates >= 1) return ErrorId::RawTxRxShort;
    if (j.txOpen >= 1) return ErrorId::RawTxOpen;
    if (j.rxOpen >= 1) return ErrorId::RawRxOpen;
    if (c.upperCount >= 1) return ErrorId::RawUpper;
    if (c.lowerCount >= 1) return ErrorId::RawLower;
    if (c.calCount >= 1) return ErrorId::RawCal;
    if (c.dbCount >= 1) return ErrorId::RawDb;
    return std::nullopt;
}

std::optional<ErrorId> gapFault(const RawJudgement& j) {
    if (j.counters.gapHorizontalCount >= 1) return ErrorId::GapHorizontal;
    if (j.counters.gapVerticalCount >= 1) return ErrorId::GapVertical;
    return std::nullopt;
}

bool rawErrorTakesCode(ErrorId error, std::string_view colCode) {
    return error == ErrorId::RawTxRxShort || colCode == kBlankCode;
}

StepOutcome runRawJudgement(const RecipeSettings& s, const SensorFrames& frames, UiPort& ui, RawJudgement& judgement) {
    return runRawJudgement(s, RawInputs::from(frames), ui, judgement);
}

StepOutcome runRawJudgement(const RecipeSettings& s, const RawInputs& in, UiPort& ui, RawJudgement& judgement) {
    judgeRawData(s, in, judgement);
    const std::optional<ErrorId> raw = rawFault(judgement);
    const std::optional<ErrorId> gap = gapFault(judgement);
    if (judgement.counters.rawTotal == 0) {
        if (s.RAW_LOG_ONLY == 0) ui.appendMessage("Raw Data Check ... OK");
    } else if (raw) {
        ui.appendMessage(errorEntry(*raw).message);
    }
    if (gap)
        ui.appendMessage(errorEntry(*gap).message);
    else if (s.GAP_LOG_ONLY == 0)
        ui.appendMessage("Gap Data Check ... OK");

    if (judgement.counters.rawTotal == 0) return StepOutcome::pass();
    // rawTotal counts every raw and gap fault, so one of the two is named.
    return raw ? StepOutcome::ng(*raw, gap) : StepOutcome::ng(*gap);
}

}  // namespace station
