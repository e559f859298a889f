#pragma once
// The controller's maintenance command set, on top of one collection's link. Touch operations
// go to this object's key; pen operations always address the pen collection (PEN_KEY), and
// are called on the pen DeviceLink. Every operation blocks for its transfers and its pacing
// sleeps and returns true on success. The first refused transfer or unexpected answer fails
// the operation (lastError() says which and why); what was already copied stays.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "controllerlink/collection_choice.h"
#include "controllerlink/device_link_base.h"
#include "controllerlink/frame_reader.h"
#include "controllerlink/line_statistics.h"
#include "controllerlink/raw_input.h"
#include "controllerlink/sensor_grid.h"
#include "platform/clock.h"

namespace station {

using controllerlink::ControllerGeneration;
using controllerlink::Grid;
using controllerlink::kGridRx;
using controllerlink::kGridTx;

inline constexpr std::size_t kTxPins = 48;
inline constexpr std::size_t kRegisterBytes = 92;
inline constexpr std::size_t kCalibrationWords = 660;
inline constexpr std::size_t kMaintenanceReportLength = 64;
inline constexpr std::size_t kPenDirectPayload = 62;

struct PinResult {
    std::uint32_t state = 0;  // 2 good, 3 faulty, 0 never checked
    std::uint32_t vddFault = 0;
    std::uint32_t gndFault = 0;
};

enum PinFaultCounter : std::size_t { RxVdd = 0, RxGnd = 1, TxVdd = 2, TxGnd = 3 };

// Read flag bits (SensorFrames::readFlags): the read of that kind ran out of retries.
enum ReadFlag : std::uint32_t { RawOutOfRetries = 1, CalOutOfRetries = 2, ActualOutOfRetries = 4, SdOutOfRetries = 8 };

// The pin check: every pin's state and faults, and the faults counted by kind (PinFaultCounter).
struct PinCheck {
    std::array<PinResult, kGridRx> rxPins{};
    std::array<PinResult, kTxPins> txPins{};
    std::array<std::uint32_t, 4> faultCounters{};
};

// One averaged read. complete is false after a refused exchange or an unexpected answer; the
// cells then hold the sums so far. A read whose frames were not scanned in time ends complete
// but outOfRetries, averaged over the frames it counted.
struct AveragedFrame {
    bool complete = false;
    Grid average{};
    std::uint32_t retries = 0;  // frames thrown away as not yet scanned
    bool outOfRetries = false;
};

// The standard deviation read: each cell's mean and standard deviation over the frames.
struct DeviationFrame {
    bool complete = false;
    Grid mean{};
    Grid sigma{};
    std::uint32_t retries = 0;
    bool outOfRetries = false;
};

// The touch collection's query answer: its 13 bytes, and the firmware version in them.
struct TouchQuery {
    std::array<std::uint8_t, 13> bytes{};
    std::uint16_t firmwareMajor = 0;
    std::uint8_t firmwareMinor = 0;
};

// The pen collection's query answer.
struct PenQuery {
    std::uint32_t maxX = 0;
    std::uint32_t maxY = 0;
    std::uint32_t maxPressure = 0;
    std::uint32_t firmware = 0;  // 0: no EMR pen
};

using RegisterImage = std::array<std::uint8_t, kRegisterBytes>;

// What the register read brings beside the image.
struct RegisterReadout {
    std::uint32_t extraInfo0 = 0;
    std::uint32_t touchMaxX = 0;
    std::uint32_t touchMaxY = 0;
    std::uint32_t autoCalibration = 1;  // calibrationControl keeps it up to date
    std::uint32_t frameWord46 = 0;
    std::uint32_t rowsPerRecordFrame = 0;
    std::uint32_t extraInfo51 = 0;
    // Bounded by the grid whatever register word 41 claims (all ones means "unknown").
    std::uint32_t rxCount = kGridRx;
    std::uint32_t txCount = kGridTx;
};

// Bytes 2..11 of the version answer: byte 4 holds the touch report format flags, byte 5 the
// contact slots per touch report.
using MaintenanceVersion = std::array<std::uint8_t, 10>;

// What a calibration table read brought: `received` words from the start, once the request
// went out (`asked`).
struct CalibrationTable {
    std::array<std::uint16_t, kCalibrationWords> words{};
    std::size_t received = 0;
    bool asked = false;
    bool complete() const { return received == kCalibrationWords; }
};

// The Hsync signal's registers read through the pen's direct transfer (word 8 bit 0: enabled).
using HsyncDirectWords = std::array<std::uint32_t, 12>;

class DeviceLink : public controllerlink::DeviceLinkBase {
public:
    DeviceLink(hidlink::DeviceTable& table, int key, platform::Clock& clock);

