#include "station/checks/logic/home_key_check.h"

#include <algorithm>
#include <numeric>

namespace station::checks {
namespace {

constexpr std::uint8_t kHomeKeyRawType = 2;
constexpr std::uint8_t kMaintenanceType = 1;
constexpr std::uint8_t kHomeKeyReportId = 3;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void track(std::int32_t value, std::int32_t& max, std::int32_t& min) {
    max = std::max(max, value);
    min = std::min(min, value);
}

}  // namespace

std::optional<std::int32_t> wholeMean(const std::vector<std::int32_t>& values) {
    if (values.empty()) return std::nullopt;
    const std::int64_t sum = std::accumulate(values.begin(), values.end(), std::int64_t{0});
    return static_cast<std::int32_t>(sum / static_cast<std::int64_t>(values.size()));
}

HomeKeyCheck::HomeKeyCheck(const HomeKeyInputs& inputs, InputReaders& readers, CheckWindowHost& host,
                           platform::Clock& clock)
    : CheckWindowLogic(readers, host, clock, inputs.driverMode),
      in_(inputs),
      pins_(std::clamp(inputs.pins, 0, kHomeKeyResultPins)),
      window_(std::clamp(inputs.averageWindow, 1, kRingSize)),
      pin_(static_cast<std::size_t>(pins_)) {}

HomeKeyCheck::~HomeKeyCheck() { close(); }

std::int32_t HomeKeyCheck::movingAverage(int pin) const {
    const Pin& p = pin_.at(static_cast<std::size_t>(pin));
    return p.count == 0 ? 0 : static_cast<std::int32_t>(p.sum / p.count);
}

void HomeKeyCheck::onOpening() {
    res_.hkUntouchedMax.fill(kMaxStart);
    res_.hkBaseMax.fill(kMaxStart);
    res_.hkTouchedMax.fill(kMaxStart);
    res_.hkTouchedBaseMax.fill(kMaxStart);
    res_.hkUntouchedMin.fill(kMinStart);
    res_.hkBaseMin.fill(kMinStart);
    res_.hkTouchedMin.fill(kMinStart);
    res_.hkTouchedBaseMin.fill(kMinStart);
    res_.hkGoodCount.fill(0);
    rawTypeSet_ = in_.setReportType && in_.setReportType(kHomeKeyRawType);
    if (!rawTypeSet_) {
        host().setStatus("Failed to set Homekey raw report.");
        flags_ |= kHkRawTypeRefused;
    }
}

void HomeKeyCheck::handleReport(ReaderCollection from, std::span<const std::uint8_t> report) {
    if (from != ReaderCollection::Touch || report[0] != kHomeKeyReportId || exitFlag_) return;
    if (!decode(report)) return;
    pass();
    host().requestRepaint();
}

// A report too short for every pin's base and value is dropped whole: half a report would mix
// two scans.
bool HomeKeyCheck::decode(std::span<const std::uint8_t> report) {
    const auto n = static_cast<std::size_t>(pins_);
    if (report.size() < 1 + 8 * n) return false;
    const std::int32_t threshold = in_.okCountThreshold;
    for (std::size_t i = 0; i < n; ++i) {
        Pin& p = pin_[i];
        const std::uint32_t base = le32(&report[1 + 4 * i]);
        const std::uint32_t value = le32(&report[1 + 4 * (n + i)]);
        p.base = static_cast<std::int32_t>(base);
        p.level = static_cast<std::int32_t>(base + value);
        if (p.count == window_) {
            p.sum -= p.ring[static_cast<std::size_t>(p.next)];
        } else {
            ++p.count;
        }
        p.ring[static_cast<std::size_t>(p.next)] = p.level;
        p.sum += p.level;
        p.next = (p.next + 1) % window_;
        const std::int32_t average = movingAverage(static_cast<int>(i));
        if (phase_ == HkUntouched) {
            res_.hkUntouchedAverage[i] = average;
            p.untouched.push_back(p.level);
        } else if (phase_ == HkTouch && res_.hkGoodCount[i] < threshold) {
            res_.hkTouchedLevel[i] = average;
            p.touched.push_back(p.level);
        }
    }
    processed_ = false;
    return true;
}

void HomeKeyCheck::pass() {
    const bool fresh = !processed_;
    processed_ = true;
    if (phase_ == HkDone) {
        doneFlag_ = true;
        if (!fresh) finishFlag_ = true;
        return;
    }
    // Before the end only a new report moves the check on; a tick alone changes nothing.
    if (!fresh) return;
    switch (phase_) {
        case HkSettling:
            settling();
            break;
        case HkUntouched:
            untouchedPhase();
            break;
        default:
            touchPhase();
            break;
    }
}

void HomeKeyCheck::startTimer() {
    if (!timerStart_) timerStart_ = clock().monotonicMs();
}

int HomeKeyCheck::elapsed() {
    startTimer();
    return static_cast<int>(clock().monotonicMs() - *timerStart_);
}

void HomeKeyCheck::settling() {
    if (++res_.hkGoodCount[0] < kSettlingReports) return;
    res_.hkGoodCount[0] = 0;
    timerStart_.reset();
    phase_ = in_.removeHigh.applies || in_.removeLow.applies ? HkUntouched : HkTouch;
}

void HomeKeyCheck::untouchedPhase() {
    for (std::size_t i = 0; i < pin_.size(); ++i) {
        track(pin_[i].level, res_.hkUntouchedMax[i], res_.hkUntouchedMin[i]);
        track(pin_[i].base, res_.hkBaseMax[i], res_.hkBaseMin[i]);
    }
    const int e = elapsed();
    remainingMs_ = in_.removeTimeMs - e;
    if (e <= in_.removeTimeMs) return;
    timerStart_.reset();
    remainingMs_ = -1;
    res_.hkGoodCount[0] = 0;
    phase_ = HkTouch;
    for (std::size_t i = 0; i < pin_.size(); ++i) {
        if (const auto mean = wholeMean(pin_[i].untouched)) res_.hkUntouchedAverage[i] = *mean;
        const std::int32_t average = res_.hkUntouchedAverage[i];
        if ((in_.removeHigh.applies && average > in_.removeHigh.values[i]) ||
            (in_.removeLow.applies && average < in_.removeLow.values[i]))
            flags_ |= kHkUntouchedNg;
    }
}

void HomeKeyCheck::touchPhase() {
    const std::int32_t threshold = in_.okCountThreshold;
    const bool againstUntouched = in_.removeHigh.applies || in_.removeLow.applies;
    const int e = elapsed();
    bool allGood = true;
    for (std::size_t i = 0; i < pin_.size(); ++i) {
        std::int32_t& good = res_.hkGoodCount[i];
        if (good >= threshold) continue;
        const Pin& p = pin_[i];
        const std::int32_t average = movingAverage(static_cast<int>(i));
        track(average, res_.hkTouchedMax[i], res_.hkTouchedMin[i]);
        track(p.base, res_.hkTouchedBaseMax[i], res_.hkTouchedBaseMin[i]);
        const std::int64_t reference = againstUntouched ? res_.hkUntouchedAverage[i] : p.base;
        if (in_.touch.applies && std::int64_t{average} - reference >= in_.touch.values[i]) {
            ++good;
            if (good == threshold) {
                if (const auto mean = wholeMean(p.touched)) res_.hkTouchedLevel[i] = *mean;
            }
        } else {
            good = 0;
        }
        if (good < threshold) allGood = false;
    }
    remainingMs_ = in_.limitTimeMs - e;
    if (!in_.touch.applies || allGood) {
        timerStart_.reset();
        remainingMs_ = -1;
        res_.hkGoodCount.fill(0);
        phase_ = HkDone;
        restoreMaintenance();
    }
    if (e <= in_.limitTimeMs) return;
    exitFlag_ = true;
    flags_ |= kHkTouchNg;
    restoreMaintenance();
    for (std::size_t i = 0; i < pin_.size(); ++i) {
        if (res_.hkGoodCount[i] >= threshold) continue;
        if (const auto mean = wholeMean(pin_[i].touched)) res_.hkTouchedLevel[i] = *mean;
    }
}

void HomeKeyCheck::restoreMaintenance() {
    if (maintenanceRestored_) return;
    maintenanceRestored_ = true;
    if (in_.setReportType) in_.setReportType(kMaintenanceType);
}

void HomeKeyCheck::writeResults() {
    if (!doneFlag_) {
        flags_ |= kHkNotDone;
        if (phase_ == HkUntouched) flags_ |= kHkUntouchedNg;
        if (phase_ == HkTouch) flags_ |= kHkTouchNg;
    }
    if (in_.homeKeyFlags != nullptr) *in_.homeKeyFlags |= flags_;
    if (in_.results == nullptr) return;
    CheckResults& out = *in_.results;
    out.hkUntouchedMax = res_.hkUntouchedMax;
    out.hkUntouchedMin = res_.hkUntouchedMin;
    out.hkUntouchedAverage = res_.hkUntouchedAverage;
    out.hkBaseMax = res_.hkBaseMax;
    out.hkBaseMin = res_.hkBaseMin;
    out.hkTouchedMax = res_.hkTouchedMax;
    out.hkTouchedMin = res_.hkTouchedMin;
    out.hkTouchedLevel = res_.hkTouchedLevel;
    out.hkTouchedBaseMax = res_.hkTouchedBaseMax;
    out.hkTouchedBaseMin = res_.hkTouchedBaseMin;
    out.hkGoodCount = res_.hkGoodCount;
}

}  // namespace station::checks
