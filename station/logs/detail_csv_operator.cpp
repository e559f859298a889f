#include "station/logs/detail_csv_operator.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "station/sequence/tkp_noise_maxima.h"

namespace station {

namespace {

// printf-style append; sized by a first pass, so a long real never truncates.
template <typename... Args>
void appendFormat(std::string& out, const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) return;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n) + 1);
    std::snprintf(out.data() + at, static_cast<std::size_t>(n) + 1, format, args...);
    out.resize(at + static_cast<std::size_t>(n));
}

constexpr std::int32_t kTkpDeviceError = 0x01;
constexpr std::int32_t kTkpSignalSaturation = 0x02;
constexpr std::int32_t kTkpNoPacket = 0x04;
constexpr std::int32_t kTkpIncomplete = 0x08;
constexpr std::int32_t kTkpPenExist = 0x10;
constexpr std::int32_t kTkpNoiseSaturation = 0x20;
// Any of these means no complete noise measurement to show.
constexpr std::int32_t kTkpNotMeasured = kTkpDeviceError | kTkpNoPacket | kTkpIncomplete | kTkpPenExist;

struct FlagLine {
    std::int32_t bit;
    const char* text;
};

constexpr FlagLine kTkpFlagLines[] = {
    {0x01, "Device connection error.\n"},
    {0x02, "Saturation occurred (Signal check).\n"},
    {0x04, "Noise check Timeout error.\n"},
    {0x08, "Noise check incomplete.\n"},
    {0x10, "Initialize Timeout error (Pen Exist)."},  // the record has no line break here
    {0x20, "Saturation occurred (Noise check).\n"},
    {0x40, "NG : Noise level check.\n"},
    {0x80, "NG : Signal level check.\n"},
};

// One axis's table of one noise measurement. A line past the end of a list (a short list)
// gets an empty cell, so every row keeps its columns under the line numbers.
struct TkpTable {
    const char* title;  // "X - Lines" / "Y - Lines"
    int lineCount;
    TkpAxisLines noise;
    std::span<const std::uint16_t> finalMax;
    std::uint16_t noiseGain;
    std::uint16_t signalGain;
};

void appendRepeatedRow(std::string& out, const char* title, int count, int value) {
    out += title;
    for (int i = 0; i < count; ++i) appendFormat(out, ",%d", value);
    out += '\n';
}

template <typename T>
void appendListRow(std::string& out, const char* title, int count, std::span<const T> values, const char* cell) {
    out += title;
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (at < values.size())
            appendFormat(out, cell, values[at]);
        else
            out += ',';
    }
    out += '\n';
}

void appendTkpTable(std::string& out, const TkpTable& a, bool withSignal) {
    out += a.title;
    for (int i = 0; i < a.lineCount; ++i) appendFormat(out, ",%d", i);
    out += '\n';
    if (a.noiseGain != 0) appendRepeatedRow(out, "Gain(Noise-level)", a.lineCount, a.noiseGain);
    const TkpAxisLines& m = a.noise;
    appendListRow(out, "Noise Average", a.lineCount, m.average, ",%f");
    appendListRow(out, "Standard Deviation", a.lineCount, m.sigma, ",%f");
    appendListRow(out, "Noise Peak Level", a.lineCount, m.peak, ",%d");
    // This row shows average + 3·sigma whatever figure the check judged.
    std::vector<double> figure;
    for (std::size_t i = 0; i < std::min(m.average.size(), m.sigma.size()); ++i)
        figure.push_back(tkpNoiseValue(m.average[i], m.sigma[i], TkpNoiseFigure{}));
    appendListRow(out, "Average + 3 * sigma", a.lineCount, std::span<const double>(figure), ",%f");
    if (withSignal) {
        appendRepeatedRow(out, "Gain(Pen-signal)", a.lineCount, a.signalGain);
        appendListRow(out, "Signal Peak Level", a.lineCount, a.finalMax, ",%d");
    }
}

void appendMaximumLine(std::string& out, char axis, const std::optional<TkpLineMaximum>& m) {
    if (m)
        appendFormat(out, "%c,%02d,value,%f\n", axis, m->line, m->value);
    else
        appendFormat(out, "%c,,value,\n", axis);  // no line has a figure on this axis
}

void appendTkpMeasurements(std::string& out, const RecipeSettings& r, const CheckResults& res) {
    const TkpNoiseFigure figure = TkpNoiseFigure::from(r);
    const int nx = res.linesX();
    const int ny = res.linesY();
    const std::size_t measurements = res.tkpMeasurements();
    const std::span<const std::uint16_t> finalMax(res.tkpFinalMax);
    const auto& gain = res.TkpGainBlock;

    if (figure.averageOnly) out += "Check without 3 * sigma (only average value)\n";
    for (std::size_t n = 0; n < measurements; ++n) {
        appendFormat(out, "No.%d\n", static_cast<int>(n + 1));
        out += figure.averageOnly ? "Average MAX\n" : "Average + 3 * sigma MAX\n";
        const TkpNoiseMaxima maxima = tkpNoiseMaxima(res, n, figure);
        appendMaximumLine(out, 'X', maxima.x);
        appendMaximumLine(out, 'Y', maxima.y);
        out += '\n';

        const bool withSignal = n + 1 == measurements && r.SKIP_TKP_SIGNAL == 0;
        appendTkpTable(out,
                       {"X - Lines", nx, res.tkpLines(n, TkpAxis::X), finalMax.subspan(0, static_cast<std::size_t>(nx)),
                        gain[0], gain[1]},
                       withSignal);
        out += '\n';
        appendTkpTable(out,
                       {"Y - Lines", ny, res.tkpLines(n, TkpAxis::Y),
                        finalMax.subspan(kTkpFirstY, static_cast<std::size_t>(ny)), gain[2], gain[3]},
                       withSignal);
        out += "\n\n";
    }
}