    platform::Clock& clock() { return clock_; }

    // A flag another thread sets to cut the station's work short (the operator insists on
    // stopping): from then on every transfer fails at once instead of waiting for a controller
    // that answers slowly. Null: never.
    void setAbortFlag(const std::atomic<bool>* flag) { abortFlag_ = flag; }
    bool abortRequested() const { return abortFlag_ != nullptr && abortFlag_->load(); }
    // True (with lastError() set) when a transfer must not start because of the abort flag.
    bool refuseAborted();

    // Register words (little-endian, 46 of them) of the image.
    std::uint16_t registerWord(std::size_t index) const;
    void setRegisterWord(std::size_t index, std::uint16_t value);

    // Report 2: device mode (1 maintenance, 0 normal, 0xFF reset).
    bool readDeviceMode(std::uint8_t& mode);
    bool setDeviceMode(std::uint8_t mode);
    // The last mode this link set was maintenance: the controller still waits to be put back
    // (also after the link was closed).
    bool maintenanceModeSet() const { return maintenanceModeSet_; }

    bool setReportType(std::uint8_t value);
    // A driver-mode (usage 0x0B) collection: the home key check mode entered or left through
    // the digitizer driver, the 2-byte report 3 ([3, 4] / [3, 0]).
    bool setDriverHomeKeyMode(bool on);
    bool calibrationControl(std::uint8_t action);
    bool selectResponse(std::uint8_t high, std::uint8_t low);
    bool writeRegisters();
    bool writeBlock6();
    std::optional<PinCheck> runPinCheck(std::uint16_t waitTime, std::uint16_t threshold);
    // Every fault bit of every pin check this link read, by kind (PinFaultCounter); never
    // cleared, so a fault once seen stays told to the pin check viewer.
    const std::array<std::uint32_t, 4>& pinFaultCounters() const { return pinFaultCounters_; }
    bool writeXLut(std::span<const std::uint16_t, kGridRx> items);
    bool writeYLut(std::span<const std::uint16_t, kGridTx> items);
    bool setScanArea();
    bool readRegisters();
    std::optional<MaintenanceVersion> readMaintenanceVersion();
    // The table as far as it arrived.
    CalibrationTable readCalibrationTable();
    AveragedFrame readRawAverage(std::uint32_t frames, std::uint32_t retryLimit, int floorMode);
    AveragedFrame readCalAverage(std::uint32_t frames, std::uint32_t retryLimit, int floorMode);
    AveragedFrame readActualAverage(std::uint32_t frames, std::uint32_t retryLimit, bool useCalF);
    DeviationFrame readStandardDeviation(std::uint32_t frames, std::uint32_t retryLimit, int floorMode);
    std::optional<TouchQuery> readTouchQuery();

    std::optional<PenQuery> readPenQuery(ControllerGeneration generation);
    bool setPenReportType(std::uint8_t value);
    bool startPenMaintenance();
    bool setPenScan(std::uint8_t a, std::uint8_t b, std::uint8_t low, std::uint8_t high);
    // The same scan report, without the pause after it: the TKP check waits on its own.
    bool sendPenScanReport(std::uint8_t a, std::uint8_t b, std::uint8_t low, std::uint8_t high);
    bool stopPenMaintenance();
    bool penDirectTransfer(std::span<std::uint8_t, kPenDirectPayload> payload);
    std::optional<HsyncDirectWords> readHsyncDirect();

