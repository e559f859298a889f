#include "station/device/device_link.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "controllerlink/feature_transfer.h"
#include "controllerlink/vendor_ids.h"

namespace station {
namespace {

constexpr std::uint8_t kMaintenanceReport = 9;
constexpr std::uint32_t kSetPauseMs = 5;
constexpr std::uint32_t kRegisterWritePauseMs = 10;
constexpr std::size_t kSamplesPerAnswer = 30;
constexpr std::size_t kPenControlLength = 66;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void putLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

DeviceLink::DeviceLink(hidlink::DeviceTable& table, int key, platform::Clock& clock)
    : DeviceLinkBase(table, key), clock_(clock) {}

std::uint16_t DeviceLink::registerWord(std::size_t index) const {
    if (index >= kRegisterBytes / 2) return 0;
    return le16(&registers_[index * 2]);
}

void DeviceLink::setRegisterWord(std::size_t index, std::uint16_t value) {
    if (index >= kRegisterBytes / 2) return;
    putLe16(&registers_[index * 2], value);
}

bool DeviceLink::refuseAborted() {
    if (!abortRequested()) return false;
    setLastError("the transfer was not made: the work was aborted by a stop signal");
    return true;
}

bool DeviceLink::send(int k, std::span<const std::uint8_t> report) {
    if (refuseAborted()) return false;
    if (!controllerlink::setFeature(table(), report.size(), report, k)) return noteTransferFailure(k), false;
    clock_.sleepMs(kSetPauseMs);
    return true;
}

bool DeviceLink::maintenanceAnswer(Report& answer) {
    if (refuseAborted()) return false;
    if (controllerlink::getFeature(table(), kMaintenanceReport, answer.size(), answer, key())) return true;
    noteTransferFailure(key());
    return false;
}

bool DeviceLink::unexpected(const Report& answer, std::uint8_t type, std::uint32_t part) {
    char text[128];
    std::snprintf(text, sizeof text, "unexpected maintenance answer: type 0x%X part %u/%u (wanted type 0x%X part %u)",
                  static_cast<unsigned>(answer[1] & 0x0F), static_cast<unsigned>(answer[2]),
                  static_cast<unsigned>(answer[3]), static_cast<unsigned>(type), static_cast<unsigned>(part));
    setLastError(text);
    return false;
}

bool DeviceLink::get(std::uint8_t reportId, std::span<std::uint8_t> buffer, int k) {
    if (refuseAborted()) return false;
    if (controllerlink::getFeature(table(), reportId, buffer.size(), buffer, k)) return true;
    noteTransferFailure(k);
    return false;
}

bool DeviceLink::readDeviceMode(std::uint8_t& mode) {
    std::array<std::uint8_t, 2> r{};
    if (!get(2, r, key())) return false;
    mode = r[1];
    return true;
}

bool DeviceLink::setDeviceMode(std::uint8_t mode) {
    const std::array<std::uint8_t, 2> r{2, mode};
    if (!send(key(), r)) return false;
    maintenanceModeSet_ = mode == 1;
    return true;
}

bool DeviceLink::setReportType(std::uint8_t value) {
    Report r{};
    r[0] = 3;
    r[1] = value;
    return command(r);
}

bool DeviceLink::setDriverHomeKeyMode(bool on) {
    const std::array<std::uint8_t, 2> r{3, static_cast<std::uint8_t>(on ? 4 : 0)};
    return send(key(), r);
}

bool DeviceLink::calibrationControl(std::uint8_t action) {
    Report r{};
    r[0] = kMaintenanceReport;
    r[1] = 0;
    r[2] = action;
    if (!command(r)) return false;
    if (action == 1) readout_.autoCalibration = 0;
    if (action == 2) readout_.autoCalibration = 2;
    return true;
}

bool DeviceLink::selectResponse(std::uint8_t high, std::uint8_t low) {
    Report r{};
    r[0] = kMaintenanceReport;
    r[1] = 1;
    r[2] = high;
    r[3] = low;
    if (!command(r)) return false;
    responseType_ = static_cast<std::uint8_t>(high * 16 + (low & 0x0F));
    return true;
}

bool DeviceLink::writeRegisters() {
    Report r{};
    r[0] = kMaintenanceReport;
    r[1] = 2;
    r[2] = 0;
    r[3] = 0;
    std::copy_n(registers_.begin(), 60, r.begin() + 4);
    if (!command(r)) return false;
    r.fill(0);
    r[0] = kMaintenanceReport;
    r[1] = 2;
    r[2] = 1;
    r[3] = 0;
    std::copy_n(registers_.begin() + 60, 32, r.begin() + 4);
    return command(r);
}

bool DeviceLink::writeBlock6() {
    Report r{};
    r[0] = kMaintenanceReport;
    r[1] = 2;
    r[2] = 6;
    return command(r);
}

std::optional<PinCheck> DeviceLink::runPinCheck(std::uint16_t waitTime, std::uint16_t threshold) {
    Report r{};
    r[0] = kMaintenanceReport;
    r[1] = 2;
    r[2] = 7;
    putLe16(&r[4], waitTime);
    putLe16(&r[8], threshold);
    if (!command(r)) return std::nullopt;
    if (!selectResponse(1, 8)) return std::nullopt;
    Report a{};
    if (!maintenanceAnswer(a)) return std::nullopt;
    if ((a[1] & 0x0F) != 8) return unexpected(a, 8, a[2]), std::nullopt;
    const auto bit = [&a](std::size_t firstByte, std::size_t n) {
        return static_cast<std::uint32_t>((a[firstByte + n / 8] >> (n % 8)) & 1u);
    };
    PinCheck check;
    const auto judge = [&check](PinResult& pin, std::uint32_t vdd, std::uint32_t gnd, PinFaultCounter vc,
                                PinFaultCounter gc) {
        pin.vddFault = vdd;
        pin.gndFault = gnd;
        pin.state = (vdd | gnd) != 0 ? 3 : 2;
        check.faultCounters[vc] += vdd;
        check.faultCounters[gc] += gnd;
    };
    for (std::size_t n = 0; n < kGridRx; ++n) judge(check.rxPins[n], bit(3, n), bit(12, n), RxVdd, RxGnd);
    for (std::size_t n = 0; n < kTxPins; ++n) judge(check.txPins[n], bit(21, n), bit(27, n), TxVdd, TxGnd);
    for (std::size_t k = 0; k < pinFaultCounters_.size(); ++k) pinFaultCounters_[k] += check.faultCounters[k];
    return check;
}

// A lookup table goes out 30 words per part, as block `block`.
bool DeviceLink::writeLut(std::uint8_t block, std::span<const std::uint16_t> items) {
    for (std::size_t first = 0, part = 0; first < items.size(); first += kSamplesPerAnswer, ++part) {
        Report r{};
        r[0] = kMaintenanceReport;
        r[1] = 2;
        r[2] = block;
        r[3] = static_cast<std::uint8_t>(part);
        const std::size_t n = std::min(kSamplesPerAnswer, items.size() - first);
        for (std::size_t i = 0; i < n; ++i) putLe16(&r[4 + 2 * i], items[first + i]);
        if (!command(r)) return false;
    }
    return true;
}

bool DeviceLink::writeXLut(std::span<const std::uint16_t, kGridRx> items) { return writeLut(9, items); }

bool DeviceLink::writeYLut(std::span<const std::uint16_t, kGridTx> items) { return writeLut(0x0A, items); }

bool DeviceLink::setScanArea() {
    Report r{};
    r[0] = kMaintenanceReport;
    r[1] = 2;
    r[2] = 0x0D;
    r[6] = static_cast<std::uint8_t>(rxCount());
    r[7] = static_cast<std::uint8_t>(txCount());
    if (!command(r)) return false;
    scanArea_ = {0, 0, std::max(rxCount(), 1u) - 1, std::max(txCount(), 1u) - 1};
    return true;
}

bool DeviceLink::readRegisters() {
    const std::uint8_t saved = responseType_;
    bool ok = selectResponse(1, 5);
    Report a{};
    const auto part = [&](std::uint8_t n) {
        if (!maintenanceAnswer(a)) return false;
        return ((a[1] & 0x0F) == 5 && a[2] == n) || unexpected(a, 5, n);
    };
    if (ok) ok = part(0);
    if (ok) {
        std::copy_n(a.begin() + 4, 60, registers_.begin());
        ok = part(1);
    }
    if (ok) {
        std::copy_n(a.begin() + 4, 32, registers_.begin() + 60);
        readout_.extraInfo0 = a[40];
        readout_.touchMaxX = le16(&a[41]);
        readout_.touchMaxY = le16(&a[43]);
        readout_.autoCalibration = a[45] == 0 ? 1 : 0;
        readout_.frameWord46 = le16(&a[46]);
        readout_.rowsPerRecordFrame = a[50];
        readout_.extraInfo51 = a[51];
        const std::uint16_t lines = registerWord(41);
        // All ones marks an unknown count; the arrays never grow past the grid.
        setLineCounts((lines >> 8) & 0x7F, lines & 0x3F);
    }
    // The first failure is the one worth telling; a failed restore is told when it is the only one.
    const std::string firstFailure = ok ? std::string() : lastError();
    const bool restored =
        selectResponse(static_cast<std::uint8_t>(saved >> 4), static_cast<std::uint8_t>(saved & 0x0F));
    if (!ok) setLastError(firstFailure);
    return ok && restored;
}

controllerlink::FrameGeometry DeviceLink::frameGeometry() const {
    return controllerlink::FrameGeometry{scanArea_[0], scanArea_[1], scanArea_[2],
                                         scanArea_[3], rxCount(),    rowsPerRecordFrame()};
}

bool DeviceLink::startFrameReader(controllerlink::FrameSink& sink) {
    if (!isOpen() || frameReaderRunning()) return false;
    if (frameReader_ == nullptr) frameReader_ = std::make_unique<controllerlink::FrameReader>(table(), key(), clock_);
    return frameReader_->start(sink, frameGeometry());
}

void DeviceLink::pauseFrameReader(bool paused) {
    if (frameReader_ != nullptr) frameReader_->setPaused(paused);
}

void DeviceLink::updateFrameGeometry() {
    if (frameReader_ != nullptr) frameReader_->setGeometry(frameGeometry());
}

void DeviceLink::stopFrameReader() {
    if (frameReader_ != nullptr) frameReader_->stop();
}

void DeviceLink::setLineCounts(std::uint32_t rx, std::uint32_t tx) {
    readout_.rxCount = std::min<std::uint32_t>(rx, kGridRx);
    readout_.txCount = std::min<std::uint32_t>(tx, kGridTx);
}

std::optional<MaintenanceVersion> DeviceLink::readMaintenanceVersion() {
    if (!selectResponse(0, 0x0A)) return std::nullopt;
    Report a{};
    if (!maintenanceAnswer(a)) return std::nullopt;
    MaintenanceVersion version{};
    std::copy_n(a.begin() + 2, version.size(), version.begin());
    return version;
}

CalibrationTable DeviceLink::readCalibrationTable() {
    CalibrationTable table;
    if (!selectResponse(1, 9)) return table;
    table.asked = true;
    std::size_t& received = table.received;
    while (received < kCalibrationWords) {
        Report a{};
        if (!maintenanceAnswer(a)) return table;
        if ((a[1] & 0x0F) != 9 || le16(&a[2]) != received * 2) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "unexpected calibration table answer: type 0x%X offset %u (wanted type 9, offset %zu)",
                          static_cast<unsigned>(a[1] & 0x0F), static_cast<unsigned>(le16(&a[2])), received * 2);
            setLastError(text);
            return table;
        }
        const std::size_t n = std::min(kSamplesPerAnswer, kCalibrationWords - received);
        for (std::size_t i = 0; i < n; ++i) table.words[received + i] = le16(&a[4 + 2 * i]);
        received += n;
    }
    return table;
}

