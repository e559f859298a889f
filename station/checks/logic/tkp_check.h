#pragma once
// The TKP pen check: first no pen may be near the panel, then the noise of every X and Y line of
// the active pen's sensor is measured with the pen away (one or more times), then the operator
// draws a diagonal with the TKP pen until every line has seen a strong signal. The outcome is
// tkpFlags and the per-line measurements of the check's record.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "controllerlink/line_statistics.h"
#include "station/checks/logic/check_window.h"
#include "station/sequence/check_results.h"

namespace station::checks {

enum TkpPhase : int { TkpPenRemoval = 0, TkpStartWait = 1, TkpNoise = 2, TkpSignal = 3, TkpDone = 4 };

// tkpFlags bits.
inline constexpr std::int32_t kTkpMaintenanceFailed = 0x01;
inline constexpr std::int32_t kTkpSaturationSignal = 0x02;
inline constexpr std::int32_t kTkpNoPacket = 0x04;
inline constexpr std::int32_t kTkpIncomplete = 0x08;
inline constexpr std::int32_t kTkpPenExists = 0x10;
inline constexpr std::int32_t kTkpSaturationNoise = 0x20;
inline constexpr std::int32_t kTkpNoiseOver = 0x40;
inline constexpr std::int32_t kTkpTouchExit = 0x80;

// A sample above this is taken for a saturated line.
inline constexpr std::uint16_t kTkpSaturation = 4090;
// The signal phase judges the average of the last 16 samples.
inline constexpr std::uint32_t kTkpSignalWindow = 16;

// The station's scan values: noise gain X, signal gain X, noise gain Y, signal gain Y, enable,
// blank. Set from the recipe at every load; debug edits last until the next load.
using TkpScanValues = std::array<std::uint16_t, 6>;

// The pen collection as the check drives it.
class TkpDevice {
public:
    virtual ~TkpDevice() = default;
    virtual bool startPenMaintenance() = 0;
    virtual bool setPenScan(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) = 0;
    // The same scan report as setPenScan, sent as it is (between measurements).
    virtual bool sendScanReport(std::uint8_t gainX, std::uint8_t gainY, std::uint8_t enable, std::uint8_t blank) = 0;
    virtual bool stopPenMaintenance() = 0;
    virtual void resetLineStatistics(std::uint32_t window) = 0;
    virtual void addLineReport(std::span<const std::uint8_t> report) = 0;
    virtual const controllerlink::LineStatistics& lineStatistics() const = 0;
};

// One edit of the scan setting dialog.
struct TkpScanSetting {
    int gainX = 0, gainY = 0, enable = 0, blank = 0;
};

// "TKP Scan Setting": the front end shows the values and returns the edited ones on OK,
// nothing on CANCEL.
class TkpSettingDialog {
public:
    virtual ~TkpSettingDialog() = default;
    virtual std::optional<TkpScanSetting> edit(const TkpScanSetting& current) = 0;
};

struct TkpInputs {
    std::uint32_t noiseCount = 100;
    std::int32_t noiseCheckCount = 1;
    std::int32_t noiseLimitX = 4000, noiseLimitY = 4000;
    // Per-line noise limits; 0: the axis's limit applies.
    std::array<std::int32_t, controllerlink::kStatisticsXLines> noiseLimitsX{};
    std::array<std::int32_t, controllerlink::kStatisticsYLines> noiseLimitsY{};
    std::int32_t signalLimitX = 1000, signalLimitY = 1000;
    bool averageOnly = false;
    bool judgeFirstY = false;
    bool logOnly = true;
    bool skipSignal = false;
    bool touchExitDisabled = false;
    std::int32_t startWaitMs = 0;
    bool debug = false;
    bool driverMode = false;
    // The station's scan values (never null when the window runs).
    TkpScanValues* scan = nullptr;
    // Receive the outcome; null: nothing recorded.
    std::int32_t* tkpFlags = nullptr;
    CheckResults* results = nullptr;
};

class TkpCheck final : public CheckWindowLogic {
public:
    TkpCheck(const TkpInputs& inputs, TkpDevice& device, TkpSettingDialog* dialog, InputReaders& readers,
             CheckWindowHost& host, platform::Clock& clock);
    ~TkpCheck() override;

