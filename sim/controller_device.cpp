#include "sim/controller_device.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "controllerlink/vendor_ids.h"
#include "platform/clock.h"
#include "sim/descriptor_builder.h"

namespace sim {
namespace {

constexpr std::uint8_t kRespRegisters = 0x15;
constexpr std::uint8_t kRespVersion = 0x0A;
constexpr std::uint8_t kRespCalibration = 0x19;
constexpr std::uint8_t kRespFrame = 0x0B;
constexpr std::uint8_t kRespFrameCalF = 0x12;
constexpr std::uint8_t kRespPins = 0x18;
// 16-bit image frames of the scan area, each followed by its noise row, streamed answer after
// answer while the raw data viewer polls.
constexpr std::uint8_t kRespImageStream = 0x10;

constexpr std::size_t kSamplesPerAnswer = 30;
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
    reportType_ = 0;
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
    return presented_ == Firmware::Bootloader ? 1 : 2;
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
        return {};
    }
    if (iface == kTouchInterface) {
        CollectionSpec touch{
            page,
            config_.touchUsage,
            {{R::Feature, 2, 2}, {R::Feature, 3, 64}, {R::Feature, 4, 16}, {R::Feature, 9, 64}, {R::Input, 1, 64}}};
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
                                        {R::Input, 6, 16}}}});
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
        if (a.empty() || refused(false, a)) return -1;
        const std::size_t n = std::min(a.size(), report.size());
        std::fill(report.begin(), report.end(), std::uint8_t{0});
        std::memcpy(report.data(), a.data(), n);
        return static_cast<long>(n);
    }
    const auto tag = static_cast<std::uint8_t>(iface == kTouchInterface ? 0xBB : 0xBA);
    if (report[0] != tag || report.size() < 4) return -1;
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
    if (a.empty() || refused(false, a)) return -1;
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
                    return true;
                case 0:
                    mode_ = 0;
                    reportType_ = 0;
                    return true;
                case 0xFF:
                    powerOn();
                    ++resets_;
                    resetNow = true;
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
            reportType_ = at(r, 1);
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
                    calibratedAt_ = nowMs();
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
                // Register word 45, bit 0: the touch scan runs.
                const bool scanning = config_.touchScanAfterMs >= 0 &&
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
        case kRespImageStream:
            fillImageStream(a);
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
            break;  // a type this model does not fill: the echo alone
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
    const auto width = static_cast<std::size_t>(rxN - firstRx);
    const auto rows = static_cast<std::size_t>(txN - firstTx) + 1;  // the noise row last
    const std::size_t cells = width * rows;
    if (streamCell_ == 0 || streamFrame_.size() != cells) {
        streamCell_ = 0;
        // Two reads of the panel: the first is the image, their difference the noise row.
        const std::vector<std::int16_t> image = panel_.frame(FrameKind::Raw, rxN, txN, false);
        const std::vector<std::int16_t> again = panel_.frame(FrameKind::Raw, rxN, txN, false);
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
    for (std::size_t i = 0; i < kSamplesPerAnswer && streamCell_ < cells; ++i, ++streamCell_)
        put16(a, 4 + 2 * i, static_cast<std::uint16_t>(streamFrame_[streamCell_]));
    if (streamCell_ >= cells) streamCell_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Pen collection

bool ControllerDevice::setPen(std::span<const std::uint8_t> r) {
    switch (r[0]) {
        case 11:
            if (at(r, 1) > 1) return false;
            penReportType_ = at(r, 1);
            return true;
        case 0x10:
            switch (at(r, 1)) {
                case 0x02:  // direct transfer: the 62-byte payload follows
                    for (std::size_t i = 0; i < directPayload_.size(); ++i) directPayload_[i] = at(r, 2 + i);
                    return true;
                case 0x81:
                    if (at(r, 2) == 0x01)
                        penMaintenance_ = true;
                    else if (at(r, 2) == 0x02)
                        penMaintenance_ = false;
                    else if (at(r, 2) != 0xA4)
                        return false;  // 0xA4: TKP scan settings
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

}  // namespace sim
