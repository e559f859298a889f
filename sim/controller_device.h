#pragma once
// The virtual touch controller running its main firmware: touch and pen collections of
// generation R5 or R6 (plain, or the driver-mode pair whose reports travel in the 1024-byte
// wrapper), the maintenance command set on report 9 with its register image, calibration
// table and frames computed from a PanelModel, the pen query, pen direct reads and the Hsync
// MCU tunnel. On "Enter UBL." ([2, 2] on report 2) it hands over to its bootloader (F11:
// re-enumerates as product 0x0094; F09: answers on the same collection), which programs the
// flash and restarts the main firmware with the written image's version. Everything a scenario
// can set is in ControllerConfig.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "sim/bootloader.h"
#include "sim/flash_model.h"
#include "sim/operator.h"
#include "sim/panel_model.h"
#include "sim/virtual_device.h"

namespace sim {

enum class Generation : std::uint8_t { R5, R6 };
enum class HsyncMcu : std::uint8_t { None, Present, OldFirmware };

// An exchange the device refuses, so a test can fail exactly one step of the host's sequence.
struct RefusedExchange {
    bool set = true;                   // a set whose plain report starts with `prefix`; false: a
                                       // get whose answer (report id first) starts with it
    std::vector<std::uint8_t> prefix;  // at least the report id
    std::uint32_t times = 0;           // refuse this many matches, then answer again; 0: all
};

struct ControllerConfig {
    Generation generation = Generation::R6;
    std::uint16_t touchUsage = 0x11;  // 0x11, 0x0B for the driver-mode pair (pen 0x0A), 0x01 (R5: short frames)
    std::uint16_t usagePage = 0;      // 0: by generation; 0xFF00 for an F09 wrapped collection
    std::uint16_t vendorId = 0;       // 0: VID_PRIMARY
    std::uint16_t productId = 0;      // 0: 0x0A52 (R6) / 0x0952 (R5)
    std::uint16_t version = 0x0100;

    std::uint16_t touchFirmwareMajor = 0x0120;
    std::uint8_t touchFirmwareMinor = 3;
    std::uint16_t penMaxX = 0x3FFF;
    std::uint16_t penMaxY = 0x2FFF;
    std::uint16_t penMaxPressure = 0x0FFF;
    std::uint16_t penFirmware = 0x12;  // R6: one byte (byte 8); R5: 16 bits
    // Bytes 2..11 of the version answer; byte 4 holds the touch report format flags, byte 5
    // the contact slots per touch report.
    std::array<std::uint8_t, 10> maintenanceVersion = {0x02, 0x10, 0x00, 0x00, 0x00, 0x05, 0, 0, 0, 0};
    std::uint16_t registerWord41 = 0x482E;  // power-on Rx/Tx counts
    std::uint16_t touchMaxX = 0x11C0;
    std::uint16_t touchMaxY = 0x0B40;
    std::uint8_t rowsPerRecordFrame = 8;

    std::uint32_t resetDelayMs = 300;
    // A touch report type the station sets (again or anew) is sent this long after the set (bus
    // clock); until then the touches go out as normal reports (in driver mode: the digitizer's).
    std::uint32_t reportTypeDelayMs = 0;
    bool stuckInNormalMode = false;  // [2, 1] is accepted but the firmware never leaves normal mode
    // Register word 45 shows the touch scan running (bit 0) this long after power-on or the
    // last calibration; negative: never.
    std::int64_t touchScanAfterMs = 0;

    HsyncMcu hsync = HsyncMcu::Present;
    std::uint16_t hsyncProductId = 0x0A31;
    std::uint16_t hsyncVersion = 0x0102;
    std::uint16_t hsyncSample = 0x0100;  // as the station reads it (after its byte swap)
    std::int16_t hsyncNoise = 0;
    // When given, successive signal / noise requests answer these in turn, then from the first again.
    std::vector<std::uint16_t> hsyncSampleCycle;
    std::vector<std::int16_t> hsyncNoiseCycle;
    std::uint32_t hsyncNak = 0;            // the next N requests are answered "not acknowledged"
    std::uint32_t hsyncAnswerDelayMs = 0;  // until each tunnel state turns ready, host clock
    bool hsyncSignal = true;               // bit 0 of the last 0x501C direct value
    // What the outside programmer of the MCU ends with: 0 takes the image's version, any other
    // value is its failure code and leaves the MCU as it was.
    std::uint32_t hsyncProgramExit = 0;

