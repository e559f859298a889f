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
#include <span>

#include "controllerlink/collection_choice.h"
#include "controllerlink/device_link_base.h"
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

// readFlags bits: the read of that kind ran out of retries.
enum ReadFlag : std::uint32_t { RawOutOfRetries = 1, CalOutOfRetries = 2, ActualOutOfRetries = 4, SdOutOfRetries = 8 };

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
    bool calibrationControl(std::uint8_t action);
    bool selectResponse(std::uint8_t high, std::uint8_t low);
    bool writeRegisters();
    bool writeBlock6();
    bool runPinCheck(std::uint16_t waitTime, std::uint16_t threshold);
    bool writeXLut(std::span<const std::uint16_t, kGridRx> items);
    bool writeYLut(std::span<const std::uint16_t, kGridTx> items);
    bool setScanArea();
    bool readRegisters();
    bool readMaintenanceVersion();
    bool readCalibrationTable();
    bool readRawAverage(std::uint32_t frames, std::uint32_t retryLimit, int floorMode);
    bool readCalAverage(std::uint32_t frames, std::uint32_t retryLimit, int floorMode);
    bool readActualAverage(std::uint32_t frames, std::uint32_t retryLimit, bool useCalF);
    bool readStandardDeviation(std::uint32_t frames, std::uint32_t retryLimit, int floorMode);
    bool readTouchQuery();

    bool readPenQuery(ControllerGeneration generation);
    bool setPenReportType(std::uint8_t value);
    bool startPenMaintenance();
    bool setPenScan(std::uint8_t a, std::uint8_t b, std::uint8_t low, std::uint8_t high);
    bool stopPenMaintenance();
    bool penDirectTransfer(std::span<std::uint8_t, kPenDirectPayload> payload);
    bool readHsyncDirect();

    // What the command set read. Plain fields: the station's parts read them directly.
    std::uint8_t responseType = 16;
    std::array<std::uint8_t, kRegisterBytes> registers{};
    // Bounded by the grid whatever register word 41 claims (all ones means "unknown").
    std::uint32_t rxCount = kGridRx;
    std::uint32_t txCount = kGridTx;
    std::array<std::uint8_t, 10> maintenanceVersion{};
    std::uint32_t extraInfo0 = 0;
    std::uint32_t touchMaxX = 0;
    std::uint32_t touchMaxY = 0;
    std::uint32_t autoCalibration = 1;
    std::uint32_t frameWord46 = 0;
    std::uint32_t rowsPerRecordFrame = 0;
    std::uint32_t extraInfo51 = 0;
    std::array<PinResult, kGridRx> rxPins{};
    std::array<PinResult, kTxPins> txPins{};
    std::array<std::uint32_t, 4> pinFaultCounters{};
    std::array<std::uint32_t, 4> scanArea{};
    std::array<std::uint16_t, kCalibrationWords> calibrationTable{};
    Grid rawAverage{};
    Grid calAverage{};
    Grid sdMean{};
    Grid sdSigma{};
    Grid actualAverage{};
    std::uint32_t readFlags = 0;
    std::uint32_t rawRetries = 0;
    std::uint32_t calRetries = 0;
    std::uint32_t actualRetries = 0;
    std::uint32_t sdRetries = 0;
    std::array<std::uint8_t, 13> touchQuery{};
    std::uint16_t touchFirmwareMajor = 0;
    std::uint8_t touchFirmwareMinor = 0;
    std::uint32_t penMaxX = 0;
    std::uint32_t penMaxY = 0;
    std::uint32_t penMaxPressure = 0;
    std::uint32_t penFirmware = 0;
    std::array<std::uint32_t, 12> hsyncDirect{};

protected:
    // The pen line statistics (input readers) are cleared when pen maintenance stops.
    virtual void clearPenStatistics() {}

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
    bool averagedRead(FrameKind kind, std::uint32_t frames, std::uint32_t retryLimit, int floorMode, bool useCalF);
    // Reads one frame and adds it to sums (and squares to sumsSquared when given).
    bool readFrame(std::uint8_t typeNibble, std::size_t rxLines, std::size_t txLines, Grid& sums, Grid* sumsSquared,
                   bool& leadingZeros);

    platform::Clock& clock_;
    const std::atomic<bool>* abortFlag_ = nullptr;
    bool maintenanceModeSet_ = false;
};

}  // namespace station
