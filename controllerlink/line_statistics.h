#pragma once
// Statistics of the active pen's line reports (report 15 of the pen collection): for every
// sensor line the last N samples and their sum, sum of squares, largest sample, average,
// variance and standard deviation. X lines are kept at 0..71, Y lines at 72..117. The windows
// are made once by reset(); a report only updates them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace controllerlink {

inline constexpr std::size_t kStatisticsXLines = 72;
inline constexpr std::size_t kStatisticsYLines = 46;
inline constexpr std::size_t kStatisticsLines = kStatisticsXLines + kStatisticsYLines;
// Only the first 40 bytes of a line report are read: at most 18 samples.
inline constexpr std::size_t kLineReportBytes = 40;
// The largest window a check may ask for (the checks use 16 and a few dozen).
inline constexpr std::uint32_t kMaxLineWindow = 4096;

struct LineRecord {
    // 64 bits: a window of a few hundred strong samples already overflows 32 bits of squares,
    // and a wrapped sum would give a plainly wrong deviation.
    std::uint64_t sum = 0;
    std::uint64_t sumSquares = 0;
    std::uint16_t largest = 0;
    float average = 0.0F;
    float variance = 0.0F;
    float deviation = 0.0F;
};

struct LineStatisticsCopy {
    std::array<float, kStatisticsLines> averages{};
    std::array<float, kStatisticsLines> deviations{};
    std::uint32_t xLines = 0;
    std::uint32_t yLines = 0;
};

class LineStatistics {
public:
    // Clears every line and both counts and collects with window N from now on. N = 0 stops
    // collecting (a window of no samples has no average). False, and nothing collected, for a
    // window above kMaxLineWindow.
    bool reset(std::uint32_t window);
    bool collecting() const { return window_ != 0; }
    std::uint32_t window() const { return window_; }

    // One line report, report id first. False when nothing is collected or the report is too
    // short to say which lines it carries; samples past the axis's line count, past the sensor
    // or past the first 40 bytes are not used.
    bool addLineReport(std::span<const std::uint8_t> report);
    // Both counts announced and every announced line holds a whole window.
    bool complete() const;
    LineStatisticsCopy copy() const;

    std::uint32_t xLines() const { return xLines_; }
    std::uint32_t yLines() const { return yLines_; }
    const LineRecord& line(std::size_t index) const { return records_.at(index); }
    // How many samples line `index` holds now (at most the window).
    std::uint32_t held(std::size_t index) const { return counts_.at(index); }

private:
    void add(std::size_t index, std::uint16_t sample);

    std::uint32_t window_ = 0;
    std::uint32_t xLines_ = 0;
    std::uint32_t yLines_ = 0;
    std::array<LineRecord, kStatisticsLines> records_{};
    std::array<std::uint32_t, kStatisticsLines> counts_{};
    std::array<std::uint32_t, kStatisticsLines> oldest_{};
    // kStatisticsLines rings of window_ samples each, made by reset().
    std::vector<std::uint16_t> rings_;
};

}  // namespace controllerlink
