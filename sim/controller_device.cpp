#include "sim/controller_device.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "controllerlink/vendor_ids.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"
#include "sim/operator.h"

namespace sim {
namespace {

constexpr std::uint8_t kRespRegisters = 0x15;
constexpr std::uint8_t kRespVersion = 0x0A;
constexpr std::uint8_t kRespCalibration = 0x19;
constexpr std::uint8_t kRespFrame = 0x0B;
constexpr std::uint8_t kRespFrameCalF = 0x12;
constexpr std::uint8_t kRespPins = 0x18;

constexpr std::size_t kSamplesPerAnswer = 30;
// Frames streamed answer after answer while the raw data viewer polls (0x10: 16-bit image
// frames of the scan area, each followed by its noise row). A streamed frame of one kind: image types 0..3 (1 and 3:
// six rows), area, record, column. The high nibble of the response type chooses the sample width (0: one unsigned
// byte).
constexpr std::uint8_t kStreamArea = 4;
constexpr std::uint8_t kStreamRecord = 6;
constexpr std::uint8_t kStreamColumn = 7;
bool isFrameStream(std::uint8_t type) {
    if (type == kRespFrameCalF || (type >> 4) > 1) return false;  // 0x12 is the averaged read's frame
    const std::uint8_t kind = type & 0x0F;
    return kind <= 3 || kind == kStreamArea || kind == kStreamRecord || kind == kStreamColumn;
}
// A line report carries at most 18 samples: the host reads its first 40 bytes.
constexpr std::size_t kLineSamples = 18;
// How far back one advance catches up (longer gaps, a device away or a clock jump, are skipped).
constexpr std::uint64_t kMaxCatchUpScans = 2000;
constexpr std::size_t kTunnelLength = 262;

// Byte i of a report that may be shorter than the layout the firmware expects: bytes the host
// did not send read as 0, never past the end.
std::uint8_t at(std::span<const std::uint8_t> r, std::size_t i) { return i < r.size() ? r[i] : 0; }
std::uint16_t le16(std::span<const std::uint8_t> r, std::size_t i) {
    return static_cast<std::uint16_t>(at(r, i) | (at(r, i + 1) << 8));
}
void put16(std::vector<std::uint8_t>& a, std::size_t i, std::uint16_t v) {
    a[i] = static_cast<std::uint8_t>(v & 0xFF);
    a[i + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::vector<std::uint8_t>& a, std::size_t i, std::uint32_t v) {
    for (std::size_t k = 0; k < 4; ++k) a[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

}  // namespace

std::uint16_t defaultProductId(Generation g) { return g == Generation::R6 ? 0x0A52 : 0x0952; }

ControllerDevice::ControllerDevice(ControllerConfig config) : config_(std::move(config)), panel_(config_.panel) {
    zeroFrames_ = config_.zeroFrames;
    breakEcho_ = config_.breakEcho;
    hsyncNak_ = config_.hsyncNak;
    breakIndices_ = config_.breakIndices;
    refusals_ = config_.refuse;
    operator_ = Operator(config_.operatorScript);
    powerOn();
    bootloader_ = makeBootloader(bootloaderKind(), config_.bootloader, flash_, bootloaderShape());
    if (bootloader_ && config_.bootloader.startInBootloader) {
        flash_.erase();  // nothing to run: the controller powers up in its bootloader
        restartLocked();
    }
}

BootloaderKind ControllerDevice::bootloaderKind() const {
    if (config_.bootloader.kind != BootloaderKind::Auto) return config_.bootloader.kind;
    return config_.generation == Generation::R6 ? BootloaderKind::F11 : BootloaderKind::F09;
}

// F11 comes back on page 0xFF11 with the touch usage (or its own); F09 keeps the collection.
BootloaderShape ControllerDevice::bootloaderShape() const {
    BootloaderShape shape;
    if (bootloaderKind() == BootloaderKind::F11) {
        shape.usagePage = 0xFF11;
        shape.usage = config_.bootloader.usage != 0 ? config_.bootloader.usage : config_.touchUsage;
    } else {
        shape.usagePage = usagePage();
        shape.usage = config_.touchUsage;
        shape.shortFrames = config_.touchUsage == 0x01;
    }
    shape.wrapped = shape.usage == 0x0B;
    return shape;
}

std::uint16_t ControllerDevice::bootloaderProductId() const {
    if (config_.bootloader.productId != 0) return config_.bootloader.productId;
    return bootloaderKind() == BootloaderKind::F11 ? 0x0094 : 0x0112;
}

void ControllerDevice::restartLocked() {
    if (flash_.runnable()) {
        powerOn();
        // The firmware reports the version a written image carries; an image without one, and
        // the factory firmware, keep it.
        if (const auto v = flash_.extent() > 0 ? flash_.word(config_.bootloader.versionAddress) : std::nullopt) {
            config_.version = *v;
            config_.touchFirmwareMajor = *v;
        }
        running_ = presented_ = Firmware::Main;
    } else {
        const UsbIdentity main = mainIdentity();
        bootloader_->start(main.productId, main.version);
        running_ = presented_ = Firmware::Bootloader;
    }
}

bool ControllerDevice::inBootloader() const {
    std::lock_guard lock(mutex_);
    return running_ == Firmware::Bootloader;
}

std::uint8_t ControllerDevice::bootloaderSecurity() const {
    std::lock_guard lock(mutex_);
    return bootloader_ ? bootloader_->security() : 0;
}

bool ControllerDevice::updateConfirmed() const {
    std::lock_guard lock(mutex_);
    return bootloader_ && bootloader_->confirmed();
}

std::optional<FlashSnapshot> ControllerDevice::flash() const {
    std::lock_guard lock(mutex_);
    if (!bootloader_) return std::nullopt;
    const auto bytes = flash_.bytes();
    return FlashSnapshot{FlashModel::kBase, flash_.extent(), {bytes.begin(), bytes.end()}};
}

std::optional<std::uint32_t> ControllerDevice::programHsync(std::uint16_t version) {
    std::lock_guard lock(mutex_);
    if (config_.hsync == HsyncMcu::None) return std::nullopt;
    if (config_.hsyncProgramExit != 0) return config_.hsyncProgramExit;
    // New firmware: an MCU too old for the version commands answers them from now on.
    config_.hsync = HsyncMcu::Present;
    config_.hsyncVersion = version;
    return 0U;
}

void ControllerDevice::powerCycle() {
    std::lock_guard lock(mutex_);
    // A main firmware keeps its state across a replug, as it always has here; a bootloader
    // session does not survive losing power.
    if (bootloader_ && running_ == Firmware::Bootloader) restartLocked();
}

void ControllerDevice::powerOn() {
    mode_ = 0;
    touchFresh_ = false;
    lastLook_ = false;
    reportType_ = 0;
    reportTypeFrom_ = 0;
    homeKeyMode_ = 0;
    penReportType_ = 0;
    responseType_ = 0x10;
    registers_.fill(0);
    // Scan timing of a healthy panel; the station overrides some of it from the recipe.
    registers_[2] = 24;  // TXE
    registers_[3] = 8;   // TXW
    registers_[7] = 22;
    registers_[8] = 22;
    registers_[9] = 4;  // SHW
    registers_[10] = 20;
    setWord(7, 0x0700);   // Tx ports per group in bits 8..10
    setWord(12, 0x0005);  // normal scan: actual data
    setWord(17, 0x00A0);
    setWord(41, config_.registerWord41);
    calibration_.assign(kCalibrationWords, 0);
    for (std::uint16_t n = 0; n < kRxPins; ++n) calibration_[kXLutWord + n] = static_cast<std::uint16_t>(0x0100 | n);
    for (std::uint16_t n = 0; n < kMaxTx; ++n) calibration_[kYLutWord + n] = static_cast<std::uint16_t>(0x0100 | n);
    autoCalibration_ = true;
    block6_ = 0;
    pinWaitTime_ = 0;
    pinThreshold_ = 0;
    scanArea_.fill(0);
    penMaintenance_ = false;
    scanning_ = true;
    areas_.clear();
    areaIndex_ = 0;
    areaCell_ = 0;
    recordSequence_ = recordIndex_ = columnSequence_ = columnRow_ = 0;
    lastFingers_.clear();
    lastDigitizerFingers_.clear();
    penInRange_ = false;
    directPayload_.fill(0);
    registerPart_ = 0;
    calibrationWord_ = 0;
    frameCell_ = 0;
    frame_.clear();
    streamCell_ = 0;
    streamFrame_.clear();
    tunnel_ = TunnelPhase::Idle;
    tunnelNak_ = false;
    tunnelCommand_ = 0;
    tunnelReadyAt_ = 0;
    lastWrappedId_.fill(0);
}

std::uint16_t ControllerDevice::usagePage() const {
    if (config_.usagePage != 0) return config_.usagePage;
    return config_.generation == Generation::R6 ? 0xFF11 : 0xFF09;
}

std::uint16_t ControllerDevice::penUsage() const {
    if (driverMode()) return 0x0A;
    return config_.generation == Generation::R6 ? 0x02 : 0x13;
}

void ControllerDevice::breakEcho(std::uint32_t answers) {
    std::lock_guard lock(mutex_);
    breakEcho_ = answers;
}

void ControllerDevice::breakIndices(std::uint32_t answers) {
    std::lock_guard lock(mutex_);
    breakIndices_ = answers;
}

void ControllerDevice::zeroFrames(std::uint32_t frames) {
    std::lock_guard lock(mutex_);
    zeroFrames_ = frames;
}

void ControllerDevice::refuseExchange(RefusedExchange rule) {
    std::lock_guard lock(mutex_);
    refusals_.push_back(std::move(rule));
}

void ControllerDevice::clearRefusals() {
    std::lock_guard lock(mutex_);
    refusals_.clear();
}

bool ControllerDevice::refused(bool set, std::span<const std::uint8_t> plain) {
    for (auto it = refusals_.begin(); it != refusals_.end(); ++it) {
        if (it->set != set || it->prefix.empty() || it->prefix.size() > plain.size()) continue;
        if (!std::equal(it->prefix.begin(), it->prefix.end(), plain.begin())) continue;
        // A counted rule is used up by its last refusal.
        if (it->times == 1)
            refusals_.erase(it);
        else if (it->times > 1)
            --it->times;
        return true;
    }
    return false;
}

std::uint8_t ControllerDevice::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

std::uint8_t ControllerDevice::reportType() const {
    std::lock_guard lock(mutex_);
    return reportType_;
}

std::uint8_t ControllerDevice::penReportType() const {
    std::lock_guard lock(mutex_);
    return penReportType_;
}

std::uint8_t ControllerDevice::driverHomeKeyMode() const {
    std::lock_guard lock(mutex_);
    return homeKeyMode_;
}

std::array<std::uint8_t, ControllerDevice::kRegisterBytes> ControllerDevice::registers() const {
    std::lock_guard lock(mutex_);
    return registers_;
}

std::uint32_t ControllerDevice::resets() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

UsbIdentity ControllerDevice::usbIdentity() const {
    std::lock_guard lock(mutex_);
    if (presented_ == Firmware::Bootloader) {
        UsbIdentity id = mainIdentity();
        id.productId = bootloaderProductId();
        id.version = config_.bootloader.version;
        return id;
    }
    return mainIdentity();
}

std::size_t ControllerDevice::interfaceCount() const {
    std::lock_guard lock(mutex_);
    if (presented_ == Firmware::Bootloader) return 1;
    return driverMode() ? 3 : 2;
}

UsbIdentity ControllerDevice::mainIdentity() const {
    UsbIdentity id;
    id.vendorId = config_.vendorId != 0 ? config_.vendorId : static_cast<std::uint16_t>(controllerlink::VID_PRIMARY);
    id.productId = config_.productId != 0 ? config_.productId : defaultProductId(config_.generation);
    id.version = config_.version;
    return id;
}

// Touch on interface 0 and pen on interface 1, each its own node, so the ids of the two
// collections never meet in one descriptor.
std::vector<std::uint8_t> ControllerDevice::reportDescriptor(std::size_t iface) const {
    using R = ReportSpec;
    std::lock_guard lock(mutex_);
    if (presented_ == Firmware::Bootloader)
        return iface == kTouchInterface ? buildVendorDescriptor({bootloader_->collection()})
                                        : std::vector<std::uint8_t>{};
    const std::uint16_t page = usagePage();
    if (driverMode()) {
        if (iface == kTouchInterface)
            return buildVendorDescriptor({{page,
                                           0x0B,
                                           {{R::Feature, 0xBB, kWrapperLength},
                                            {R::Feature, 3, 2},
                                            {R::Feature, 15, 263},
                                            {R::Input, 15, 64}}}});
        if (iface == kPenInterface)
            return buildVendorDescriptor({{page, 0x0A, {{R::Feature, 0xBA, kWrapperLength}, {R::Input, 15, 64}}}});
        if (iface == kDigitizerInterface)
            return buildDigitizerDescriptor(kDigitizerReportId, kDigitizerSlots, config_.touchMaxX, config_.touchMaxY);
        return {};
    }
    if (iface == kTouchInterface) {
        CollectionSpec touch{page,
                             config_.touchUsage,
                             {{R::Feature, 2, 2},
                              {R::Feature, 3, 64},
                              {R::Feature, 4, 16},
                              {R::Feature, 9, 64},
                              {R::Input, 1, 64},
                              {R::Input, 3, kInputLength}}};
        // An F09 bootloader answers on this collection, so its reports are declared here too.
        if (bootloader_ && bootloaderKind() == BootloaderKind::F09)
            for (const ReportSpec& r : bootloader_->sharedReports()) touch.reports.push_back(r);
        return buildVendorDescriptor({touch});
    }
    if (iface == kPenInterface)
        return buildVendorDescriptor({{page,
                                       penUsage(),
                                       {{R::Feature, 5, 9},
                                        {R::Feature, 11, 64},
                                        {R::Feature, 0x10, 66},
                                        {R::Feature, 0x12, kTunnelLength},
                                        {R::Input, 15, 64},
                                        {R::Input, 6, 16},
                                        {R::Input, 11, 16}}}});
    return {};
}

std::uint16_t ControllerDevice::word(std::size_t index) const {
    return static_cast<std::uint16_t>(registers_[2 * index] | (registers_[2 * index + 1] << 8));
}

void ControllerDevice::setWord(std::size_t index, std::uint16_t value) {
    registers_[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
    registers_[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

int ControllerDevice::rxCount() const { return std::clamp((word(41) >> 8) & 0x7F, 1, kMaxRx); }
int ControllerDevice::txCount() const { return std::clamp(word(41) & 0x3F, 1, kMaxTx); }

std::uint64_t ControllerDevice::nowMs() {
    DeviceHost* h = host();
    return h != nullptr ? h->clock().monotonicMs() : 0;
}

// ---------------------------------------------------------------------------------------------
// Transport

bool ControllerDevice::setFeature(std::size_t iface, std::span<const std::uint8_t> report) {
    if (report.empty() || iface > kPenInterface) return false;
    bool resetNow = false;
    bool unplugNow = false;
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        if (running_ == Firmware::Bootloader) {
            if (iface != kTouchInterface) return false;
            Bootloader::Action action = Bootloader::Action::None;
            ok = bootloader_->setFeature(report, action);
            if (action == Bootloader::Action::Restart) {
                restartLocked();
                resetNow = true;
            }
            unplugNow = action == Bootloader::Action::Unplug;
        } else {
            noteExchange(false);
            ok = setMainFirmware(iface, report, resetNow);
            if (ok && enterBootloader_) {
                enterBootloader_ = false;
                const UsbIdentity main = mainIdentity();
                bootloader_->start(main.productId, main.version);
                running_ = Firmware::Bootloader;
                // F11 leaves the bus and comes back as its own device; F09 takes over in place.
                if (bootloaderKind() == BootloaderKind::F11) {
                    presented_ = Firmware::Bootloader;
                    resetNow = true;
                }
            }
        }
    }
    // Outside the lock: the bus takes its own lock and may call back into the device.
    if (DeviceHost* h = host()) {
        if (unplugNow)
            h->unplugSelf(*this);
        else if (resetNow)
            h->reenumerate(*this, config_.resetDelayMs);
    }
    return ok;
}

bool ControllerDevice::setMainFirmware(std::size_t iface, std::span<const std::uint8_t> report, bool& resetNow) {
    std::span<const std::uint8_t> plain = report;
    if (driverMode()) {
        const auto tag = static_cast<std::uint8_t>(iface == kTouchInterface ? 0xBB : 0xBA);
        if (report[0] == tag) {
            if (report.size() < 4) return false;
            const std::size_t len = static_cast<std::size_t>(report[1] << 8 | report[2]);
            if (len == 0 || len > report.size() - 3) return false;
            plain = report.subspan(3, len);
            // Reports without an answer to fetch leave the query as the next answer.
            const bool answered = iface == kTouchInterface
                                      ? plain[0] != 3
                                      : plain[0] == 0x12 || (plain[0] == 0x10 && at(plain, 1) == 0x02);
            lastWrappedId_[iface] = answered ? plain[0] : 0;
        } else if (iface == kTouchInterface && report[0] == 3 && report.size() == 2) {
            // the home-key mode switch the digitizer driver passes through as it is
        } else if (iface == kTouchInterface && report[0] == 15 && report.size() == 263 && report[3] == 2) {
            return true;  // a bootloader block write: the main firmware has no use for it
        } else {
            return false;
        }
    }
    if (refused(true, plain)) return false;
    return iface == kTouchInterface ? setTouch(plain, resetNow) : setPen(plain);
}

long ControllerDevice::getFeature(std::size_t iface, std::span<std::uint8_t> report) {
    if (report.empty() || iface > kPenInterface) return -1;
    std::lock_guard lock(mutex_);
    if (running_ == Firmware::Bootloader) return iface == kTouchInterface ? bootloader_->getFeature(report) : -1;
    if (!driverMode()) {
        const std::vector<std::uint8_t> a = iface == kTouchInterface ? answerTouch(report[0]) : answerPen(report[0]);
        const bool answered = !a.empty() && !refused(false, a);
        noteExchange(answered && iface == kTouchInterface && report[0] == 4);
        if (!answered) return -1;
        const std::size_t n = std::min(a.size(), report.size());
        std::fill(report.begin(), report.end(), std::uint8_t{0});
        std::memcpy(report.data(), a.data(), n);
        return static_cast<long>(n);
    }
    const auto tag = static_cast<std::uint8_t>(iface == kTouchInterface ? 0xBB : 0xBA);
    if (report[0] != tag || report.size() < 4) {
        noteExchange(false);
        return -1;
    }
    // A host that forwards the request header names the report it wants; one whose transport
    // carries only the report id (a USB GET_REPORT does) gets the answer to the report its
    // last wrapped set addressed, or the query before any set.
    std::size_t wantLen = static_cast<std::size_t>(report[1] << 8 | report[2]);
    std::uint8_t id = report[3];
    if (id == 0) {
        id = lastWrappedId_[iface];
        wantLen = 0;
    }
    if (id == 0) id = iface == kTouchInterface ? 4 : 5;
    const std::vector<std::uint8_t> a = iface == kTouchInterface ? answerTouch(id) : answerPen(id);
    const bool answered = !a.empty() && !refused(false, a);
    noteExchange(answered && iface == kTouchInterface && id == 4);
    if (!answered) return -1;
    const std::size_t len = std::min(wantLen != 0 ? wantLen : a.size(), report.size() - 3);
    std::fill(report.begin(), report.end(), std::uint8_t{0});
    report[0] = tag;
    report[1] = static_cast<std::uint8_t>(len >> 8);
    report[2] = static_cast<std::uint8_t>(len & 0xFF);
    std::memcpy(report.data() + 3, a.data(), std::min(len, a.size()));
    return static_cast<long>(report.size());
}

// ---------------------------------------------------------------------------------------------
// Touch collection

bool ControllerDevice::setTouch(std::span<const std::uint8_t> r, bool& resetNow) {
    switch (r[0]) {
        case 2:
            switch (at(r, 1)) {
                case 1:
                    if (!config_.stuckInNormalMode) mode_ = 1;
                    notify(OperatorEvent::MaintenanceMode);
                    return true;
                case 0: {
                    const bool homeKey = reportType_ == 2;
                    mode_ = 0;
                    reportType_ = 0;
                    reportTypeFrom_ = 0;
                    if (homeKey) notify(OperatorEvent::HomeKeyOff);
                    notify(OperatorEvent::NormalMode);
                    return true;
                }
                case 0xFF:
                    powerOn();
                    ++resets_;
                    resetNow = true;
                    notify(OperatorEvent::Reset);
                    return true;
                case 2:  // "Enter UBL."
                    if (!bootloader_) return false;
                    enterBootloader_ = true;
                    return true;
                default:
                    return false;
            }
        case 3:
            if (r.size() == 2) {  // home-key check mode through the digitizer driver
                if (at(r, 1) != 4 && at(r, 1) != 0) return false;
                homeKeyMode_ = at(r, 1);
                return true;
            }
            if (at(r, 1) > 2) return false;
            {
                const std::uint8_t was = reportType_;
                reportTypeFrom_ = nowMs() + config_.reportTypeDelayMs;
                reportType_ = at(r, 1);
                if (was == 2 && reportType_ != 2) notify(OperatorEvent::HomeKeyOff);
                notify(reportType_ == 2   ? OperatorEvent::HomeKeyOn
                       : reportType_ == 1 ? OperatorEvent::MaintenanceReport
                                          : OperatorEvent::NormalReport);
            }
            return true;
        case 9:
            return mode_ == 1 && command(r);
        default:
            return false;
    }
}

bool ControllerDevice::command(std::span<const std::uint8_t> r) {
    switch (at(r, 1)) {
        case 0:
            switch (at(r, 2)) {
                case 0:
                    // The calibration runs inside the firmware; scanning resumes after it.
                    scanning_ = true;
                    calibratedAt_ = nowMs();
                    notify(OperatorEvent::Calibration);
                    return true;
                case 1:
                    autoCalibration_ = false;
                    return true;
                case 2:
                    autoCalibration_ = true;
                    return true;
                default:
                    return false;
            }
        case 1:
            responseType_ = static_cast<std::uint8_t>(at(r, 2) * 16 + (at(r, 3) & 0x0F));
            registerPart_ = 0;
            calibrationWord_ = 0;
            frameCell_ = 0;
            streamCell_ = 0;
            areas_.clear();
            areaIndex_ = areaCell_ = 0;
            recordSequence_ = recordIndex_ = columnSequence_ = columnRow_ = 0;
            return true;
        case 2:
            return writeBlock(r);
        default:
            return false;
    }
}

bool ControllerDevice::writeBlock(std::span<const std::uint8_t> r) {
    const std::uint8_t block = at(r, 2);
    const std::uint8_t part = at(r, 3);
    auto lut = [&](std::size_t base, std::size_t items, std::size_t parts) {
        if (part >= parts) return false;
        const std::size_t first = part * kSamplesPerAnswer;
        const std::size_t count = std::min(kSamplesPerAnswer, items - first);
        for (std::size_t i = 0; i < count; ++i) calibration_[base + first + i] = le16(r, 4 + 2 * i);
        return true;
    };
    switch (block) {
        case 0:
        case 1: {
            // The register image travels like its answers: the part index in byte 2.
            if (part != 0) return false;
            const std::size_t first = block == 0 ? 0 : 60;
            const std::size_t count = block == 0 ? 60 : kRegisterBytes - 60;
            for (std::size_t i = 0; i < count; ++i) registers_[first + i] = at(r, 4 + i);
            frameCell_ = 0;  // a new scan setting starts a new frame
            scanning_ = false;
            return true;
        }
        case 6:
            if (part != 0) return false;
            block6_ = at(r, 4);
            return true;
        case 7:
            if (part != 0) return false;
            pinWaitTime_ = le16(r, 4);
            pinThreshold_ = le16(r, 8);
            return true;
        case 9:
            return lut(kXLutWord, kRxPins, 3);
        case 0x0A:
            return lut(kYLutWord, kMaxTx, 2);
        case 0x0D: {
            const std::uint8_t firstRx = at(r, 4), firstTx = at(r, 5), rxN = at(r, 6), txN = at(r, 7);
            if (rxN == 0 || txN == 0 || rxN > kMaxRx || txN > kMaxTx || firstRx >= rxN || firstTx >= txN) return false;
            scanArea_ = {firstRx, firstTx, rxN, txN};
            return true;
        }
        default:
            return false;
    }
}

std::vector<std::uint8_t> ControllerDevice::answerTouch(std::uint8_t id) {
    switch (id) {
        case 2:
            return {2, mode_};
        case 4: {
            std::vector<std::uint8_t> a(16, 0);
            a[0] = 4;
            put16(a, 11, config_.touchFirmwareMajor);
            a[13] = config_.touchFirmwareMinor;
            return a;
        }
        case 9:
            if (mode_ != 1) return {};
            return answerMaintenance();
        default:
            return {};
    }
}

std::vector<std::uint8_t> ControllerDevice::answerMaintenance() {
    std::vector<std::uint8_t> a(64, 0);
    a[0] = 9;
    a[1] = responseType_;
    switch (responseType_) {
        case kRespRegisters:
            a[2] = static_cast<std::uint8_t>(registerPart_);
            if (registerPart_ == 0) {
                std::copy_n(registers_.begin(), 60, a.begin() + 4);
            } else {
                std::copy_n(registers_.begin() + 60, kRegisterBytes - 60, a.begin() + 4);
                // Register word 45, bit 0: the touch scan runs (a scenario may hold it back
                // after the calibration, or for ever).
                const bool scanning = scanning_ && config_.touchScanAfterMs >= 0 &&
                                      nowMs() >= calibratedAt_ + static_cast<std::uint64_t>(config_.touchScanAfterMs);
                a[4 + 90 - 60] = static_cast<std::uint8_t>((registers_[90] & 0xFE) | (scanning ? 1 : 0));
                a[40] = 0;  // extra info
                put16(a, 41, config_.touchMaxX);
                put16(a, 43, config_.touchMaxY);
                a[45] = autoCalibration_ ? 0 : 1;
                put16(a, 46, 0);  // frame word
                a[50] = config_.rowsPerRecordFrame;
                a[51] = 0;
            }
            registerPart_ ^= 1;
            break;
        case kRespVersion:
            std::copy(config_.maintenanceVersion.begin(), config_.maintenanceVersion.end(), a.begin() + 2);
            break;
        case kRespCalibration:
            put16(a, 2, static_cast<std::uint16_t>(calibrationWord_ * 2));
            for (std::size_t i = 0; i < kSamplesPerAnswer; ++i)
                put16(a, 4 + 2 * i, calibration_[(calibrationWord_ + i) % kCalibrationWords]);
            calibrationWord_ = (calibrationWord_ + kSamplesPerAnswer) % kCalibrationWords;
            break;
        case kRespFrame:
        case kRespFrameCalF:
            fillFrameAnswer(a);
            break;
        case kRespPins: {
            const PinBitmaps b = panel_.pinBitmaps();
            std::copy(std::begin(b.rxVdd), std::end(b.rxVdd), a.begin() + 3);
            std::copy(std::begin(b.rxGnd), std::end(b.rxGnd), a.begin() + 12);
            std::copy(std::begin(b.txVdd), std::end(b.txVdd), a.begin() + 21);
            std::copy(std::begin(b.txGnd), std::end(b.txGnd), a.begin() + 27);
            break;
        }
        default:
            if (!isFrameStream(responseType_)) break;  // a type this model does not fill: the echo alone
            switch (responseType_ & 0x0F) {
                case kStreamArea:
                    fillAreaStream(a);
                    break;
                case kStreamRecord:
                    fillRecordStream(a);
                    break;
                case kStreamColumn:
                    fillColumnStream(a);
                    break;
                default:
                    fillImageStream(a);
                    break;
            }
            break;
    }
    if (breakEcho_ > 0) {
        --breakEcho_;
        a[1] ^= 0x01;
    }
    return a;
}

void ControllerDevice::fillFrameAnswer(std::vector<std::uint8_t>& a) {
    const int rxN = rxCount();
    const int txN = txCount();
    const auto cells = static_cast<std::size_t>(rxN) * static_cast<std::size_t>(txN);
    if (frameCell_ == 0 || frame_.size() != cells) {
        frameCell_ = 0;
        const std::uint16_t w12 = word(12);
        const FrameKind kind = w12 == 0 ? FrameKind::Raw : w12 == 8 ? FrameKind::Calibration : FrameKind::Actual;
        const bool floorCancelled = (word(17) & 0x0002) != 0;
        frame_ = panel_.frame(kind, rxN, txN, floorCancelled);
        if (zeroFrames_ > 0) {
            --zeroFrames_;
            std::fill(frame_.begin(), frame_.end(), std::int16_t{0});
        }
    }
    a[2] = static_cast<std::uint8_t>(frameCell_ % static_cast<std::size_t>(rxN));
    a[3] = static_cast<std::uint8_t>(frameCell_ / static_cast<std::size_t>(rxN));
    if (breakIndices_ > 0) {
        --breakIndices_;
        a[2] = static_cast<std::uint8_t>((a[2] + 1) % rxN);
        if (rxN == 1) a[3] = static_cast<std::uint8_t>(a[3] + 1);
    }
    for (std::size_t i = 0; i < kSamplesPerAnswer && frameCell_ < cells; ++i, ++frameCell_)
        put16(a, 4 + 2 * i, static_cast<std::uint16_t>(frame_[frameCell_]));
    if (frameCell_ >= cells) frameCell_ = 0;
}

namespace {

// The scan area as the streams use it: first Rx, first Tx, Rx count, Tx count (the register
// counts until a scan area is set).
struct StreamArea {
    int firstRx, firstTx, rxN, txN;
};

// Cell (t, r) of a frame of rows of `width` cells.
std::size_t cellIndex(int t, int width, int r) {
    return static_cast<std::size_t>(t) * static_cast<std::size_t>(width) + static_cast<std::size_t>(r);
}

// Puts sample i of an answer whose samples start at `from`: one byte (held to 0..255) or a
// signed 16-bit value.
void putSample(std::vector<std::uint8_t>& a, std::size_t from, std::size_t i, bool wide, std::int32_t v) {
    if (wide) {
        put16(a, from + 2 * i, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(v, -32768, 32767))));
    } else {
        a[from + i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
}

}  // namespace

// The frame the actual data scan gives, with a bump of 1000 counts under each finger of the
// operator, fading to nothing two cells away.
std::vector<std::int16_t> ControllerDevice::touchedFrame(int rxN, int txN) {
    std::vector<std::int16_t> f = panel_.frame(FrameKind::Actual, rxN, txN, false);
    const OperatorInput in = operator_.inputAt(nowMs());
    for (const FingerContact& c : in.fingers) {
        const double cr = c.at.x * (rxN - 1);
        const double ct = c.at.y * (txN - 1);
        for (int t = 0; t < txN; ++t)
            for (int r = 0; r < rxN; ++r) {
                const double d = std::hypot(r - cr, t - ct);
                if (d >= 2.0) continue;
                auto& cell = f[cellIndex(t, rxN, r)];
                cell = static_cast<std::int16_t>(std::clamp(cell + std::lround(1000 * (1 - d / 2)), -32768L, 32767L));
            }
    }
    return f;
}

void ControllerDevice::fillImageStream(std::vector<std::uint8_t>& a) {
    int firstRx = scanArea_[0];
    int firstTx = scanArea_[1];
    int rxN = scanArea_[2];
    int txN = scanArea_[3];
    if (rxN == 0 || txN == 0) {
        firstRx = 0;
        firstTx = 0;
        rxN = rxCount();
        txN = txCount();
    }
    const std::uint8_t kind = responseType_ & 0x0F;
    const bool wide = (responseType_ >> 4) != 0;
    // Types 1 and 3 stream the first six rows only; 0 and 1 the raw scan, 2 and 3 the actual data.
    const int lastRow = (kind == 1 || kind == 3) ? std::min(txN, 6) : txN;
    const auto width = static_cast<std::size_t>(rxN - firstRx);
    const auto rows = static_cast<std::size_t>(std::max(lastRow - firstTx, 0)) + 1;  // the noise row last
    const std::size_t cells = width * rows;
    if (streamCell_ == 0 || streamFrame_.size() != cells) {
        streamCell_ = 0;
        // Two reads of the panel: the first is the image, their difference the noise row.
        const bool actual = kind == 2 || kind == 3;
        const std::vector<std::int16_t> image =
            actual ? touchedFrame(rxN, txN) : panel_.frame(FrameKind::Raw, rxN, txN, false);
        const std::vector<std::int16_t> again =
            actual ? touchedFrame(rxN, txN) : panel_.frame(FrameKind::Raw, rxN, txN, false);
        streamFrame_.assign(cells, 0);
        for (std::size_t t = 0; t + 1 < rows; ++t)
            for (std::size_t r = 0; r < width; ++r)
                streamFrame_[t * width + r] =
                    image[(t + static_cast<std::size_t>(firstTx)) * static_cast<std::size_t>(rxN) + r +
                          static_cast<std::size_t>(firstRx)];
        for (std::size_t r = 0; r < width; ++r) {
            const std::size_t at = static_cast<std::size_t>(firstTx) * static_cast<std::size_t>(rxN) + r +
                                   static_cast<std::size_t>(firstRx);
            streamFrame_[(rows - 1) * width + r] = static_cast<std::int16_t>(std::abs(again[at] - image[at]));
        }
    }
    a[2] = static_cast<std::uint8_t>(static_cast<std::size_t>(firstRx) + streamCell_ % width);
    a[3] = static_cast<std::uint8_t>(static_cast<std::size_t>(firstTx) + streamCell_ / width);
    if (breakIndices_ > 0) {
        --breakIndices_;
        a[2] = static_cast<std::uint8_t>(a[2] + 1);
    }
    // A frame ends inside an answer: the rest of that answer stays empty, the next starts a frame.
    const std::size_t perAnswer = wide ? kSamplesPerAnswer : 2 * kSamplesPerAnswer;
    for (std::size_t i = 0; i < perAnswer && streamCell_ < cells; ++i, ++streamCell_)
        putSample(a, 4, i, wide, streamFrame_[streamCell_]);
    if (streamCell_ >= cells) streamCell_ = 0;
}

// One area around each of the operator's fingers (two cells each way, held to the panel); a
// bound on the panel's edge carries bit 7 (the firmware does not trim it). Without fingers every
// answer tells an empty set. Each area opens with its bounds, samples from byte 8; the answers
// that continue it carry the Rx and Tx of their first sample and samples from byte 6.
void ControllerDevice::fillAreaStream(std::vector<std::uint8_t>& a) {
    const int rxN = rxCount();
    const int txN = txCount();
    // A set cut from a frame of other counts (a register write between answers) starts again.
    if (areaFrame_.size() != cellIndex(txN, rxN, 0)) areas_.clear();
    if (areas_.empty() || areaIndex_ >= areas_.size()) {
        areas_.clear();
        areaIndex_ = areaCell_ = 0;
        const OperatorInput in = operator_.inputAt(nowMs());
        for (const FingerContact& c : in.fingers) {
            if (areas_.size() >= 255) break;
            const int r = static_cast<int>(std::lround(c.at.x * (rxN - 1)));
            const int t = static_cast<int>(std::lround(c.at.y * (txN - 1)));
            areas_.push_back(
                {std::max(r - 2, 0), std::max(t - 2, 0), std::min(r + 2, rxN - 1), std::min(t + 2, txN - 1)});
        }
        if (areas_.empty()) return;  // byte 2 = 0: an empty set
        areaFrame_ = touchedFrame(rxN, txN);
    }
    const bool wide = (responseType_ >> 4) != 0;
    const auto& box = areas_[areaIndex_];
    const int width = box[2] - box[0] + 1;
    const std::size_t cells = cellIndex(box[3] - box[1] + 1, width, 0);
    a[2] = static_cast<std::uint8_t>(areas_.size() - areaIndex_);
    const auto rx = static_cast<std::uint8_t>(box[0] + static_cast<int>(areaCell_) % width);
    const auto tx = static_cast<std::uint8_t>(box[1] + static_cast<int>(areaCell_) / width);
    std::size_t from = 6;
    if (areaCell_ == 0) {
        a[3] = static_cast<std::uint8_t>(areaIndex_ + 1);
        a[4] = static_cast<std::uint8_t>(box[0] | (box[0] == 0 ? 0x80 : 0));
        a[5] = static_cast<std::uint8_t>(box[1] | (box[1] == 0 ? 0x80 : 0));
        a[6] = static_cast<std::uint8_t>(box[2] | (box[2] == rxN - 1 ? 0x80 : 0));
        a[7] = static_cast<std::uint8_t>(box[3] | (box[3] == txN - 1 ? 0x80 : 0));
        from = 8;
    } else {
        a[3] = 0;
        a[4] = rx;
        a[5] = tx;
    }
    const std::size_t perAnswer = (64 - from) / (wide ? 2 : 1);
    for (std::size_t i = 0; i < perAnswer && areaCell_ < cells; ++i, ++areaCell_) {
        const int r = box[0] + static_cast<int>(areaCell_) % width;
        const int t = box[1] + static_cast<int>(areaCell_) / width;
        putSample(a, from, i, wide, areaFrame_[cellIndex(t, rxN, r)]);
    }
    if (areaCell_ >= cells) {
        ++areaIndex_;
        areaCell_ = 0;
    }
}

// Record r of a record frame: the actual data of Tx row r (mod the Tx count) at Rx 0..4.
void ControllerDevice::fillRecordStream(std::vector<std::uint8_t>& a) {
    const int rxN = rxCount();
    const int txN = txCount();
    if (recordIndex_ == 0 || recordFrame_.size() != cellIndex(txN, rxN, 0)) recordFrame_ = touchedFrame(rxN, txN);
    a[2] = static_cast<std::uint8_t>(recordSequence_ & 0xFF);
    a[3] = static_cast<std::uint8_t>(recordIndex_ & 0xFF);
    const int t = static_cast<int>(recordIndex_ % static_cast<std::uint32_t>(txN));
    for (int k = 0; k < 5; ++k)
        put16(a, 4 + 2 * static_cast<std::size_t>(k),
              static_cast<std::uint16_t>(recordFrame_[cellIndex(t, rxN, std::min(k, rxN - 1))]));
    if (++recordIndex_ >= std::max<std::uint32_t>(config_.rowsPerRecordFrame, 1)) {
        recordIndex_ = 0;
        ++recordSequence_;
    }
}

// Row r of a column frame: the raw scan of Tx row r (mod the Tx count), 29 columns an answer;
// a row ends inside an answer and the next row starts the next answer.
void ControllerDevice::fillColumnStream(std::vector<std::uint8_t>& a) {
    const int rxN = rxCount();
    const int txN = txCount();
    if ((columnRow_ == 0 && streamCell_ == 0) || recordFrame_.size() != cellIndex(txN, rxN, 0))
        recordFrame_ = panel_.frame(FrameKind::Raw, rxN, txN, false);
    a[2] = static_cast<std::uint8_t>(columnSequence_ & 0xFF);
    a[3] = static_cast<std::uint8_t>(columnRow_ & 0xFF);
    a[4] = static_cast<std::uint8_t>(streamCell_);
    const int t = static_cast<int>(columnRow_ % static_cast<std::uint32_t>(txN));
    for (std::size_t at = 6; at + 2 <= 64 && streamCell_ < static_cast<std::size_t>(rxN); at += 2, ++streamCell_)
        put16(a, at, static_cast<std::uint16_t>(recordFrame_[cellIndex(t, rxN, 0) + streamCell_]));
    if (streamCell_ < static_cast<std::size_t>(rxN)) return;
    streamCell_ = 0;
    if (++columnRow_ >= std::max<std::uint32_t>(config_.rowsPerRecordFrame, 1)) {
        columnRow_ = 0;
        ++columnSequence_;
    }
}

// ---------------------------------------------------------------------------------------------
// Pen collection

bool ControllerDevice::setPen(std::span<const std::uint8_t> r) {
    switch (r[0]) {
        case 11:
            if (at(r, 1) > 1) return false;
            penReportType_ = at(r, 1);
            notify(penReportType_ == 1 ? OperatorEvent::CustomPenReport : OperatorEvent::NormalPenReport);
            return true;
        case 0x10:
            switch (at(r, 1)) {
                case 0x02:  // direct transfer: the 62-byte payload follows
                    for (std::size_t i = 0; i < directPayload_.size(); ++i) directPayload_[i] = at(r, 2 + i);
                    return true;
                case 0x81:
                    if (at(r, 2) == 0x01) {
                        penMaintenance_ = true;
                        notify(OperatorEvent::PenMaintenanceStart);
                    } else if (at(r, 2) == 0x02) {
                        penMaintenance_ = false;
                        notify(OperatorEvent::PenMaintenanceStop);
                    } else if (at(r, 2) == 0xA4) {  // TKP scan settings
                        notify(OperatorEvent::TkpScan);
                    } else {
                        return false;
                    }
                    return true;
                case 0x90:
                    return true;
                default:
                    return false;
            }
        case 0x12:
            return setTunnel(r);
        default:
            return false;
    }
}

std::vector<std::uint8_t> ControllerDevice::answerPen(std::uint8_t id) {
    switch (id) {
        case 5: {
            std::vector<std::uint8_t> a(9, 0);
            a[0] = 5;
            if (config_.generation == Generation::R6) {
                auto be = [&](std::size_t i, std::uint16_t v) {
                    a[i] = static_cast<std::uint8_t>(v >> 8);
                    a[i + 1] = static_cast<std::uint8_t>(v & 0xFF);
                };
                be(2, config_.penMaxX);
                be(4, config_.penMaxY);
                be(6, config_.penMaxPressure);
                a[8] = static_cast<std::uint8_t>(config_.penFirmware & 0xFF);
            } else {
                put16(a, 1, config_.penMaxX);
                put16(a, 3, config_.penMaxY);
                put16(a, 5, config_.penMaxPressure);
                put16(a, 7, config_.penFirmware);
            }
            return a;
        }
        case 0x10:
            return answerDirect();
        case 0x12:
            return answerTunnel();
        default:
            return {};
    }
}

// Values of the four Hsync-related addresses; any other address reads as zeros.
std::vector<std::uint8_t> ControllerDevice::answerDirect() const {
    std::vector<std::uint8_t> a(64, 0);
    a[0] = 0x10;
    a[1] = 0x02;
    std::copy_n(directPayload_.begin(), 6, a.begin() + 2);
    const std::uint16_t address = static_cast<std::uint16_t>(directPayload_[4] | (directPayload_[5] << 8));
    std::size_t count = 0;
    switch (address) {
        case 0x4004:
            count = 4;
            break;
        case 0x501C:
            count = 5;
            break;
        case 0x11C0:
            count = 1;
            break;
        case 0x21FC:
            count = 2;
            break;
        default:
            break;
    }
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t v = static_cast<std::uint32_t>(address) << 16 | static_cast<std::uint32_t>(i << 4);
        if (address == 0x501C && i == 4 && config_.hsyncSignal) v |= 1u;
        put32(a, 8 + 4 * i, v);
    }
    return a;
}

bool ControllerDevice::setTunnel(std::span<const std::uint8_t> r) {
    const std::uint8_t op = at(r, 1);
    if (op != 0x40 && op != 0x80) return false;
    if (config_.hsync == HsyncMcu::None) return true;  // nobody behind the tunnel ever answers
    const std::uint64_t readyAt = nowMs() + config_.hsyncAnswerDelayMs;
    if (op == 0x40) {
        const auto sum = static_cast<std::uint8_t>(at(r, 3) + at(r, 4) + at(r, 5) + at(r, 6) + at(r, 7));
        tunnelCommand_ = le16(r, 5);
        const bool known = tunnelCommand_ == 0x7121 || tunnelCommand_ == 0x7122 || tunnelCommand_ == 0x7102 ||
                           tunnelCommand_ == 0x7104;
        const bool wellFormed =
            at(r, 2) == 0x01 && at(r, 3) == 0x03 && at(r, 4) == 0x51 && sum == 0 && at(r, 8) == 0x03;
        tunnelNak_ = !(known && wellFormed);
        if (!tunnelNak_ && hsyncNak_ > 0) {
            --hsyncNak_;
            tunnelNak_ = true;
        }
        const auto& samples = config_.hsyncSampleCycle;
        const auto& noises = config_.hsyncNoiseCycle;
        if (!tunnelNak_ && tunnelCommand_ == 0x7102)
            tunnelSample_ = samples.empty() ? config_.hsyncSample : samples[sampleTurn_++ % samples.size()];
        if (!tunnelNak_ && tunnelCommand_ == 0x7104)
            tunnelNoise_ = noises.empty() ? config_.hsyncNoise : noises[noiseTurn_++ % noises.size()];
        tunnel_ = TunnelPhase::Taken;
        tunnelReadyAt_ = readyAt;
        return true;
    }
    switch (tunnel_) {
        case TunnelPhase::Taken:
            tunnel_ = TunnelPhase::Ack;
            tunnelReadyAt_ = readyAt;
            break;
        case TunnelPhase::Ack:
            tunnel_ = tunnelNak_ ? TunnelPhase::Ack : TunnelPhase::Data;
            tunnelReadyAt_ = readyAt;
            break;
        default:
            break;  // the data stays readable until the next request
    }
    return true;
}

std::vector<std::uint8_t> ControllerDevice::answerTunnel() {
    std::vector<std::uint8_t> a(kTunnelLength, 0);
    a[0] = 0x12;
    if (tunnel_ == TunnelPhase::Idle || nowMs() < tunnelReadyAt_) return a;  // state 0: nothing yet
    a[2] = 0x01;
    switch (tunnel_) {
        case TunnelPhase::Taken:
            a[1] = 0x43;
            return a;
        case TunnelPhase::Ack:
            a[1] = 0x83;
            a[3] = 0x01;
            a[4] = tunnelNak_ ? 0x15 : 0x06;
            break;
        default: {
            a[1] = 0x83;
            a[3] = 0x02;
            std::uint16_t v = 0xFECA;  // what an MCU too old for these commands answers
            if (config_.hsync == HsyncMcu::Present) {
                switch (tunnelCommand_) {
                    case 0x7121:
                        v = config_.hsyncProductId;
                        break;
                    case 0x7122:
                        v = config_.hsyncVersion;
                        break;
                    // the sample travels high byte first
                    case 0x7102:
                        v = static_cast<std::uint16_t>(tunnelSample_ >> 8 | (tunnelSample_ & 0xFF) << 8);
                        break;
                    default:
                        v = static_cast<std::uint16_t>(tunnelNoise_);
                        break;
                }
            }
            put16(a, 4, v);
            break;
        }
    }
    const std::size_t end = 4 + a[3];
    std::uint8_t sum = 0;
    for (std::size_t i = 3; i < end; ++i) sum = static_cast<std::uint8_t>(sum + a[i]);
    a[end] = static_cast<std::uint8_t>(0u - sum);
    a[end + 1] = 0x03;
    return a;
}

// ---------------------------------------------------------------------------------------------
// Live input: the streams a controller sends while it scans, and the operator acting on it

namespace {

// A gaussian sample (Box–Muller over a 64-bit xorshift), so the streams repeat for a seed.
double gaussian(std::uint64_t& state) {
    auto uniform = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    };
    const double u1 = uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

}  // namespace

void ControllerDevice::notify(OperatorEvent event) { operator_.onEvent(event, states(), nowMs()); }

// The external switch dialog looks for the controller every 200 ms: it opens the touch node
// afresh, reads the touch query and does nothing more before its next look. The connect before a
// check reads the query on a fresh open too, but goes on with the maintenance set-up; so a look
// counts only when the exchange before it was a look as well.
void ControllerDevice::noteExchange(bool touchQuery) {
    const bool look = touchQuery && touchFresh_ && mode_ == 1;
    touchFresh_ = false;
    if (look && lastLook_) notify(OperatorEvent::ExtSwitchProbe);
    lastLook_ = look;
}

void ControllerDevice::opened(std::size_t iface) {
    if (iface != kTouchInterface) return;
    std::lock_guard lock(mutex_);
    if (touchFresh_) lastLook_ = false;  // the node opened before this saw no look
    touchFresh_ = true;
}

ConditionStates ControllerDevice::states() const {
    ConditionStates s{};
    s[static_cast<std::size_t>(OperatorCondition::MaintenanceMode)] = mode_ == 1;
    s[static_cast<std::size_t>(OperatorCondition::MaintenanceReport)] = reportType_ == 1;
    s[static_cast<std::size_t>(OperatorCondition::HomeKey)] = reportType_ == 2;
    s[static_cast<std::size_t>(OperatorCondition::CustomPenReport)] = penReportType_ == 1;
    s[static_cast<std::size_t>(OperatorCondition::PenMaintenance)] = penMaintenance_;
    return s;
}

void ControllerDevice::operate(const ActionList& actions) {
    std::lock_guard lock(mutex_);
    operator_.perform(actions, nowMs());
}

void ControllerDevice::advance(std::uint64_t nowMs) {
    Outbox out;
    std::optional<std::uint32_t> awayMs;
    {
        std::lock_guard lock(mutex_);
        operator_.start(nowMs);
        const std::uint64_t period = std::max<std::uint32_t>(config_.streamPeriodMs, 1);
        if (!ticking_) {
            ticking_ = true;
            lastTick_ = nowMs - nowMs % period;
            noiseState_ = 0x9E3779B97F4A7C15ull ^ config_.panel.seed;
        }
        if (nowMs > lastTick_ + kMaxCatchUpScans * period)
            lastTick_ = nowMs - nowMs % period - kMaxCatchUpScans * period;
        for (std::uint64_t t = lastTick_ + period; t <= nowMs; t += period) {
            lastTick_ = t;
            // The external switch resets the controller: it drops off the bus and comes back.
            if (const auto presses = operator_.switchPressesDue(t); !presses.empty()) {
                awayMs = presses.front();
                if (running_ == Firmware::Main) powerOn();
                ++resets_;
                lastTick_ = nowMs - nowMs % period;
                break;
            }
            if (running_ == Firmware::Main) scan(t, out);
        }
    }
    // Outside the lock: the bus takes its own.
    DeviceHost* h = host();
    if (h == nullptr) return;
    for (auto& [iface, report] : out) h->postInput(*this, iface, std::move(report));
    if (awayMs) h->reenumerate(*this, *awayMs);
}

void ControllerDevice::scan(std::uint64_t t, Outbox& out) {
    const OperatorInput in = operator_.inputAt(t);
    scanTime_ = static_cast<std::uint16_t>(scanTime_ + config_.streamPeriodMs * 10);
    const std::uint8_t reportType = reportTypeSentAt(t);
    if (reportType == 2)
        homeKeyReport(in, out);
    else if (reportType == 1)
        touchReports(in, out);
    else if (driverMode())
        digitizerReports(in, out);
    if (penReportType_ == 1) penReport(in, out);
    if (penMaintenance_ && config_.tkpLineReports) lineReports(in, out);
}

// The collections of the driver-mode pair deliver vendor reports inside [15, report…].
void ControllerDevice::postVendor(Outbox& out, std::size_t iface, std::vector<std::uint8_t> report) const {
    if (driverMode()) report.insert(report.begin(), 15);
    report.resize(kInputLength, 0);
    out.emplace_back(iface, std::move(report));
}

std::uint16_t ControllerDevice::touchX(double f) const {
    return static_cast<std::uint16_t>(std::lround(f * std::max(config_.touchMaxX - 1, 0)));
}
std::uint16_t ControllerDevice::touchY(double f) const {
    return static_cast<std::uint16_t>(std::lround(f * std::max(config_.touchMaxY - 1, 0)));
}

namespace {

struct FrameContact {
    std::uint8_t status;
    FingerContact finger;
};

// The fingers on the panel now (status 7: touching, in range, confident), then once more each
// finger that left since the last frame, at its last place (status 4: lifted).
std::vector<FrameContact> frameContacts(const std::vector<FingerContact>& now, std::vector<FingerContact>& last) {
    std::vector<FrameContact> frame;
    frame.reserve(now.size() + last.size());
    for (const auto& f : now) frame.push_back({7, f});
    for (const auto& f : last)
        if (std::none_of(now.begin(), now.end(), [&](const FingerContact& n) { return n.id == f.id; }))
            frame.push_back({4, f});
    last = now;
    return frame;
}

}  // namespace

std::size_t maintenanceSlotBytes(std::uint8_t format) {
    return 1 + 2 + ((format & 1) != 0 ? 4 : 0) + 2 + ((format & 4) != 0 ? 2 : 0) + 2 + ((format & 4) != 0 ? 2 : 0);
}

std::size_t maintenanceSlotsPerReport(std::uint8_t format, std::uint8_t slots) {
    const std::size_t fit = (ControllerDevice::kInputLength - 1 - 3 - 2) / maintenanceSlotBytes(format);
    return std::clamp<std::size_t>(slots, 1, fit);
}

// Maintenance touch reports (id 3) in the format the version answer announces: byte 2 the
// frame's contact count in its first report (0 in the others), the slots from byte 3, the
// scan time after the last slot, the same in every report of a frame.
void ControllerDevice::touchReports(const OperatorInput& in, Outbox& out) {
    const std::vector<FrameContact> frame = frameContacts(in.fingers, lastFingers_);
    if (frame.empty()) return;
    const std::uint8_t format = config_.maintenanceVersion[4];
    const std::size_t slotBytes = maintenanceSlotBytes(format);
    const std::size_t perReport = maintenanceSlotsPerReport(format, config_.maintenanceVersion[5]);
    for (std::size_t first = 0; first < frame.size(); first += perReport) {
        std::vector<std::uint8_t> r(3 + perReport * slotBytes + 2, 0);
        r[0] = 3;
        r[2] = first == 0 ? static_cast<std::uint8_t>(frame.size()) : 0;
        for (std::size_t k = 0; k < perReport && first + k < frame.size(); ++k) {
            const FrameContact& c = frame[first + k];
            std::size_t at = 3 + k * slotBytes;
            r[at++] = c.status;
            put16(r, at, c.finger.id);
            at += 2;
            if ((format & 1) != 0) {  // two size words
                put16(r, at, 0x0020);
                put16(r, at + 2, 0x0020);
                at += 4;
            }
            put16(r, at, touchX(c.finger.at.x));
            at += (format & 4) != 0 ? 4 : 2;
            put16(r, at, touchY(c.finger.at.y));
        }
        put16(r, 3 + perReport * slotBytes, scanTime_);
        postVendor(out, kTouchInterface, std::move(r));
    }
}

// Reports of the system's digitizer collection: five slots of flags, contact id, X and Y, then
// the contact count (in the first report of a frame) and the scan time.
void ControllerDevice::digitizerReports(const OperatorInput& in, Outbox& out) {
    const std::vector<FrameContact> frame = frameContacts(in.fingers, lastDigitizerFingers_);
    for (std::size_t first = 0; first < frame.size(); first += kDigitizerSlots) {
        std::vector<std::uint8_t> r(1 + kDigitizerSlots * 7 + 3, 0);
        r[0] = kDigitizerReportId;
        for (std::size_t k = 0; k < kDigitizerSlots && first + k < frame.size(); ++k) {
            const FrameContact& c = frame[first + k];
            const std::size_t at = 1 + k * 7;
            r[at] = c.status;
            put16(r, at + 1, c.finger.id);
            put16(r, at + 3, touchX(c.finger.at.x));
            put16(r, at + 5, touchY(c.finger.at.y));
        }
        const std::size_t tail = 1 + kDigitizerSlots * 7;
        r[tail] = first == 0 ? static_cast<std::uint8_t>(frame.size()) : 0;
        put16(r, tail + 1, scanTime_);
        out.emplace_back(kDigitizerInterface, std::move(r));
    }
}

// Home key raw report: N bases, then N values, 32-bit each; touching raises every value.
void ControllerDevice::homeKeyReport(const OperatorInput& in, Outbox& out) {
    const std::size_t n = std::clamp<std::uint32_t>(config_.homeKeyPins, 1, 7);
    std::vector<std::uint8_t> r(1 + 8 * n, 0);
    r[0] = 3;
    for (std::size_t i = 0; i < n; ++i) {
        const double base = config_.homeKeyBase + config_.homeKeyNoise / 2.0 * gaussian(noiseState_);
        const bool weak = config_.homeKeyWeakPin >= 0 && static_cast<std::size_t>(config_.homeKeyWeakPin) == i;
        const double rise = weak ? in.homeKeyRise * config_.homeKeyWeakPercent / 100.0 : in.homeKeyRise;
        const double value = config_.homeKeyLevel + rise + config_.homeKeyNoise * gaussian(noiseState_);
        put32(r, 1 + 4 * i, static_cast<std::uint32_t>(std::max(std::lround(base), 0L)));
        put32(r, 1 + 4 * (n + i), static_cast<std::uint32_t>(std::max(std::lround(value), 0L)));
    }
    postVendor(out, kTouchInterface, std::move(r));
}

// EMR pen (id 11): status (0x21 tip down, 0x20 hovering), X, Y, pressure; once 0 when it leaves.
void ControllerDevice::penReport(const OperatorInput& in, Outbox& out) {
    if (!in.pen.inRange && !penInRange_) return;
    const PenInput& p = in.pen.inRange ? in.pen : lastPen_;
    std::vector<std::uint8_t> r(8, 0);
    r[0] = 11;
    r[1] = !in.pen.inRange ? 0x00 : p.tip ? 0x21 : 0x20;
    put16(r, 2, static_cast<std::uint16_t>(std::lround(p.at.x * config_.penMaxX)));
    put16(r, 4, static_cast<std::uint16_t>(std::lround(p.at.y * config_.penMaxY)));
    put16(r, 6,
          in.pen.inRange && p.tip ? static_cast<std::uint16_t>(std::lround(p.pressure * config_.penMaxPressure)) : 0);
    penInRange_ = in.pen.inRange;
    lastPen_ = in.pen;
    if (driverMode()) {
        postVendor(out, kPenInterface, std::move(r));
    } else {
        r.resize(16, 0);
        out.emplace_back(kPenInterface, std::move(r));
    }
}

// TKP line reports (id 15): per axis the line count, the first line, then n | axis << 7 and n
// 16-bit samples, at most 18 a report. X lines are the Rx lines, Y lines the Tx lines.
void ControllerDevice::lineReports(const OperatorInput& in, Outbox& out) {
    const int counts[2] = {rxCount(), txCount()};
    for (int axis = 0; axis < 2; ++axis) {
        const int lines = counts[axis];
        const double under = in.tkp ? (axis == 0 ? in.tkp->x : in.tkp->y) * (lines - 1) : -100.0;
        for (int first = 0; first < lines; first += static_cast<int>(kLineSamples)) {
            const int n = std::min(lines - first, static_cast<int>(kLineSamples));
            std::vector<std::uint8_t> r(4 + 2 * static_cast<std::size_t>(n), 0);
            r[0] = 15;
            r[1] = static_cast<std::uint8_t>(lines);
            r[2] = static_cast<std::uint8_t>(first);
            r[3] = static_cast<std::uint8_t>(n | (axis << 7));
            for (int j = 0; j < n; ++j) {
                double noise = config_.tkpNoise + config_.tkpNoiseSigma * gaussian(noiseState_);
                if (axis == 0 && first + j == config_.tkpNoisyX) noise += config_.tkpNoisyLevel;
                const double d = std::abs(first + j - under);
                const double signal = d < 2.5 ? config_.tkpSignal * (1 - d / 2.5) : 0.0;
                put16(r, 4 + 2 * static_cast<std::size_t>(j),
                      static_cast<std::uint16_t>(std::clamp(std::lround(noise + signal), 0L, 4095L)));
            }
            postVendor(out, kPenInterface, std::move(r));
        }
    }
}

}  // namespace sim
