#include "station/sequence/check_results.h"

namespace station {

namespace {

// The part of measurement `n`'s list that belongs to lines first .. first+count−1, cut where the
// data ends.
template <typename T>
std::span<const T> linesOf(const std::vector<std::vector<T>>& history, std::size_t n, int first, int count) {
    if (n >= history.size()) return {};
    const std::vector<T>& list = history[n];
    const auto from = static_cast<std::size_t>(first);
    if (from >= list.size()) return {};
    return std::span<const T>(list).subspan(from, std::min(static_cast<std::size_t>(count), list.size() - from));
}

}  // namespace

std::size_t CheckResults::tkpMeasurements() const {
    return std::max({tkpAverageHistory.size(), tkpSigmaHistory.size(), tkpMaxHistory.size()});
}

TkpAxisLines CheckResults::tkpLines(std::size_t n, TkpAxis axis) const {
    // The Y lines follow the X lines in every list.
    const int first = axis == TkpAxis::X ? 0 : linesX();
    const int count = lines(axis);
    return {linesOf(tkpAverageHistory, n, first, count), linesOf(tkpSigmaHistory, n, first, count),
            linesOf(tkpMaxHistory, n, first, count)};
}

}  // namespace station