bool DeviceLink::readFrame(std::uint8_t typeNibble, std::size_t rxLines, std::size_t txLines, Grid& sums,
                           Grid* sumsSquared, bool& leadingZeros) {
    std::size_t rx = 0;
    std::size_t tx = 0;
    std::size_t seen = 0;
    leadingZeros = true;
    for (;;) {
        Report a{};
        if (!maintenanceAnswer(a)) return false;
        if ((a[1] & 0x0F) != typeNibble || a[2] != rx || a[3] != tx) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "unexpected frame answer: type 0x%X Rx %u Tx %u (wanted type 0x%X Rx %zu Tx %zu)",
                          static_cast<unsigned>(a[1] & 0x0F), static_cast<unsigned>(a[2]), static_cast<unsigned>(a[3]),
                          static_cast<unsigned>(typeNibble), rx, tx);
            setLastError(text);
            return false;
        }
        for (std::size_t k = 0; k < kSamplesPerAnswer; ++k) {
            const auto v = static_cast<double>(static_cast<std::int16_t>(le16(&a[4 + 2 * k])));
            if (seen++ < 8 && v != 0) leadingZeros = false;
            sums[tx][rx] += v;
            if (sumsSquared != nullptr) (*sumsSquared)[tx][rx] += v * v;
            if (++rx == rxLines) {
                rx = 0;
                if (++tx == txLines) return true;  // the rest of this answer is padding
            }
        }
    }
}