    PanelConfig panel;
    std::uint32_t zeroFrames = 0;    // the next N frames read all zero
    std::uint32_t breakEcho = 0;     // the next N report 9 answers carry a wrong type nibble
    std::uint32_t breakIndices = 0;  // the next N frame answers carry a wrong Rx index
    std::vector<RefusedExchange> refuse;

    BootloaderConfig bootloader;

    // Live input. The home key: N sensing pins, each reporting a base and a value (its level is
    // their sum); touching the key raises the value. The TKP pen's line reports: every line's
    // sample is its noise level plus the pen's signal on the lines under it.
    std::uint32_t homeKeyPins = 4;     // 1..7 (a raw report holds 1 + 8 N bytes)
    std::uint32_t homeKeyBase = 1000;  // base value of every pin
    std::uint32_t homeKeyLevel = 100;  // value of an untouched pin
    double homeKeyNoise = 2.0;         // sigma of a value's noise (a base's is half of it)
    // A pin (from 0) that rises by only homeKeyWeakPercent of the touch; -1: none.
    int homeKeyWeakPin = -1;
    std::uint32_t homeKeyWeakPercent = 25;
    std::uint16_t tkpNoise = 40;     // level of a line without the pen
    double tkpNoiseSigma = 10.0;     // and its noise
    std::uint16_t tkpSignal = 2500;  // added on the line under the TKP pen, fading over 2.5 lines
    bool tkpLineReports = true;      // false: pen maintenance sends no line reports (a dead TKP sensor)
    std::int32_t tkpNoisyX = -1;     // an X line (0..71) whose level is raised by tkpNoisyLevel; -1 none
    std::uint16_t tkpNoisyLevel = 4000;
    std::uint32_t streamPeriodMs = 10;  // one scan of every stream per period
    OperatorScript operatorScript;      // the person at the station
};

// Maintenance touch reports: bytes of one contact slot for the format flags (byte 4 of the
// version answer), and the slots one report carries for the announced count (byte 5), held to
// what fits in a report (inside the driver-mode wrapper too).
std::size_t maintenanceSlotBytes(std::uint8_t format);
std::size_t maintenanceSlotsPerReport(std::uint8_t format, std::uint8_t slots);

// Product id a generation reports when the scenario gives none.
std::uint16_t defaultProductId(Generation g);

class ControllerDevice final : public VirtualDevice {
public:
    static constexpr std::size_t kTouchInterface = 0;
    static constexpr std::size_t kPenInterface = 1;
    // Driver mode only: the system's digitizer collection (touch screen) the driver reads.
    static constexpr std::size_t kDigitizerInterface = 2;
    static constexpr std::uint8_t kDigitizerReportId = 1;
    static constexpr std::size_t kDigitizerSlots = 5;
    // The vendor input reports (plain, and inside the driver-mode wrapper [15, report…]).
    static constexpr std::size_t kInputLength = 64;
    static constexpr std::size_t kWrapperLength = 1024;
    static constexpr std::size_t kRegisterBytes = 92;
    static constexpr std::size_t kCalibrationWords = 660;
    static constexpr std::size_t kXLutWord = 110;
    static constexpr std::size_t kYLutWord = 182;

    explicit ControllerDevice(ControllerConfig config);
    ControllerDevice(const ControllerDevice&) = delete;
    ControllerDevice& operator=(const ControllerDevice&) = delete;

    const ControllerConfig& config() const { return config_; }
    bool driverMode() const { return config_.touchUsage == 0x0B; }
    std::uint16_t usagePage() const;
    std::uint16_t penUsage() const;

    // Faults a test or the scripted operator requests while the device runs.
    void breakEcho(std::uint32_t answers);
    void breakIndices(std::uint32_t answers);
    void zeroFrames(std::uint32_t frames);
    void refuseExchange(RefusedExchange rule);
    void clearRefusals();
    // The operator acts now (vorlick-sim ctl operator, tests).
    void operate(const ActionList& actions);

