#pragma once
// The TKP noise figure's largest line per axis, as the verdict message and the detail CSV show
// it: average + 3·sigma per line (the average alone with TKP_CHECK_ONLY_AVE); the first Y line
// takes part only with TKP_TMP_LMT_OFF, as it is judged only then.
#include <cstddef>
#include <optional>
#include <span>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_results.h"

namespace station {

struct TkpLineMaximum {
    int line = 0;  // line number within its axis
    double value = 0.0;
};

// Empty on an axis where no line has a figure (no lines, or only the unjudged first Y line).
struct TkpNoiseMaxima {
    std::optional<TkpLineMaximum> x;
    std::optional<TkpLineMaximum> y;
};

struct TkpNoiseFigure {
    bool averageOnly = false;       // TKP_CHECK_ONLY_AVE
    bool firstYLineJudged = false;  // TKP_TMP_LMT_OFF

    static TkpNoiseFigure from(const RecipeSettings& r) { return {r.TKP_CHECK_ONLY_AVE != 0, r.TKP_TMP_LMT_OFF != 0}; }
};

// The figure of one line (average + 3·sigma, or the average alone).
double tkpNoiseValue(double average, double sigma, TkpNoiseFigure figure);

// Per axis, lines 0 .. size−1 of the given lists. A line lacking its average (or, when sigma
// counts, its sigma) takes no part; on equal figures the lower line wins.
TkpNoiseMaxima tkpNoiseMaxima(std::span<const double> xAverage, std::span<const double> xSigma,
                              std::span<const double> yAverage, std::span<const double> ySigma, TkpNoiseFigure figure);

// Measurement `measurement` (from 0) of the TKP check's history, split at the X line count.
TkpNoiseMaxima tkpNoiseMaxima(const CheckResults& results, std::size_t measurement, TkpNoiseFigure figure);

// The last noise measurement's maxima: what the verdict's noise-maximum lines show. Empty on
// both axes when nothing was measured.
TkpNoiseMaxima tkpLastNoiseMaxima(const CheckResults& results, TkpNoiseFigure figure);

}  // namespace station