bool DeviceLink::averagedRead(FrameKind kind, std::uint32_t frames, std::uint32_t retryLimit, int floorMode,
                              bool useCalF, Grid& result, Grid* squares, std::uint32_t& retries, bool& outOfRetries) {
    // The standard deviation read sums samples in `result` and squares in `squares` until the end.
    retries = 0;
    outOfRetries = false;
    // A frame of no lines would never complete.
    const std::size_t rxLines = rxCount();
    const std::size_t txLines = txCount();
    if (rxLines == 0 || txLines == 0) return setLastError("no Rx or Tx lines to read"), false;

    std::uint8_t high = 0;
    std::uint8_t low = 0x0B;
    if (kind == FrameKind::Actual && useCalF) high = 1, low = 2;
    const std::uint16_t floorWord = floorMode == 1 ? 2 : 0;

    std::uint32_t counted = 0;
    while (counted < frames) {
        switch (kind) {
            case FrameKind::Raw:
            case FrameKind::Sd:
                setRegisterWord(12, 0);
                setRegisterWord(17, floorWord);
                break;
            case FrameKind::Cal:
                setRegisterWord(12, 8);
                setRegisterWord(17, floorWord);
                break;
            case FrameKind::Actual:
                setRegisterWord(12, static_cast<std::uint16_t>(registerWord(12) & ~0x0004u));
                setRegisterWord(17, static_cast<std::uint16_t>(registerWord(17) & ~0x00A0u));
                break;
        }
        // A refused write would leave the controller sending the kind of frame it sent before
        // (raw frames for a calibration read): a wrong kind of data is worse than no data.
        if (!writeRegisters()) return false;
        clock_.sleepMs(kRegisterWritePauseMs);
        if (!selectResponse(high, low)) return false;
        bool leadingZeros = false;
        if (!readFrame(low, rxLines, txLines, result, squares, leadingZeros)) return false;
        if (!leadingZeros) {
            ++counted;
            continue;
        }
        // A frame whose first eight samples are zero was not scanned yet; it stays in the sums.
        // `>=` so that a limit of 0 still ends.
        if (++retries >= retryLimit) {
            outOfRetries = true;
            break;
        }
    }
    const double n = std::max<std::uint32_t>(outOfRetries ? counted : frames, 1);
    for (std::size_t t = 0; t < txLines; ++t) {
        for (std::size_t r = 0; r < rxLines; ++r) {
            const double mean = result[t][r] / n;
            result[t][r] = mean;
            if (squares != nullptr) {
                // Rounding may leave a tiny negative variance; a flat cell has sigma 0.
                const double variance = (*squares)[t][r] / n - mean * mean;
                (*squares)[t][r] = variance > 0 ? std::sqrt(variance) : 0.0;
            }
        }
    }
    return true;
}