    // Inspection for tests.
    std::uint8_t mode() const;
    // The report types the host set: touch (report 3), pen, and the driver's home key mode.
    std::uint8_t reportType() const;
    std::uint8_t penReportType() const;
    std::uint8_t driverHomeKeyMode() const;
    std::array<std::uint8_t, kRegisterBytes> registers() const;
    std::uint32_t resets() const;
    BootloaderKind bootloaderKind() const;
    bool inBootloader() const;
    std::uint16_t bootloaderProductId() const;
    std::uint8_t bootloaderSecurity() const;
    bool updateConfirmed() const;

    UsbIdentity usbIdentity() const override;
    std::size_t interfaceCount() const override;
    std::vector<std::uint8_t> reportDescriptor(std::size_t iface) const override;
    long getFeature(std::size_t iface, std::span<std::uint8_t> report) override;
    bool setFeature(std::size_t iface, std::span<const std::uint8_t> report) override;
    std::optional<FlashSnapshot> flash() const override;
    std::optional<std::uint32_t> programHsync(std::uint16_t version) override;
    void powerCycle() override;
    void advance(std::uint64_t nowMs) override;
    void opened(std::size_t iface) override;

private:
    using Outbox = std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>>;

    enum class Firmware : std::uint8_t { Main, Bootloader };
    enum class TunnelPhase : std::uint8_t { Idle, Taken, Ack, Data, Done };

    void powerOn();
    BootloaderShape bootloaderShape() const;
    UsbIdentity mainIdentity() const;
    // The bootloader leaves: the main firmware when the flash holds one, else the bootloader
    // again. Caller holds the lock and re-enumerates afterwards.
    void restartLocked();
    std::uint16_t word(std::size_t index) const;
    void setWord(std::size_t index, std::uint16_t value);
    int rxCount() const;
    int txCount() const;

    // A set while the main firmware runs: unwraps driver-mode reports and hands them on.
    bool setMainFirmware(std::size_t iface, std::span<const std::uint8_t> report, bool& resetNow);
    // Plain (unwrapped) reports; the wrapper is taken off before these see them.
    bool setTouch(std::span<const std::uint8_t> r, bool& resetNow);
    bool setPen(std::span<const std::uint8_t> r);
    bool command(std::span<const std::uint8_t> r);
    bool writeBlock(std::span<const std::uint8_t> r);
    bool setTunnel(std::span<const std::uint8_t> r);
    std::vector<std::uint8_t> answerTouch(std::uint8_t id);
    std::vector<std::uint8_t> answerPen(std::uint8_t id);
    std::vector<std::uint8_t> answerMaintenance();
    void fillFrameAnswer(std::vector<std::uint8_t>& a);
    void fillImageStream(std::vector<std::uint8_t>& a);
    void fillAreaStream(std::vector<std::uint8_t>& a);
    void fillRecordStream(std::vector<std::uint8_t>& a);
    void fillColumnStream(std::vector<std::uint8_t>& a);
    // The actual-data frame with the operator's fingers on it.
    std::vector<std::int16_t> touchedFrame(int rxN, int txN);
    std::vector<std::uint8_t> answerTunnel();
    // Live input: one scan of every stream at `t`, into `out`.
    void notify(OperatorEvent event);
    // Every exchange of the main firmware, in order; `touchQuery`: the touch query was read.
    void noteExchange(bool touchQuery);
    ConditionStates states() const;
    void scan(std::uint64_t t, Outbox& out);
    std::uint8_t reportTypeSentAt(std::uint64_t t) const { return t >= reportTypeFrom_ ? reportType_ : 0; }
    void postVendor(Outbox& out, std::size_t iface, std::vector<std::uint8_t> report) const;
    void touchReports(const OperatorInput& in, Outbox& out);
    void digitizerReports(const OperatorInput& in, Outbox& out);
    void homeKeyReport(const OperatorInput& in, Outbox& out);
    void penReport(const OperatorInput& in, Outbox& out);
    void lineReports(const OperatorInput& in, Outbox& out);
    std::uint16_t touchX(double f) const;
    std::uint16_t touchY(double f) const;
    std::vector<std::uint8_t> answerDirect() const;
    std::uint64_t nowMs();
    // True when a rule refuses this exchange (and counts it).
    bool refused(bool set, std::span<const std::uint8_t> plain);

