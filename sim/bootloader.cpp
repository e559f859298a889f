#include "sim/bootloader.h"

#include <algorithm>
#include <cstring>

#include "sim/bootloader_f09.h"
#include "sim/bootloader_f11.h"

namespace sim {
namespace {

constexpr std::uint8_t kCommandId = 7;
constexpr std::uint8_t kResponseId = 8;
constexpr std::uint8_t kModeId = 2;
constexpr std::uint8_t kExit = 0x03;
constexpr std::uint8_t kReadVersion = 0x04;
constexpr std::uint8_t kReadMpuType = 0x05;
constexpr std::uint8_t kReadMode = 0x07;

std::uint32_t le32(std::span<const std::uint8_t> r, std::size_t i) {
    return static_cast<std::uint32_t>(r[i] | r[i + 1] << 8 | r[i + 2] << 16 |
                                      static_cast<std::uint32_t>(r[i + 3]) << 24);
}

}  // namespace

Bootloader::Bootloader(const BootloaderConfig& config, FlashModel& flash, BootloaderShape shape)
    : config_(config), flash_(flash), security_(config.security), shape_(shape), fired_(config.faults.size(), 0) {}

void Bootloader::start(std::uint16_t mainProductId, std::uint16_t mainVersion) {
    mainProductId_ = mainProductId;
    mainVersion_ = mainVersion;
    pending_ = {};
    lastSetId_ = 0;
    lastSequence_ = 0;
    nextAddress_ = 0;
    matched_ = false;
}

CollectionSpec Bootloader::collection() const {
    CollectionSpec c{shape_.usagePage, shape_.usage, {}};
    if (shape_.wrapped) {
        c.reports.push_back({ReportSpec::Feature, kWrapperId, kWrapperLength});
    } else {
        c.reports.push_back({ReportSpec::Feature, kModeId, 2});
        for (const ReportSpec& r : sharedReports()) c.reports.push_back(r);
    }
    return c;
}

std::vector<ReportSpec> Bootloader::sharedReports() const {
    if (shape_.wrapped) return {};
    return {{ReportSpec::Feature, kCommandId, static_cast<std::uint16_t>(commandLength())},
            {ReportSpec::Feature, kResponseId, static_cast<std::uint16_t>(responseLength())}};
}

bool Bootloader::setFeature(std::span<const std::uint8_t> report, Action& action) {
    action = Action::None;
    ++sets_;
    if (config_.refuseSet != 0 && sets_ == config_.refuseSet) return false;
    if (report.empty()) return false;
    std::span<const std::uint8_t> plain = report;
    if (shape_.wrapped) {
        if (report.size() < 4 || report[0] != kWrapperId) return false;
        const std::size_t len = static_cast<std::size_t>(report[1] << 8 | report[2]);
        if (len == 0 || len > report.size() - 3) return false;
        plain = report.subspan(3, len);
    } else if (report[0] == kWrapperId) {
        return false;
    }
    switch (plain[0]) {
        case kModeId:
            // "Enter UBL." once more: already there.
            if (plain.size() < 2 || plain[1] != 2) return false;
            lastSetId_ = kModeId;
            return true;
        case kCommandId:
            if (plain.size() != commandLength()) return false;
            lastSetId_ = kCommandId;
            return handleCommand(plain, action);
        default:
            return false;
    }
}

const BootloaderFault* Bootloader::fire(BootloaderFault::What what, std::span<const std::uint8_t> frame) {
    const std::uint8_t code = frame[1];
    const std::uint32_t address = le32(frame, 3);
    const std::uint32_t b = blockBytes();
    const bool block = isBlockCode(code) && address >= FlashModel::kBase && (address - FlashModel::kBase) % b == 0;
    const std::uint32_t index = block ? (address - FlashModel::kBase) / b : 0;
    for (std::size_t i = 0; i < config_.faults.size(); ++i) {
        const BootloaderFault& f = config_.faults[i];
        if (f.what != what) continue;
        if (f.atBlock ? !(block && f.block == index) : f.command != code) continue;
        if (f.times != 0 && fired_[i] >= f.times) continue;
        ++fired_[i];
        return &f;
    }
    return nullptr;
}

bool Bootloader::handleCommand(std::span<const std::uint8_t> frame, Action& action) {
    using What = BootloaderFault::What;
    if (fire(What::Unplug, frame) != nullptr) {
        action = Action::Unplug;
        return false;  // the request dies with the device
    }
    const std::uint8_t code = frame[1];
    if (code == kExit) {
        pending_ = {};
        action = Action::Restart;
        return true;
    }
    Pending p;
    p.any = true;
    p.code = code;
    p.param = frame[2];
    Reply reply;
    if (!frameIntact(frame)) {
        reply.status = ublstatus::kFrameError;
    } else if (fire(What::BusyForever, frame) != nullptr) {
        p.busyForever = true;
    } else if (const BootloaderFault* f = fire(What::Status, frame)) {
        reply.status = f->status;
    } else {
        switch (code) {
            case kReadVersion:
                reply.status = config_.version;
                break;
            case kReadMpuType:
                reply.status = config_.mpuType;
                break;
            case kReadMode:
                reply.status = ublstatus::kMode;
                break;
            default:
                if (!command(frame, reply)) reply.status = ublstatus::kUnknownCommand;
                break;
        }
    }
    p.status = reply.status;
    p.busyLeft = reply.busyPolls;
    p.echoBroken = fire(What::BreakEcho, frame) != nullptr;
    pending_ = p;
    return true;
}

std::span<const std::uint8_t> Bootloader::blockData(std::span<const std::uint8_t> frame) const {
    return frame.subspan(8, blockBytes());
}

Bootloader::Reply Bootloader::writeBlock(std::span<const std::uint8_t> frame, bool andWithFlash) {
    const std::uint32_t b = blockBytes();
    if (frame[7] != b / 8) return {ublstatus::kFrameError, 0};
    const std::uint32_t address = le32(frame, 3);
    if (address < FlashModel::kBase || (address - FlashModel::kBase) % b != 0 || address > flashEnd() ||
        flashEnd() - address < b)
        return {ublstatus::kAddressError, 0};
    const std::uint8_t sequence = frame[2];
    // A block at the start begins a new image with sequence 1; every other one follows the last.
    const bool inOrder = address == FlashModel::kBase
                             ? sequence == 1
                             : address == nextAddress_ && sequence == static_cast<std::uint8_t>(lastSequence_ + 1);
    if (!inOrder) return {ublstatus::kSequenceError, 0};
    if (!flash_.program(address, blockData(frame), andWithFlash)) return {ublstatus::kAddressError, 0};
    lastSequence_ = sequence;
    nextAddress_ = address + b;
    return {ublstatus::kDone, config_.blockBusyPolls};
}

std::vector<std::uint8_t> Bootloader::response() {
    std::vector<std::uint8_t> r(responseLength(), 0);
    r[0] = kResponseId;
    if (!pending_.any) return r;
    r[1] = pending_.code;
    r[2] = pending_.param;
    if (pending_.busyForever) {
        r[3] = ublstatus::kBusy;
    } else if (pending_.busyLeft > 0) {
        --pending_.busyLeft;
        r[3] = ublstatus::kBusy;
    } else {
        r[3] = pending_.status;
    }
    if (pending_.echoBroken) r[2] ^= 0xFF;
    return r;
}

long Bootloader::getFeature(std::span<std::uint8_t> report) {
    ++gets_;
    if (config_.refuseGet != 0 && gets_ == config_.refuseGet) return -1;
    if (report.empty()) return -1;
    auto answer = [&](std::uint8_t id) -> std::vector<std::uint8_t> {
        if (id == kModeId) return {kModeId, 2};
        if (id == kResponseId) return response();
        return {};
    };
    if (!shape_.wrapped) {
        const std::vector<std::uint8_t> a = answer(report[0]);
        if (a.empty()) return -1;
        const std::size_t n = std::min(a.size(), report.size());
        std::fill(report.begin(), report.end(), std::uint8_t{0});
        std::memcpy(report.data(), a.data(), n);
        return static_cast<long>(n);
    }
    if (report.size() < 4 || report[0] != kWrapperId) return -1;
    std::size_t want = static_cast<std::size_t>(report[1] << 8 | report[2]);
    std::uint8_t id = report[3];
    if (id == 0) {
        // A host that sends only the report id: the answer to what the last set asked.
        id = lastSetId_ == kModeId ? kModeId : kResponseId;
        want = 0;
    }
    const std::vector<std::uint8_t> a = answer(id);
    if (a.empty()) return -1;
    const std::size_t len = std::min(want != 0 ? want : a.size(), report.size() - 3);
    std::fill(report.begin(), report.end(), std::uint8_t{0});
    report[0] = kWrapperId;
    report[1] = static_cast<std::uint8_t>(len >> 8);
    report[2] = static_cast<std::uint8_t>(len & 0xFF);
    std::memcpy(report.data() + 3, a.data(), std::min(len, a.size()));
    return static_cast<long>(report.size());
}

std::unique_ptr<Bootloader> makeBootloader(BootloaderKind kind, const BootloaderConfig& config, FlashModel& flash,
                                           BootloaderShape shape) {
    if (kind == BootloaderKind::F11) return std::make_unique<BootloaderF11>(config, flash, shape);
    if (kind == BootloaderKind::F09) return std::make_unique<BootloaderF09>(config, flash, shape);
    return nullptr;
}

}  // namespace sim