AveragedFrame DeviceLink::readRawAverage(std::uint32_t frames, std::uint32_t retryLimit, int floorMode) {
    AveragedFrame f;
    f.complete = averagedRead(FrameKind::Raw, frames, retryLimit, floorMode, false, f.average, nullptr, f.retries,
                              f.outOfRetries);
    return f;
}

AveragedFrame DeviceLink::readCalAverage(std::uint32_t frames, std::uint32_t retryLimit, int floorMode) {
    AveragedFrame f;
    f.complete = averagedRead(FrameKind::Cal, frames, retryLimit, floorMode, false, f.average, nullptr, f.retries,
                              f.outOfRetries);
    return f;
}

AveragedFrame DeviceLink::readActualAverage(std::uint32_t frames, std::uint32_t retryLimit, bool useCalF) {
    AveragedFrame f;
    f.complete =
        averagedRead(FrameKind::Actual, frames, retryLimit, 0, useCalF, f.average, nullptr, f.retries, f.outOfRetries);
    return f;
}

DeviationFrame DeviceLink::readStandardDeviation(std::uint32_t frames, std::uint32_t retryLimit, int floorMode) {
    DeviationFrame f;
    f.complete =
        averagedRead(FrameKind::Sd, frames, retryLimit, floorMode, false, f.mean, &f.sigma, f.retries, f.outOfRetries);
    return f;
}

std::optional<TouchQuery> DeviceLink::readTouchQuery() {
    std::array<std::uint8_t, 16> a{};
    if (!get(4, a, key())) return std::nullopt;
    TouchQuery q;
    std::copy_n(a.begin() + 1, q.bytes.size(), q.bytes.begin());
    q.firmwareMajor = le16(&a[11]);
    q.firmwareMinor = a[13];
    return q;
}

