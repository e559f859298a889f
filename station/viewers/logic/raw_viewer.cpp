#include "station/viewers/logic/raw_viewer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/record_write.h"

namespace station::viewers {
namespace {

constexpr std::array<std::string_view, kRawViews> kViewLabels = {"[1.Raw]",   "[2.Average]", "[3.Sigma]", "[4.Diff]",
                                                                 "[5.Upper]", "[6.Lower]",   "[7.Error]"};

// Running averages follow a new value by a sixteenth.
constexpr double kAverageWeight = 0.0625;
// The statistics label cycles over the first four views.
constexpr int kLabelCount = 4;

constexpr const char* kIntStatistics = "< Current >\r\nmin = %d\r\nmax = %d\r\n< Total >\r\nmin = %d\r\nmax = %d\r\n";
constexpr const char* kRealStatistics =
    "< Current >\r\nmin = %.1f\r\nmax = %.1f\r\n< Total >\r\nmin = %.1f\r\nmax = %.1f\r\n";

void addWorst(WorstRecord& record, double value, int line, bool restart) {
    if (restart || record.line < 0 || value > record.value) record = {value, line};
}

}  // namespace

std::string_view rawViewLabel(RawView view) {
    const int i = static_cast<int>(view);
    return i >= 0 && i < kRawViews ? kViewLabels[static_cast<std::size_t>(i)] : std::string_view();
}

void StatisticsRecord::add(double value, int tx, int rx, bool restart) {
    if (restart) {
        currentMin = currentMax = value;
        currentMinAt = currentMaxAt = {tx, rx};
    } else if (value < currentMin) {
        currentMin = value;
        currentMinAt = {tx, rx};
    } else if (value > currentMax) {
        currentMax = value;
        currentMaxAt = {tx, rx};
    }
    if (totalMinAt.tx < 0 || value < totalMin) {
        totalMin = value;
        totalMinAt = {tx, rx};
    }
    if (totalMaxAt.tx < 0 || value > totalMax) {
        totalMax = value;
        totalMaxAt = {tx, rx};
    }
}

RawViewer::RawViewer(RawViewerInputs inputs) : in_(std::move(inputs)), tables_(std::make_unique<Tables>()) {
    rx_ = std::min<std::uint32_t>(in_.device.rxCount(), kGridRx);
    tx_ = std::min<std::uint32_t>(in_.device.txCount(), kGridTx);
    statistics_.set("< Current >\r\nmin = 0\r\nmax = 0\r\n< Total >\r\nmin = 0\r\nmax = 0\r\n");
    frameRate_.set("0");
    lastDumpPath_.reserve(in_.dumpFolder.size() + 32);
    clearTables();
    fillFromLastCheck();
}

RawViewer::~RawViewer() {
    if (readerStarted_ && in_.device.frameReaderRunning()) {
        in_.device.pauseFrameReader(false);
        in_.device.stopFrameReader();
    }
}

void RawViewer::fillFromLastCheck() {
    for (std::uint32_t t = 0; t < tx_; ++t) {
        for (std::uint32_t r = 0; r < rx_; ++r) {
            const double diff = in_.lastDiff[t][r];
            const double upperMargin = std::max(diff - upper()[t][r], 0.0);
            const double lowerMargin = std::min(diff - lower()[t][r], 0.0);
            const double errors = static_cast<double>(in_.upperMap[t][r]) + in_.lowerMap[t][r];
            const bool restart = t == 0 && r == 0;
            const int ti = static_cast<int>(t);
            const int ri = static_cast<int>(r);
            const auto put = [&](RawView v, double value) {
                grid(v)[t][r] = value;
                stat(v).add(value, ti, ri, restart);
            };
            put(RawView::Raw, in_.lastRaw[t][r]);
            put(RawView::Diff, diff);
            put(RawView::Upper, upperMargin);
            put(RawView::Lower, lowerMargin);
            put(RawView::Error, errors);
        }
    }
}

void RawViewer::clearTables() {
    for (Grid& g : tables_->grids)
        for (auto& row : g) row.fill(0.0);
    for (StatisticsRecord& s : tables_->stats) s.clear();
    tables_->noise = NoiseArrays{};
    firstFrame_ = true;
}

bool RawViewer::viewEnabled(RawView view) const {
    switch (view) {
        case RawView::Raw:
            return true;
        case RawView::Average:
        case RawView::Sigma:
            return streamed_;
        default:
            return in_.marginsAvailable;
    }
}

void RawViewer::start() {
    if (!in_.device.isOpen()) return status_.set("Error: Device is not opened.");
    if (in_.device.frameReaderRunning()) return status_.set("Error: Thread is already running.");
    if (!in_.device.setScanArea()) return status_.set("Error: Set Pointer error.");
    if (!in_.device.selectImageFrames()) return status_.set("Error: Set Format error.");
    // The scan area may have changed the counts the frames fill.
    rx_ = std::min<std::uint32_t>(in_.device.rxCount(), kGridRx);
    tx_ = std::min<std::uint32_t>(in_.device.txCount(), kGridTx);
    lastFrameUs_ = in_.ticks.microseconds();
    if (!in_.device.startFrameReader(in_.frameSink)) return status_.set("Error: cannot start Thread.");
    status_.set("Success: start Thread.");
    readerStarted_ = true;
    clearTables();
    startEnabled_ = false;
    stopEnabled_ = true;
    streamed_ = true;
    hasData_ = false;
}

void RawViewer::stop() {
    if (in_.device.frameReaderRunning()) {
        in_.device.pauseFrameReader(false);
        in_.device.stopFrameReader();
    }
    startEnabled_ = true;
    stopEnabled_ = false;
    frameRate_.set("0");
}

void RawViewer::clear() {
    hasData_ = false;
    statistics_.clear();
    clearTables();
}

void RawViewer::reloadCsv() {
    reloadMessages_.clear();
    LoadThresholdTables(in_.recipe, reloadMessages_, in_.tableAccess);
    // A table that did not load is zero from now on: the operator must see why the diff moved.
    if (!reloadMessages_.empty()) {
        status_.clear();
        for (const std::string& m : reloadMessages_) {
            if (!status_.view().empty()) status_.append("  ");
            status_.append(m);
        }
    }
    clear();
}

void RawViewer::handleFrame(std::uint32_t status, const controllerlink::ImageFrame& frame) {
    if (status != 0) return status_.format("Error: Raw data error. (CODE=%2X)\n", status);
    Tables& k = *tables_;
    const Grid& ref = reference();
    const Grid& up = upper();
    const Grid& low = lower();
    Grid& raw = k.grids[0];
    Grid& average = k.grids[1];
    Grid& sigma = k.grids[2];
    Grid& diffs = k.grids[3];
    Grid& upperMargin = k.grids[4];
    Grid& lowerMargin = k.grids[5];
    Grid& errors = k.grids[6];
    for (std::uint32_t t = 0; t < tx_; ++t) {
        for (std::uint32_t r = 0; r < rx_; ++r) {
            const double v = frame.cells[t][r];
            raw[t][r] = v;
            double& a = average[t][r];
            a = firstFrame_ ? v : a + (v - a) * kAverageWeight;
            sigma[t][r] = std::sqrt((a - v) * (a - v));
            const double diff = v - ref[t][r];
            diffs[t][r] = diff;
            if (diff > up[t][r] || diff < low[t][r]) errors[t][r] += 1.0;
            upperMargin[t][r] = std::max(upperMargin[t][r], diff - up[t][r]);
            lowerMargin[t][r] = std::min(lowerMargin[t][r], diff - low[t][r]);
            const bool restart = t == 0 && r == 0;
            for (int g = 0; g < kRawViews; ++g)
                k.stats[static_cast<std::size_t>(g)].add(k.grids[static_cast<std::size_t>(g)][t][r],
                                                         static_cast<int>(t), static_cast<int>(r), restart);
        }
    }
    NoiseArrays& n = k.noise;
    for (std::uint32_t r = 0; r < rx_; ++r) {
        // A noise sample is an energy; a negative one (a broken answer) counts as none.
        const double current = std::sqrt(std::max(0.0, static_cast<double>(frame.cells[controllerlink::kNoiseRow][r])));
        n.current[r] = current;
        n.average[r] = firstFrame_ ? current : n.average[r] + (current - n.average[r]) * kAverageWeight;
        n.worst[r] = std::max(n.worst[r], current);
        const int line = static_cast<int>(r);
        addWorst(n.currentWorst, current, line, r == 0);
        addWorst(n.totalWorst, current, line, false);
        addWorst(n.averageWorst, n.average[r], line, r == 0);
    }
    const std::uint64_t now = in_.ticks.microseconds();
    // Frames taken in the same microsecond (a backlog) tell no rate; the last one stays shown.
    if (now > lastFrameUs_) {
        const double ms = static_cast<double>(now - lastFrameUs_) / 1000.0;
        frameRate_.format("%.1f", 1000.0 / ms);
    }
    lastFrameUs_ = now;
    refreshStatisticsText();
    hasData_ = true;
    firstFrame_ = false;
}

void RawViewer::formatStatistics(StatisticsSource source, StatisticsText& text) const {
    const auto record = [this](RawView v) -> const StatisticsRecord& { return statistics(v); };
    const auto asInt = [&text](const StatisticsRecord& s) {
        text.format(kIntStatistics, wholeNumber(s.currentMin), wholeNumber(s.currentMax), wholeNumber(s.totalMin),
                    wholeNumber(s.totalMax));
    };
    const auto asReal = [&text](const StatisticsRecord& s) {
        text.format(kRealStatistics, s.currentMin, s.currentMax, s.totalMin, s.totalMax);
    };
    switch (source) {
        case StatisticsSource::Raw:
            return asInt(record(RawView::Raw));
        case StatisticsSource::Average:
            return asReal(record(RawView::Average));
        case StatisticsSource::Sigma:
            return asReal(record(RawView::Sigma));
        case StatisticsSource::Diff:
            return asReal(record(RawView::Diff));
        case StatisticsSource::Error:
            return asInt(record(RawView::Error));
        case StatisticsSource::Noise: {
            const NoiseArrays& n = noise();
            return text.format(
                "< Current >\r\nwst = %d(%d)\r\n< Total >\r\nwst = %d(%d)\r\n< Average >\r\nwst = %.1f(%d)\r\n",
                wholeNumber(n.currentWorst.value), n.currentWorst.line, wholeNumber(n.totalWorst.value),
                n.totalWorst.line, n.averageWorst.value, n.averageWorst.line);
        }
    }
}

void RawViewer::refreshStatisticsText() { formatStatistics(static_cast<StatisticsSource>(labelIndex_), statistics_); }

void RawViewer::stepLabel(int delta) {
    labelIndex_ += delta;
    if (labelIndex_ < 0) labelIndex_ = kLabelCount - 1;
    if (labelIndex_ >= kLabelCount) labelIndex_ = 0;
}

bool RawViewer::key(RawKey key, bool inRangeField) {
    switch (key) {
        case RawKey::Enter:
            // The window repaints with the fields' range; elsewhere Enter is the dialog's.
            return inRangeField;
        case RawKey::Space:
            if (hasData_) dump();
            return true;
        case RawKey::E:
            errorCross_ = !errorCross_;
            return true;
        case RawKey::R:
            clear();
            return true;
        case RawKey::S:
            if (in_.device.frameReaderRunning())
                stop();
            else
                start();
            return true;
        case RawKey::T:
            tooltipRelay_ = !tooltipRelay_;
            return true;
    }
    return false;
}

std::string RawViewer::dumpFileName(const platform::TimeOfDay& t) {
    char name[64];
    std::snprintf(name, sizeof name, "log%02d%02d%02d%02d%02d.csv", t.month, t.day, t.hour, t.minute, t.second);
    return name;
}

std::string RawViewer::dumpText() const {
    std::string out;
    out.reserve(std::size_t{96} * 1024);
    char cell[64];
    const bool marginViews = view_ == RawView::Diff || view_ == RawView::Upper || view_ == RawView::Lower;
    const RawView shown = marginViews ? RawView::Diff : view_;
    const bool whole = shown == RawView::Raw || shown == RawView::Error;
    switch (shown) {
        case RawView::Raw:
            out += "#Raw\n";
            break;
        case RawView::Average:
            out += "#Average\n";
            break;
        case RawView::Sigma:
            out += "#Sigma\n";
            break;
        case RawView::Error:
            out += "#Error\n";
            break;
        default:
            out += "#Diff\n";
            break;
    }
    const auto block = [&](const Grid& g, bool wholeValues, const char* lineEnd) {
        for (int t = 0; t < kGridTx; ++t) {
            for (int r = 0; r < kGridRx; ++r) {
                const bool inside = t < static_cast<int>(tx_) && r < static_cast<int>(rx_);
                const double v = inside ? g[static_cast<std::size_t>(t)][static_cast<std::size_t>(r)] : 0.0;
                if (!inside)
                    out += "0,";
                else if (wholeValues)
                    out += std::to_string(wholeNumber(v)) + ",";
                else {
                    std::snprintf(cell, sizeof cell, "%.2f,", v);
                    out += cell;
                }
            }
            std::snprintf(cell, sizeof cell, lineEnd, t);
            out += cell;
        }
    };
    block(table(shown), whole, "// %d\n");
    out += "\n";
    if (marginViews) {
        out += "#Upper\n";
        block(table(RawView::Upper), true, "// %d\n\n");
        out += "#Lower\n";
        block(table(RawView::Lower), true, "// %d\n");
    }
    return out;
}

bool RawViewer::dump() {
    const bool paused = in_.device.frameReaderRunning();
    if (paused) in_.device.pauseFrameReader(true);
    std::string text = dumpText();
    // Written as text on the station PCs: every line ends in CR LF.
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    const std::string name = dumpFileName(in_.clock.timeOfDay());
    const std::string path = in_.dumpFolder.empty() ? name : in_.dumpFolder + "/" + name;
    const platform::RecordWrite written = platform::replaceFileWhole(path, bytes);
    if (paused) in_.device.pauseFrameReader(false);
    if (!written) {
        // Never a success for a dump that is not on the disk.
        status_.format("Error: cannot write dump file. '%s'", name.c_str());
        return false;
    }
    lastDumpPath_ = path;
    status_.format("Success to dump file. '%s'", name.c_str());
    return true;
}

}  // namespace station::viewers