    // The maintenance session: the response type selected, the register image last read or to
    // be written (the averaged reads set its scan words 12 and 17) and what the register read
    // brought beside it.
    std::uint8_t responseType() const { return responseType_; }
    const RegisterImage& registers() const { return registers_; }
    void setRegisters(const RegisterImage& image) { registers_ = image; }
    void setRegisterByte(std::size_t index, std::uint8_t value) { registers_.at(index) = value; }
    const RegisterReadout& readout() const { return readout_; }
    std::uint32_t rxCount() const { return readout_.rxCount; }
    std::uint32_t txCount() const { return readout_.txCount; }
    std::uint32_t rowsPerRecordFrame() const { return readout_.rowsPerRecordFrame; }
    // Line counts as another register image would announce them (tests, the fuzzer); held to the grid.
    void setLineCounts(std::uint32_t rx, std::uint32_t tx);
    // First Rx, first Tx, last Rx, last Tx of the area the last setScanArea asked for.
    const std::array<std::uint32_t, 4>& scanArea() const { return scanArea_; }

    // The frame reader of the raw data viewer, on this (touch) link: polls the maintenance
    // answer and hands each assembled frame to `sink`, on the reader's thread. Its geometry is
    // the scan area last set and the register read's counts. False when one runs already or
    // the link is not open. close() stops it.
    bool startFrameReader(controllerlink::FrameSink& sink);
    bool frameReaderRunning() const { return frameReader_ != nullptr && frameReader_->running(); }
    // While paused the reader only sleeps; the owner may change the scan area meanwhile and
    // hand the new geometry on.
    void pauseFrameReader(bool paused);
    void updateFrameGeometry();
    controllerlink::FrameGeometry frameGeometry() const;
    void stopFrameReader() override;

    // Driver mode: a report of the system's digitizer collection (`digitizer` its capabilities)
    // into `record`; the touch coordinate ranges it shows are kept on this link.
    bool parseRawInput(const hidlink::TopCollection& digitizer, std::span<const std::uint8_t> report,
                       controllerlink::RawContactRecord& record) {
        return controllerlink::parseRawInput(digitizer, report, record, rawRanges_);
    }
    const controllerlink::RawTouchRanges& rawTouchRanges() const { return rawRanges_; }

    // The TKP pen's line statistics, fed with the pen collection's line reports (report 15) by
    // the check that reads them; pen maintenance stopping clears them and ends the collection.
    bool resetLineStatistics(std::uint32_t window) { return lineStatistics_.reset(window); }
    bool addLineReport(std::span<const std::uint8_t> report) { return lineStatistics_.addLineReport(report); }
    bool lineStatisticsComplete() const { return lineStatistics_.complete(); }
    controllerlink::LineStatisticsCopy copyLineStatistics() const { return lineStatistics_.copy(); }
    const controllerlink::LineStatistics& lineStatistics() const { return lineStatistics_; }

private:
    enum class FrameKind { Raw, Cal, Actual, Sd };
    using Report = std::array<std::uint8_t, kMaintenanceReportLength>;

    bool send(int key, std::span<const std::uint8_t> report);
    bool command(const Report& report) { return send(key(), report); }
    bool writeLut(std::uint8_t block, std::span<const std::uint16_t> items);
    bool maintenanceAnswer(Report& answer);
    // Gets report `reportId` of buffer.size() bytes from the collection under key `k`.
    bool get(std::uint8_t reportId, std::span<std::uint8_t> buffer, int k);
    // Records a maintenance answer of the wrong type or part; always false.
    bool unexpected(const Report& answer, std::uint8_t type, std::uint32_t part);
    // Sums into `result` (and squares into `squares` for the standard deviation), then averages.
    bool averagedRead(FrameKind kind, std::uint32_t frames, std::uint32_t retryLimit, int floorMode, bool useCalF,
                      Grid& result, Grid* squares, std::uint32_t& retries, bool& outOfRetries);
    // Reads one frame and adds it to sums (and squares to sumsSquared when given).
    bool readFrame(std::uint8_t typeNibble, std::size_t rxLines, std::size_t txLines, Grid& sums, Grid* sumsSquared,
                   bool& leadingZeros);

    platform::Clock& clock_;
    const std::atomic<bool>* abortFlag_ = nullptr;
    std::uint8_t responseType_ = 16;
    RegisterImage registers_{};
    RegisterReadout readout_;
    std::array<std::uint32_t, 4> scanArea_{};
    controllerlink::LineStatistics lineStatistics_;
    controllerlink::RawTouchRanges rawRanges_;
    std::unique_ptr<controllerlink::FrameReader> frameReader_;
    std::array<std::uint32_t, 4> pinFaultCounters_{};
    bool maintenanceModeSet_ = false;
};

}  // namespace station