// Pin counts are clamped to kHomeKeyMaxPins, which every per-pin list holds.
static_assert(kHomeKeyResultPins >= kHomeKeyMaxPins);
static_assert(std::tuple_size_v<decltype(HomeKeyList::values)> >= kHomeKeyMaxPins);

void appendHomeKeyRow(std::string& out, const char* title, int pins, std::span<const std::int32_t> values) {
    appendListRow(out, title, pins, values, ",%d");
}

}  // namespace

void appendTkpSection(std::string& out, const RecipeSettings& r, const CheckRecord& check, bool failedSoFar) {
    out += ">>>>> TKP Pen Check <<<<<\n";
    if (r.TKP_CHECK == 0 || failedSoFar) {
        out += "NA\n\n";
        return;
    }
    const std::int32_t f = check.detail.tkpFlags;
    if (r.TKP_LOG_ONLY == 0) {
        // Saturation alone does not fail a judged check.
        out += (f & ~(kTkpSignalSaturation | kTkpNoiseSaturation)) != 0 ? "NG\n\n" : "PASS\n\n";
        appendFormat(out, "noise check count,%d\n\n", check.results.tkpNoiseCheckNo);
    } else {
        out += "No judge (logging only)\n\n";
    }
    if (f != 0) {
        for (const FlagLine& l : kTkpFlagLines)
            if ((f & l.bit) != 0) out += l.text;
        out += '\n';
    }
    if ((f & kTkpNotMeasured) == 0) appendTkpMeasurements(out, r, check.results);
    if (r.TKP_DBG != 0)
        appendFormat(out, "Enable,%d,,Blank,%d\n\n", check.results.TkpGainBlock[4], check.results.TkpGainBlock[5]);
}

void appendHomeKeySection(std::string& out, const RecipeSettings& r, const CheckRecord& check, bool failedSoFar) {
    if (r.HOMEKEY_CHECK == 0) return;
    const CheckResults& res = check.results;
    // A recipe with more pins than the lists hold does not load; never read past them anyway.
    const int pins = std::clamp<int>(r.HK_NUM_PIN, 0, kHomeKeyMaxPins);
    const bool untouched = r.hkRemoveEnabled || r.hkRemoveLowEnabled;

    out += ">>>>> Home Key Check <<<<<\n";
    out += "Thresholds\n";
    out += "Pin No.";
    for (int i = 0; i < pins; ++i) appendFormat(out, ",%d", i);
    out += '\n';
    if (r.hkRemoveEnabled) appendHomeKeyRow(out, "untouched upper threshold", pins, r.HK_REMOVE.values);
    if (r.hkRemoveLowEnabled) appendHomeKeyRow(out, "untouched lower threshold", pins, r.HK_REMOVE_LOW.values);
    if (r.hkTouchEnabled) appendHomeKeyRow(out, "touched lower threshold", pins, r.HK_TOUCH.values);
    appendFormat(out, "average window size,%d\n", r.HK_AVE_WINDOW);
    if (untouched) appendFormat(out, "removed check time [ms],%d\n", r.HK_REMOVE_TIME);
    if (r.hkTouchEnabled) appendFormat(out, "ok count required, %d\n", r.HK_OK_COUNT_THRESHOLD);

    if (failedSoFar) {
        out += "NA\n\n";
        return;
    }
    const std::int32_t f = check.detail.homeKeyFlags;
    if (f == 0) {
        out += "PASS\n\n";
    } else {
        if ((f & 0x01) != 0) out += "Device connection error.\n";
        if ((f & 0x02) != 0)
            out += "NG : removed touch level error.\n";
        else if ((f & 0x04) != 0)
            out += "NG : touched level error.\n";
        out += '\n';
    }
    out += "#Min/Max move average\n";
    out += "Pin No.";
    for (int i = 0; i < pins; ++i) appendFormat(out, ",%d", i);
    out += '\n';
    if (untouched) {
        appendHomeKeyRow(out, "Removed Max", pins, res.hkUntouchedMax);
        appendHomeKeyRow(out, "Removed Min", pins, res.hkUntouchedMin);
        appendHomeKeyRow(out, "Removed Ave", pins, res.hkUntouchedAverage);
        appendHomeKeyRow(out, "Calib Removed Max", pins, res.hkBaseMax);
        appendHomeKeyRow(out, "Calib Removed Min", pins, res.hkBaseMin);
    }
    if (r.hkTouchEnabled) {
        appendHomeKeyRow(out, "Touched Max", pins, res.hkTouchedMax);
        appendHomeKeyRow(out, "Touched Min", pins, res.hkTouchedMin);
        appendHomeKeyRow(out, "Touched Ave", pins, res.hkTouchedLevel);
        appendHomeKeyRow(out, "Calib Touched Max", pins, res.hkTouchedBaseMax);
        appendHomeKeyRow(out, "Calib Touched Min", pins, res.hkTouchedBaseMin);
        appendHomeKeyRow(out, "Touched OK count", pins, res.hkGoodCount);
    }
}

}  // namespace station