    const TkpInputs& inputs() const { return in_; }
    int phase() const { return phase_; }
    std::int32_t flags() const { return flags_; }
    bool started() const { return started_; }
    bool finished() const { return finishFlag_; }
    bool exited() const { return exitFlag_; }
    // Milliseconds the phase timer of the pen removal or start wait has run; 0 when stopped.
    int phaseElapsedMs();
    int startWaitRemainingMs() const { return startWaitRemainingMs_; }
    // Noise measurements finished.
    int noiseCheckNo() const { return noiseCheckNo_; }
    double reportRate() const { return reportRate_; }
    const std::array<std::uint8_t, 8>& penReport() const { return penReport_; }
    bool signalSeen(std::size_t line) const { return signalSeen_.at(line); }
    const controllerlink::LineStatistics& statistics() const { return device_.lineStatistics(); }
    // The last noise measurement, per line (X at 0..71, Y at 72..117).
    const std::array<double, controllerlink::kStatisticsLines>& noiseAverage() const { return average_; }
    const std::array<double, controllerlink::kStatisticsLines>& noiseSigma() const { return sigma_; }
    const std::array<std::uint16_t, controllerlink::kStatisticsLines>& noiseMax() const { return noiseMax_; }
    // Line counts of the last noise measurement.
    int linesX() const { return linesX_; }
    int linesY() const { return linesY_; }
    // The scan values the screen shows: the noise gains before the signal phase, then the signal's.
    TkpScanSetting shownSetting() const;

private:
    bool wantsPenReader() const override { return !openFailed_; }
    // Debug mode without its maintenance session: nothing starts, the window waits for Esc.
    bool startsInput() const override { return !openFailed_; }
    void onOpening() override;
    void onOpened(bool touchReader, bool penReader) override;
    void evaluate() override;
    void handleReport(ReaderCollection from, std::span<const std::uint8_t> report) override;
    void handleRawInput(const controllerlink::RawContactRecord& record,
                        const controllerlink::RawTouchRanges& ranges) override;
    void handleKey(CheckKey key) override;
    bool closeRequested() const override { return finishFlag_ || exitFlag_; }
    void writeResults() override;

    void touched();
    void afterReport();
    void countLineReport();
    bool debugPrelude();
    void penRemoval();
    void startWait();
    void noiseStart();
    void noise();
    void noiseMeasured();
    void signal();
    // Scan values out, 10 ms for the pen to take them, statistics restarted with `window`.
    void rescan(bool signalGains, std::uint32_t window);

    int nowInMinute();
    int elapsedMs();
    int nowSeconds();

    std::uint16_t scan(std::size_t i) const { return (*in_.scan)[i]; }

    TkpInputs in_;
    TkpScanValues ownScan_{};
    TkpDevice& device_;
    TkpSettingDialog* dialog_;

    int phase_ = TkpPenRemoval;
    std::int32_t flags_ = 0;
    int timerStart_ = -1;  // milliseconds within the minute, or seconds in the noise phase
    bool penArmed_ = false;
    bool penSeen_ = false;
    int secondsWithPen_ = 0;
    std::array<bool, controllerlink::kStatisticsLines> signalSeen_{};
    bool finishFlag_ = false;
    bool exitFlag_ = false;
    bool started_ = true;
    bool openFailed_ = false;
    bool settingRequested_ = false;
    bool dialogOpen_ = false;
    int startWaitRemainingMs_ = 0;
    int noiseCheckNo_ = 0;
    std::uint32_t rateCounter_ = 0;
    std::uint64_t rateSince_ = 0;
    double reportRate_ = 0;
    std::array<std::uint8_t, 8> penReport_{};
    std::array<double, controllerlink::kStatisticsLines> average_{};
    std::array<double, controllerlink::kStatisticsLines> sigma_{};
    std::array<std::uint16_t, controllerlink::kStatisticsLines> noiseMax_{};
    int linesX_ = 0;
    int linesY_ = 0;
};

}  // namespace station::checks
