#include "station/sequence/tkp_noise_maxima.h"

#include <algorithm>

namespace station {

namespace {

std::optional<TkpLineMaximum> axisMaximum(std::span<const double> average, std::span<const double> sigma,
                                          std::size_t firstLine, TkpNoiseFigure figure) {
    std::size_t usable = average.size();
    if (!figure.averageOnly) usable = std::min(usable, sigma.size());
    std::optional<TkpLineMaximum> best;
    for (std::size_t i = firstLine; i < usable; ++i) {
        const double v = tkpNoiseValue(average[i], figure.averageOnly ? 0.0 : sigma[i], figure);
        if (!best || v > best->value) best = TkpLineMaximum{static_cast<int>(i), v};
    }
    return best;
}

}  // namespace

double tkpNoiseValue(double average, double sigma, TkpNoiseFigure figure) {
    return figure.averageOnly ? average : 3.0 * sigma + average;
}

TkpNoiseMaxima tkpNoiseMaxima(std::span<const double> xAverage, std::span<const double> xSigma,
                              std::span<const double> yAverage, std::span<const double> ySigma, TkpNoiseFigure figure) {
    return {axisMaximum(xAverage, xSigma, 0, figure),
            axisMaximum(yAverage, ySigma, figure.firstYLineJudged ? 0 : 1, figure)};
}

TkpNoiseMaxima tkpNoiseMaxima(const CheckResults& results, std::size_t measurement, TkpNoiseFigure figure) {
    const TkpAxisLines x = results.tkpLines(measurement, TkpAxis::X);
    const TkpAxisLines y = results.tkpLines(measurement, TkpAxis::Y);
    return tkpNoiseMaxima(x.average, x.sigma, y.average, y.sigma, figure);
}

TkpNoiseMaxima tkpLastNoiseMaxima(const CheckResults& results, TkpNoiseFigure figure) {
    const std::size_t measurements = results.tkpMeasurements();
    if (measurements == 0) return {};
    return tkpNoiseMaxima(results, measurements - 1, figure);
}

}  // namespace station
