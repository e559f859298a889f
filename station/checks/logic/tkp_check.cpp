#include "station/checks/logic/tkp_check.h"

#include <algorithm>

namespace station::checks {
namespace {

constexpr int kMinuteMs = 60000;
constexpr int kHourSeconds = 3600;
constexpr int kPenRemovalLimitMs = 15000;
constexpr int kNoiseLimitSeconds = 60;
constexpr std::uint32_t kScanSettleMs = 10;
constexpr std::uint32_t kOpenSettleMs = 5;
constexpr std::uint64_t kRatePeriodMs = 500;
constexpr std::size_t kFirstY = controllerlink::kStatisticsXLines;

std::uint8_t byteOf(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

}  // namespace

TkpCheck::TkpCheck(const TkpInputs& inputs, TkpDevice& device, TkpSettingDialog* dialog, InputReaders& readers,
                   CheckWindowHost& host, platform::Clock& clock)
    : CheckWindowLogic(readers, host, clock, inputs.driverMode), in_(inputs), device_(device), dialog_(dialog) {
    if (in_.scan == nullptr) in_.scan = &ownScan_;
    in_.noiseCheckCount = std::max(in_.noiseCheckCount, 1);
}

TkpCheck::~TkpCheck() { close(); }

TkpScanSetting TkpCheck::shownSetting() const {
    const bool signalGains = phase_ >= TkpSignal;
    return {scan(signalGains ? 1 : 0), scan(signalGains ? 3 : 2), scan(4), scan(5)};
}

// ---- opening and closing ----

void TkpCheck::onOpening() {
    if (in_.debug) {
        if (!device_.startPenMaintenance()) {
            host().setStatus("Failed to start Pen Maintenance Mode.");
            flags_ = kTkpMaintenanceFailed;
            // Nothing is measured: the window waits for Esc.
            openFailed_ = true;
        } else {
            clock().sleepMs(kOpenSettleMs);
            device_.setPenScan(byteOf(scan(0)), byteOf(scan(2)), byteOf(scan(4)), byteOf(scan(5)));
        }
    }
    phase_ = in_.debug ? TkpNoise : TkpPenRemoval;
    started_ = !in_.debug;
    rateSince_ = clock().monotonicMs();
}

void TkpCheck::onOpened(bool /*touchReader*/, bool /*penReader*/) {
    if (!openFailed_) device_.resetLineStatistics(in_.noiseCount);
}

void TkpCheck::writeResults() {
    if (phase_ <= TkpNoise) {
        flags_ &= ~kTkpTouchExit;
        flags_ |= kTkpIncomplete;
    }
    // A judged signal phase left before every line saw the pen failed its signal check, whether
    // by a touch, Esc or the station closing.
    if (phase_ == TkpSignal && !in_.logOnly && !finishFlag_) flags_ |= kTkpTouchExit;
    const controllerlink::LineStatistics& stats = device_.lineStatistics();
    if (in_.results != nullptr) {
        if (stats.xLines() != 0 || stats.yLines() != 0)
            for (std::size_t i = 0; i < controllerlink::kStatisticsLines; ++i)
                in_.results->tkpFinalMax[i] = stats.line(i).largest;
        in_.results->TkpGainBlock = *in_.scan;
    }
    // A pen that never left keeps its maintenance session.
    if ((flags_ & kTkpPenExists) == 0) device_.stopPenMaintenance();
    if (in_.tkpFlags != nullptr) *in_.tkpFlags = in_.debug ? 0 : flags_;
}

// ---- input ----

void TkpCheck::handleReport(ReaderCollection /*from*/, std::span<const std::uint8_t> report) {
    if (dialogOpen_) return;
    switch (report[0]) {
        case 15:
            device_.addLineReport(report);
            countLineReport();
            break;
        case 11:
            std::fill(penReport_.begin(), penReport_.end(), 0);
            std::copy_n(report.begin(), std::min(report.size(), penReport_.size()), penReport_.begin());
            if (penArmed_) penSeen_ = true;
            break;
        case 3:
            if (in_.debug) return;
            if (report.size() > 2 && report[2] != 0) touched();
            break;
        default:
            break;
    }
    afterReport();
}

void TkpCheck::handleRawInput(const controllerlink::RawContactRecord& record,
                              const controllerlink::RawTouchRanges& /*ranges*/) {
    if (dialogOpen_ || openFailed_) return;
    if (record.contactCount != 0) touched();
    evaluate();
}

void TkpCheck::touched() {
    if (in_.touchExitDisabled) return;
    if (in_.logOnly) {
        finishFlag_ = true;
    } else {
        flags_ |= kTkpTouchExit;
        exitFlag_ = true;
    }
}

void TkpCheck::afterReport() {
    evaluate();
    host().requestRepaint();
}

void TkpCheck::countLineReport() {
    ++rateCounter_;
    const std::uint64_t now = clock().monotonicMs();
    const std::uint64_t since = now - rateSince_;
    if (since >= kRatePeriodMs) {
        reportRate_ = static_cast<double>(rateCounter_) / (static_cast<double>(since) / 1000.0);
        rateCounter_ = 0;
        rateSince_ = now;
    }
}

void TkpCheck::handleKey(CheckKey key) {
    if (!in_.debug) return;
    if (key == CheckKey::G) settingRequested_ = true;
    if (key == CheckKey::S) started_ = true;
}

// ---- timers ----

int TkpCheck::nowInMinute() { return platform::millisecondsInMinute(clock().timeOfDay()); }

int TkpCheck::elapsedMs() {
    if (timerStart_ < 0) timerStart_ = nowInMinute();
    int e = nowInMinute() - timerStart_;
    if (e < 0) e += kMinuteMs;
    return e;
}

int TkpCheck::nowSeconds() {
    const platform::TimeOfDay t = clock().timeOfDay();
    return t.minute * 60 + t.second;
}

int TkpCheck::phaseElapsedMs() {
    if (timerStart_ < 0 || phase_ > TkpStartWait) return 0;
    int e = nowInMinute() - timerStart_;
    if (e < 0) e += kMinuteMs;
    return e;
}

// ---- the evaluation pass ----

void TkpCheck::evaluate() {
    if (openFailed_) return;
    if (in_.debug && !debugPrelude()) return;
    switch (phase_) {
        case TkpPenRemoval:
            penRemoval();
            break;
        case TkpStartWait:
            startWait();
            break;
        case TkpNoise:
            noise();
            break;
        case TkpSignal:
            signal();
            break;
        default:
            break;
    }
}

bool TkpCheck::debugPrelude() {
    if (settingRequested_) {
        settingRequested_ = false;
        const bool signalGains = phase_ == TkpSignal;
        std::optional<TkpScanSetting> edited;
        if (dialog_ != nullptr) {
            dialogOpen_ = true;
            edited = dialog_->edit(shownSetting());
            dialogOpen_ = false;
        }
        if (edited) {
            // They go out as bytes.
            const auto value = [](int v) { return static_cast<std::uint16_t>(std::clamp(v, 0, 255)); };
            TkpScanValues& s = *in_.scan;
            s[signalGains ? 1 : 0] = value(edited->gainX);
            s[signalGains ? 3 : 2] = value(edited->gainY);
            s[4] = value(edited->enable);
            s[5] = value(edited->blank);
            if (signalGains) rescan(true, in_.noiseCount);
        }
    }
    if (!started_) {
        timerStart_ = -1;
        device_.resetLineStatistics(in_.noiseCount);
        return false;
    }
    return true;
}

void TkpCheck::penRemoval() {
    if (timerStart_ < 0) {
        penArmed_ = true;
        penSeen_ = false;
    }
    const int e = elapsedMs();
    if (e > kPenRemovalLimitMs) {
        flags_ |= kTkpPenExists;
        exitFlag_ = true;
        timerStart_ = -1;
        secondsWithPen_ = 0;
        return;
    }
    if (e / 1000 <= secondsWithPen_) return;
    if (penSeen_) {
        // The pen is still there: one more second.
        ++secondsWithPen_;
        penSeen_ = false;
        return;
    }
    penArmed_ = false;
    secondsWithPen_ = 0;
    timerStart_ = -1;
    if (in_.startWaitMs > 0)
        phase_ = TkpStartWait;
    else
        noiseStart();
}

void TkpCheck::startWait() {
    const int e = elapsedMs();
    startWaitRemainingMs_ = std::max(in_.startWaitMs - e, 0);
    if (e > in_.startWaitMs) noiseStart();
}

void TkpCheck::noiseStart() {
    timerStart_ = -1;
    if (!device_.startPenMaintenance()) {
        host().setStatus("Failed to start Pen Maintenance Mode.");
        exitFlag_ = true;
        flags_ |= kTkpMaintenanceFailed;
        phase_ = TkpDone;
        return;
    }
    device_.setPenScan(byteOf(scan(0)), byteOf(scan(2)), byteOf(scan(4)), byteOf(scan(5)));
    device_.resetLineStatistics(in_.noiseCount);
    noiseCheckNo_ = 0;
    if (in_.results != nullptr) in_.results->tkpNoiseCheckNo = 0;
    phase_ = TkpNoise;
}

void TkpCheck::noise() {
    const int now = nowSeconds();
    if (timerStart_ < 0) timerStart_ = now;
    int e = now - timerStart_;
    if (e < 0) e += kHourSeconds;
    if (e > kNoiseLimitSeconds) {
        flags_ |= kTkpNoPacket;
        exitFlag_ = true;
        return;
    }
    if (device_.lineStatistics().complete()) noiseMeasured();
}

void TkpCheck::noiseMeasured() {
    const controllerlink::LineStatistics& stats = device_.lineStatistics();
    const controllerlink::LineStatisticsCopy copy = stats.copy();
    linesX_ = static_cast<int>(std::min<std::uint32_t>(copy.xLines, controllerlink::kStatisticsXLines));
    linesY_ = static_cast<int>(std::min<std::uint32_t>(copy.yLines, controllerlink::kStatisticsYLines));
    for (std::size_t i = 0; i < controllerlink::kStatisticsLines; ++i) {
        average_[i] = copy.averages[i];
        sigma_[i] = copy.deviations[i];
        noiseMax_[i] = stats.line(i).largest;
        if (in_.debug && noiseMax_[i] > kTkpSaturation) flags_ |= kTkpSaturationNoise;
    }
    if (in_.results != nullptr) {
        CheckResults& r = *in_.results;
        r.tkpLineCountX = static_cast<std::int32_t>(copy.xLines);
        r.tkpLineCountY = static_cast<std::int32_t>(copy.yLines);
        // One list per measurement: the X lines, then the Y lines.
        std::vector<double> averages, sigmas;
        std::vector<std::uint16_t> maxima;
        const auto take = [&](std::size_t first, int count) {
            for (std::size_t i = first; i < first + static_cast<std::size_t>(count); ++i) {
                averages.push_back(average_[i]);
                sigmas.push_back(sigma_[i]);
                maxima.push_back(noiseMax_[i]);
            }
        };
        take(0, linesX_);
        take(kFirstY, linesY_);
        r.tkpAverageHistory.push_back(std::move(averages));
        r.tkpSigmaHistory.push_back(std::move(sigmas));
        r.tkpMaxHistory.push_back(std::move(maxima));
    }
    if (!in_.logOnly) {
        const auto figure = [&](std::size_t i) {
            return in_.averageOnly ? average_[i] : average_[i] + 3.0 * sigma_[i];
        };
        for (std::size_t i = 0; i < static_cast<std::size_t>(linesX_); ++i) {
            const std::int32_t own = in_.noiseLimitsX[i];
            if (figure(i) > (own != 0 ? own : in_.noiseLimitX)) flags_ |= kTkpNoiseOver;
        }
        // The first Y line sits under the panel's edge: judged only on request.
        for (std::size_t j = in_.judgeFirstY ? 0 : 1; j < static_cast<std::size_t>(linesY_); ++j) {
            const std::int32_t own = in_.noiseLimitsY[j];
            if (figure(kFirstY + j) > (own != 0 ? own : in_.noiseLimitY)) flags_ |= kTkpNoiseOver;
        }
    }
    signalSeen_.fill(false);

    timerStart_ = -1;
    ++noiseCheckNo_;
    if (in_.results != nullptr) in_.results->tkpNoiseCheckNo = noiseCheckNo_;
    if (noiseCheckNo_ < in_.noiseCheckCount) {
        rescan(false, in_.noiseCount);
    } else if (!in_.skipSignal) {
        rescan(true, kTkpSignalWindow);
        phase_ = TkpSignal;
    } else {
        phase_ = TkpDone;
        finishFlag_ = true;
    }
}

void TkpCheck::signal() {
    const controllerlink::LineStatistics& stats = device_.lineStatistics();
    const auto lineIndex = [&](int n) {
        return n < linesX_ ? static_cast<std::size_t>(n) : kFirstY + static_cast<std::size_t>(n - linesX_);
    };
    const int lines = linesX_ + linesY_;
    for (int n = 0; n < lines; ++n)
        if (stats.line(lineIndex(n)).largest > kTkpSaturation) flags_ |= kTkpSaturationSignal;
    if (in_.logOnly || lines == 0) return;
    bool all = true;
    for (int n = 0; n < lines; ++n) {
        const std::size_t i = lineIndex(n);
        const std::int32_t limit = n < linesX_ ? in_.signalLimitX : in_.signalLimitY;
        if (stats.line(i).average > static_cast<float>(limit)) signalSeen_[i] = true;
        all = all && signalSeen_[i];
    }
    if (all) finishFlag_ = true;
}

void TkpCheck::rescan(bool signalGains, std::uint32_t window) {
    device_.sendScanReport(byteOf(scan(signalGains ? 1 : 0)), byteOf(scan(signalGains ? 3 : 2)), byteOf(scan(4)),
                           byteOf(scan(5)));
    clock().sleepMs(kScanSettleMs);
    device_.resetLineStatistics(window);
}

}  // namespace station::checks
