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

// The part of `list` from `first`, at most `count` long; empty past the list's end.
template <typename T>
std::span<const T> slice(const std::vector<T>& list, std::size_t first, std::size_t count) {
    if (first >= list.size()) return {};
    return std::span<const T>(list).subspan(first, std::min(count, list.size() - first));
}

template <typename T>
const std::vector<T>& entryOrEmpty(const std::vector<std::vector<T>>& history, std::size_t n) {
    static const std::vector<T> kEmpty;
    return n < history.size() ? history[n] : kEmpty;
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
    const auto& average = entryOrEmpty(results.tkpAverageHistory, measurement);
    const auto& sigma = entryOrEmpty(results.tkpSigmaHistory, measurement);
    const auto nx = static_cast<std::size_t>(results.linesX());
    const auto ny = static_cast<std::size_t>(results.linesY());
    return tkpNoiseMaxima(slice(average, 0, nx), slice(sigma, 0, nx), slice(average, nx, ny), slice(sigma, nx, ny),
                          figure);
}

TkpNoiseMaxima tkpLastNoiseMaxima(const CheckResults& results, TkpNoiseFigure figure) {
    const std::size_t measurements = results.tkpAverageHistory.size();
    if (measurements == 0) return {};
    return tkpNoiseMaxima(results, measurements - 1, figure);
}

}  // namespace station
