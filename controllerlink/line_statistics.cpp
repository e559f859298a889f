#include "controllerlink/line_statistics.h"

#include <algorithm>
#include <cmath>

namespace controllerlink {

bool LineStatistics::reset(std::uint32_t window) {
    records_.fill(LineRecord{});
    counts_.fill(0);
    oldest_.fill(0);
    xLines_ = 0;
    yLines_ = 0;
    if (window > kMaxLineWindow) {
        window_ = 0;
        rings_.clear();
        return false;
    }
    window_ = window;
    rings_.assign(static_cast<std::size_t>(window) * kStatisticsLines, 0);
    return true;
}

bool LineStatistics::addLineReport(std::span<const std::uint8_t> report) {
    if (!collecting() || report.size() < 4) return false;
    const std::span<const std::uint8_t> r = report.first(std::min(report.size(), kLineReportBytes));
    const bool yAxis = (r[3] & 0x80) != 0;
    const std::uint32_t lines = r[1];
    (yAxis ? yLines_ : xLines_) = lines;
    const std::size_t sensorLines = yAxis ? kStatisticsYLines : kStatisticsXLines;
    const std::size_t base = yAxis ? kStatisticsXLines : 0;
    const std::size_t samples = r[3] & 0x1F;
    for (std::size_t j = 0; j < samples; ++j) {
        const std::size_t l = r[2] + j;
        if (l == lines || l >= sensorLines) break;
        const std::size_t at = 4 + 2 * j;
        if (at + 2 > r.size()) break;
        add(base + l, static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)));
    }
    return true;
}

void LineStatistics::add(std::size_t index, std::uint16_t sample) {
    LineRecord& rec = records_[index];
    std::uint16_t* ring = rings_.data() + index * window_;
    const std::uint64_t square = static_cast<std::uint64_t>(sample) * sample;
    std::uint32_t& count = counts_[index];
    std::uint32_t& oldest = oldest_[index];
    if (count == window_) {
        // The window is full: the oldest sample leaves as the new one comes.
        const std::uint16_t gone = ring[oldest];
        rec.sum -= gone;
        rec.sumSquares -= static_cast<std::uint64_t>(gone) * gone;
        ring[oldest] = sample;
        oldest = (oldest + 1) % window_;
    } else {
        ring[(oldest + count) % window_] = sample;
        ++count;
    }
    rec.sum += sample;
    rec.sumSquares += square;
    rec.largest = std::max(rec.largest, sample);
    const auto n = static_cast<float>(count);
    rec.average = static_cast<float>(rec.sum) / n;
    rec.variance = static_cast<float>(rec.sumSquares) / n - rec.average * rec.average;
    rec.deviation = rec.variance > 0.0F ? std::sqrt(rec.variance) : 0.0F;
}

bool LineStatistics::complete() const {
    if (xLines_ == 0 || yLines_ == 0 || window_ == 0) return false;
    for (std::size_t l = 0; l < std::min<std::size_t>(xLines_, kStatisticsXLines); ++l)
        if (counts_[l] < window_) return false;
    for (std::size_t l = 0; l < std::min<std::size_t>(yLines_, kStatisticsYLines); ++l)
        if (counts_[kStatisticsXLines + l] < window_) return false;
    return true;
}

LineStatisticsCopy LineStatistics::copy() const {
    LineStatisticsCopy out;
    for (std::size_t i = 0; i < kStatisticsLines; ++i) {
        out.averages[i] = records_[i].average;
        out.deviations[i] = records_[i].deviation;
    }
    out.xLines = xLines_;
    out.yLines = yLines_;
    return out;
}

}  // namespace controllerlink