std::optional<PenQuery> DeviceLink::readPenQuery(ControllerGeneration generation) {
    std::array<std::uint8_t, 9> a{};
    if (!get(5, a, controllerlink::PEN_KEY)) return std::nullopt;
    PenQuery q;
    if (generation == ControllerGeneration::R6) {
        q.maxX = a[2] * 256u + a[3];
        q.maxY = a[4] * 256u + a[5];
        q.maxPressure = a[6] * 256u + a[7];
        // Pens of this generation that report no version stand for the maker's own.
        q.firmware = a[8] != 0 ? a[8] * 256u : controllerlink::VID_PRIMARY;
    } else {
        q.maxX = le16(&a[1]);
        q.maxY = le16(&a[3]);
        q.maxPressure = le16(&a[5]);
        q.firmware = le16(&a[7]);
    }
    return q;
}

bool DeviceLink::setPenReportType(std::uint8_t value) {
    Report r{};
    r[0] = 11;
    r[1] = value;
    return send(controllerlink::PEN_KEY, r);
}

bool DeviceLink::startPenMaintenance() {
    std::array<std::uint8_t, kPenControlLength> r{};
    r[0] = 0x10;
    r[1] = 0x81;
    r[2] = 0x01;
    return send(controllerlink::PEN_KEY, r);
}

namespace {

std::array<std::uint8_t, kPenControlLength> penScanReport(std::uint8_t a, std::uint8_t b, std::uint8_t low,
                                                          std::uint8_t high) {
    std::array<std::uint8_t, kPenControlLength> r{};
    r[0] = 0x10;
    r[1] = 0x81;
    r[2] = 0xA4;
    r[3] = static_cast<std::uint8_t>((low & 0x0F) + 16 * high);
    r[4] = 0x01;
    r[8] = a;
    r[9] = b;
    return r;
}

}  // namespace

bool DeviceLink::setPenScan(std::uint8_t a, std::uint8_t b, std::uint8_t low, std::uint8_t high) {
    return send(controllerlink::PEN_KEY, penScanReport(a, b, low, high));
}

bool DeviceLink::sendPenScanReport(std::uint8_t a, std::uint8_t b, std::uint8_t low, std::uint8_t high) {
    if (refuseAborted()) return false;
    const auto r = penScanReport(a, b, low, high);
    if (!controllerlink::setFeature(table(), r.size(), r, controllerlink::PEN_KEY))
        return noteTransferFailure(controllerlink::PEN_KEY), false;
    return true;
}

bool DeviceLink::stopPenMaintenance() {
    std::array<std::uint8_t, kPenControlLength> r{};
    r[0] = 0x10;
    r[1] = 0x90;
    if (!send(controllerlink::PEN_KEY, r)) return false;
    r.fill(0);
    r[0] = 0x10;
    r[1] = 0x81;
    r[2] = 0x02;
    // A pen that refused to stop is still in its maintenance session: its statistics stay.
    if (!send(controllerlink::PEN_KEY, r)) return false;
    lineStatistics_.reset(0);
    return true;
}

bool DeviceLink::penDirectTransfer(std::span<std::uint8_t, kPenDirectPayload> payload) {
    Report r{};
    r[0] = 0x10;
    r[1] = 0x02;
    std::copy(payload.begin(), payload.end(), r.begin() + 2);
    if (!send(controllerlink::PEN_KEY, r)) return false;
    Report a{};
    if (!get(0x10, a, controllerlink::PEN_KEY)) return false;
    clock_.sleepMs(kSetPauseMs);
    std::copy(a.begin() + 2, a.end(), payload.begin());
    return true;
}

std::optional<HsyncDirectWords> DeviceLink::readHsyncDirect() {
    struct Read {
        std::uint16_t address;
        std::size_t first;
        std::size_t count;
    };
    static constexpr std::array<Read, 4> reads{{{0x4004, 0, 4}, {0x501C, 4, 5}, {0x11C0, 9, 1}, {0x21FC, 10, 2}}};
    HsyncDirectWords words{};
    for (const Read& rd : reads) {
        std::array<std::uint8_t, kPenDirectPayload> payload{};
        putLe16(&payload[4], rd.address);
        if (!penDirectTransfer(payload)) return std::nullopt;
        for (std::size_t i = 0; i < rd.count; ++i) words[rd.first + i] = le32(&payload[6 + 4 * i]);
    }
    return words;
}

}  // namespace station