    ControllerConfig config_;
    mutable std::mutex mutex_;
    PanelModel panel_;

    // Power-on state.
    std::uint8_t mode_ = 0;
    std::uint8_t reportType_ = 0;
    std::uint64_t reportTypeFrom_ = 0;  // reportType_ is sent from then on, normal reports before
    std::uint8_t homeKeyMode_ = 0;
    std::uint8_t penReportType_ = 0;
    std::uint8_t responseType_ = 0x10;
    std::array<std::uint8_t, kRegisterBytes> registers_{};
    std::vector<std::uint16_t> calibration_;
    bool autoCalibration_ = true;
    std::uint8_t block6_ = 0;
    std::uint16_t pinWaitTime_ = 0;
    std::uint16_t pinThreshold_ = 0;
    std::array<std::uint8_t, 4> scanArea_{};
    std::uint64_t calibratedAt_ = 0;
    bool penMaintenance_ = false;
    // Bit 0 of register word 45 as the firmware reports it: scanning since power-on; a new
    // register image stops the scan until the next calibration starts it again.
    bool scanning_ = true;
    std::array<std::uint8_t, 62> directPayload_{};

    // Answer cursors of the selected response type.
    std::size_t registerPart_ = 0;
    std::size_t calibrationWord_ = 0;
    std::size_t frameCell_ = 0;
    std::vector<std::int16_t> frame_;
    std::size_t streamCell_ = 0;
    std::vector<std::int16_t> streamFrame_;
    // Area frames: the rectangles of the set being sent (first Rx, first Tx, last Rx, last Tx),
    // the area and cell being sent, and the frame they are cut from.
    std::vector<std::array<int, 4>> areas_;
    std::size_t areaIndex_ = 0;
    std::size_t areaCell_ = 0;
    std::vector<std::int16_t> areaFrame_;
    // Record and column frames: sequence number, record or row, column; their frame.
    std::uint32_t recordSequence_ = 0;
    std::uint32_t recordIndex_ = 0;
    std::uint32_t columnSequence_ = 0;
    std::uint32_t columnRow_ = 0;
    std::vector<std::int16_t> recordFrame_;

    // Hsync MCU tunnel.
    TunnelPhase tunnel_ = TunnelPhase::Idle;
    bool tunnelNak_ = false;
    std::uint16_t tunnelCommand_ = 0;
    std::uint64_t tunnelReadyAt_ = 0;
    std::uint16_t tunnelSample_ = 0;  // the signal / noise value of the request taken last
    std::int16_t tunnelNoise_ = 0;
    std::size_t sampleTurn_ = 0;
    std::size_t noiseTurn_ = 0;
    std::uint32_t hsyncNak_ = 0;

    // Report id the last wrapped set addressed, per interface (see getFeature).
    std::array<std::uint8_t, 2> lastWrappedId_{};

    std::uint32_t zeroFrames_ = 0;
    std::uint32_t breakEcho_ = 0;
    std::uint32_t breakIndices_ = 0;
    std::uint32_t resets_ = 0;

    // What runs, and what the host enumerated (an F09 bootloader takes over in place).
    Firmware running_ = Firmware::Main;
    Firmware presented_ = Firmware::Main;
    bool enterBootloader_ = false;  // set by "Enter UBL." inside a report handler
    FlashModel flash_;
    std::unique_ptr<Bootloader> bootloader_;
    std::vector<RefusedExchange> refusals_;

    // Live input.
    Operator operator_;
    bool ticking_ = false;
    std::uint64_t lastTick_ = 0;
    std::uint16_t scanTime_ = 0;  // 100 µs units, as the firmware counts its scans
    std::vector<FingerContact> lastFingers_;
    std::vector<FingerContact> lastDigitizerFingers_;
    bool penInRange_ = false;
    PenInput lastPen_;
    std::uint64_t noiseState_ = 1;
    // The external switch dialog's looks: the touch node was opened and nothing exchanged since;
    // the last exchange was a look (the touch query on a fresh open, in maintenance mode).
    bool touchFresh_ = false;
    bool lastLook_ = false;
};

}  // namespace sim
