#pragma once
// The home key check: the controller sends its home key raw reports (per sensing pin a base and
// a value, the level being their sum); the key is first measured untouched, then the operator
// touches and holds it until every pin has risen enough for enough reports in a row. The result
// bits go to homeKeyFlags, the per-pin measurements to the check's results.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "station/checks/logic/check_window.h"
#include "station/checks/logic/drawing_geometry.h"
#include "station/sequence/check_results.h"

namespace station::checks {

// 0 settling, 1 untouched, 2 touch, 3 done.
enum HomeKeyPhase : int { HkSettling = 0, HkUntouched = 1, HkTouch = 2, HkDone = 3 };

// homeKeyFlags bits.
inline constexpr std::int32_t kHkRawTypeRefused = 0x01;
inline constexpr std::int32_t kHkUntouchedNg = 0x02;
inline constexpr std::int32_t kHkTouchNg = 0x04;
inline constexpr std::int32_t kHkNotDone = 0x08;

// Per pin: a limit list, applied only when the recipe gave exactly one value per pin.
struct HomeKeyLimits {
    bool applies = false;
    std::array<std::int32_t, kHomeKeyResultPins> values{};
};

struct HomeKeyInputs {
    Surface surface;
    bool driverMode = false;
    int pins = 4;
    HomeKeyLimits removeHigh, removeLow, touch;
    std::int32_t removeTimeMs = 1000;
    std::int32_t limitTimeMs = 5000;
    std::int32_t averageWindow = 16;
    std::int32_t okCountThreshold = 16;
    // Report 3 of the touch collection with the report type byte (2 home key raw, 1 maintenance).
    std::function<bool(std::uint8_t)> setReportType;
    // Written on close; null: nothing is recorded.
    std::int32_t* homeKeyFlags = nullptr;
    CheckResults* results = nullptr;
};

class HomeKeyCheck final : public CheckWindowLogic {
public:
    // Reports the phase counts before the untouched measurement starts.
    static constexpr int kSettlingReports = 100;
    // Samples the moving average holds; a larger window is held to it.
    static constexpr int kRingSize = 16;
    static constexpr std::int32_t kMaxStart = -268435455;
    static constexpr std::int32_t kMinStart = 268435455;

    HomeKeyCheck(const HomeKeyInputs& inputs, InputReaders& readers, CheckWindowHost& host, platform::Clock& clock);
    ~HomeKeyCheck() override;

    const HomeKeyInputs& inputs() const { return in_; }
    int pins() const { return pins_; }
    int phase() const { return phase_; }
    std::int32_t flags() const { return flags_; }
    // What the window would write now (the close bits included when it closed).
    const CheckResults& results() const { return res_; }
    // Milliseconds left of the running phase; -1 when none is running.
    int remainingMs() const { return remainingMs_; }
    bool doneFlag() const { return doneFlag_; }
    bool finishFlag() const { return finishFlag_; }
    bool exitFlag() const { return exitFlag_; }
    bool rawTypeSet() const { return rawTypeSet_; }
    // The moving average of a pin's level, and the last report's level and base.
    std::int32_t movingAverage(int pin) const;
    std::int32_t level(int pin) const { return pin_.at(static_cast<std::size_t>(pin)).level; }
    std::int32_t base(int pin) const { return pin_.at(static_cast<std::size_t>(pin)).base; }

private:
    struct Pin {
        std::int32_t level = 0;
        std::int32_t base = 0;
        std::array<std::int32_t, kRingSize> ring{};
        int next = 0;
        int count = 0;
        std::int64_t sum = 0;
        std::vector<std::int32_t> untouched, touched;
    };

    bool wantsPenReader() const override { return true; }
    void onOpening() override;
    bool startsInput() const override { return rawTypeSet_; }
    void evaluate() override { pass(); }
    void handleReport(ReaderCollection from, std::span<const std::uint8_t> report) override;
    bool closeRequested() const override { return finishFlag_ || exitFlag_; }
    void writeResults() override;

    bool decode(std::span<const std::uint8_t> report);
    void pass();
    void settling();
    void untouchedPhase();
    void touchPhase();
    void restoreMaintenance();
    void startTimer();
    int elapsed();

    HomeKeyInputs in_;
    int pins_ = 0;
    int window_ = 16;
    std::vector<Pin> pin_;
    CheckResults res_;
    std::int32_t flags_ = 0;
    int phase_ = HkSettling;
    std::optional<std::uint64_t> timerStart_;
    int remainingMs_ = -1;
    bool processed_ = true;
    bool doneFlag_ = false;
    bool finishFlag_ = false;
    bool exitFlag_ = false;
    bool rawTypeSet_ = false;
    bool maintenanceRestored_ = false;
};

// The mean of a list as a whole number; nullopt for an empty list.
std::optional<std::int32_t> wholeMean(const std::vector<std::int32_t>& values);

}  // namespace station::checks
