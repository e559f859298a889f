#pragma once
// A controller with a bootloader of either generation, scripted for the writer's tests: main
// firmware that answers "Enter UBL." by becoming its bootloader (F11 by leaving the bus and
// coming back with product id 0x0094; F09 on the same collection with product id 0x0112), a
// 0x2C000-byte flash, and hooks to refuse or falsify any exchange.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controllerlink/vendor_ids.h"
#include "sim/descriptor_builder.h"
#include "sim/virtual_device.h"

namespace romwrite::testing {

using Bytes = std::vector<std::uint8_t>;

struct BootloaderSpec {
    bool f11 = true;
    std::uint16_t usagePage = 0xFF11;
    std::uint16_t usage = 0x11;  // 0x0B: every report wrapped in the 1024-byte frame
    std::uint16_t vendorId = static_cast<std::uint16_t>(controllerlink::VID_PRIMARY);
    std::uint16_t mainPid = 0x4001;
    std::uint16_t mainVersion = 0x0203;  // bcdDevice of the main firmware
    std::uint8_t deviceType = 1;         // byte 1 of report 2 on the main firmware
    bool startInBootloader = false;
    std::uint8_t ublVersion = 0x54;
    std::uint8_t mpuType = 0x21;
    std::uint8_t security = 0;
    std::uint16_t lockedPid = 0x0123;  // what data matching accepts
    std::uint16_t fileVersion = 0x0204;
    std::uint32_t reenumerateMs = 300;  // F11 bootloader entry and every exit
    int busyPerCommand = 0;             // busy answers before each command's answer
    int eraseBusy = 3;                  // busy answers of the erase poll
};

struct SeenCommand {
    std::uint8_t code = 0, byte2 = 0;
    std::uint32_t address = 0;
};

class ScriptedBootloader final : public sim::VirtualDevice {
public:
    explicit ScriptedBootloader(BootloaderSpec spec) : spec_(spec), flash_(0x2C000, 0xFF) {
        inBootloader_ = spec.startInBootloader;
    }

    // Called with every response before it is served; may change it.
    std::function<void(const SeenCommand&, Bytes&)> tamper;
    // Called before every transfer (1-based count of sets or gets); false refuses it.
    std::function<bool(int)> admitSet, admitGet;
    // Status of the answer to block n (1-based, in order sent); nullopt: 0.
    std::function<std::optional<std::uint8_t>(int)> blockStatus;
    // Told of every transfer the device takes, in order: "get N" for report N, "set 2" for
    // "Enter UBL.", "command 0xNN" for a command report.
    std::function<void(const std::string&)> onTransfer;

    Bytes flashBytes() const {
        std::lock_guard lock(m_);
        return flash_;
    }
    std::vector<SeenCommand> commands() const {
        std::lock_guard lock(m_);
        return seen_;
    }
    bool inBootloader() const {
        std::lock_guard lock(m_);
        return inBootloader_;
    }
    bool confirmed() const {
        std::lock_guard lock(m_);
        return confirmed_;
    }
    std::uint8_t security() const {
        std::lock_guard lock(m_);
        return spec_.security;
    }
    int exits() const {
        std::lock_guard lock(m_);
        return exits_;
    }
    int enters() const {
        std::lock_guard lock(m_);
        return enters_;
    }
    int getsOf(std::uint8_t id) const {
        std::lock_guard lock(m_);
        return id < 16 ? getsById_[id] : 0;
    }
    bool checkBytesOk() const {
        std::lock_guard lock(m_);
        return checkBytesOk_;
    }

    sim::UsbIdentity usbIdentity() const override {
        std::lock_guard lock(m_);
        const bool boot = inBootloader_;
        std::uint16_t pid = spec_.mainPid;
        if (boot) pid = spec_.f11 ? 0x0094 : 0x0112;
        return {spec_.vendorId, pid, spec_.mainVersion};
    }
    std::size_t interfaceCount() const override { return 1; }
    std::vector<std::uint8_t> reportDescriptor(std::size_t) const override {
        using R = sim::ReportSpec;
        std::vector<R> reports;
        if (wrapped()) {
            reports = {{R::Feature, 0xBB, 1024}};
        } else {
            const std::uint16_t cmd = spec_.f11 ? 257 : spec_.usage == 0x01 ? 74 : 520;
            const std::uint16_t rsp = spec_.f11 ? 136 : spec_.usage == 0x01 ? 4 : 136;
            reports = {{R::Feature, 2, 2}, {R::Feature, 4, 16}, {R::Feature, 7, cmd}, {R::Feature, 8, rsp}};
        }
        return sim::buildVendorDescriptor({{spec_.usagePage, spec_.usage, reports}});
    }

    long getFeature(std::size_t, std::span<std::uint8_t> report) override {
        std::lock_guard lock(m_);
        if (admitGet && !admitGet(++gets_)) return -1;
        if (onTransfer && !report.empty())
            onTransfer("get " + std::to_string(wrapped() && report.size() > 3 ? report[3] : report[0]));
        if (wrapped()) {
            if (report.size() < 4) return -1;
            const std::size_t len = (std::size_t{report[1]} << 8) | report[2];
            if (len == 0 || len + 3 > report.size()) return -1;
            Bytes inner(len, 0);
            inner[0] = report[3];
            if (!answer(inner)) return -1;
            std::fill(report.begin() + 3, report.end(), std::uint8_t{0});
            std::copy(inner.begin(), inner.end(), report.begin() + 3);
            return static_cast<long>(report.size());
        }
        Bytes inner(report.size(), 0);
        inner[0] = report[0];
        if (!answer(inner)) return -1;
        std::copy(inner.begin(), inner.end(), report.begin());
        return static_cast<long>(report.size());
    }

    bool setFeature(std::size_t, std::span<const std::uint8_t> report) override {
        std::lock_guard lock(m_);
        if (admitSet && !admitSet(++sets_)) return false;
        if (wrapped()) {
            if (report.size() < 4 || report[0] != 0xBB) return false;
            const std::size_t len = (std::size_t{report[1]} << 8) | report[2];
            if (len == 0 || len + 3 > report.size()) return false;
            return command(report.subspan(3, len));
        }
        return command(report);
    }

private:
    bool wrapped() const { return spec_.usage == 0x0B; }
    bool shortFrames() const { return !spec_.f11 && spec_.usage == 0x01; }
    std::size_t blockBytes() const { return spec_.f11 ? 128 : shortFrames() ? 64 : 512; }

    bool answer(Bytes& r) {
        const std::uint8_t id = r[0];
        if (id < 16) ++getsById_[id];
        if (id == 2) {
            if (r.size() >= 2) r[1] = inBootloader_ ? 2 : spec_.deviceType;
            return true;
        }
        if (id == 4 && !inBootloader_ && r.size() >= 14) {
            r[11] = static_cast<std::uint8_t>(spec_.mainVersion);
            r[12] = static_cast<std::uint8_t>(spec_.mainVersion >> 8);
            r[13] = 7;
            return true;
        }
        if (id != 8 || !inBootloader_) return false;
        if (r.size() < 4) return false;
        r[1] = last_.code;
        r[2] = last_.byte2;
        if (busyLeft_ > 0) {
            --busyLeft_;
            r[3] = 0x80;
        } else {
            r[3] = status_;
        }
        if (tamper) tamper(last_, r);
        return true;
    }

    bool command(std::span<const std::uint8_t> f) {
        if (onTransfer && !f.empty()) {
            char what[24];
            if (f[0] == 7 && f.size() > 1)
                std::snprintf(what, sizeof what, "command 0x%02X", f[1]);
            else
                std::snprintf(what, sizeof what, "set %u", f[0]);
            onTransfer(what);
        }
        if (f.size() == 2 && f[0] == 2 && f[1] == 2) {
            ++enters_;
            if (inBootloader_) return true;
            inBootloader_ = true;
            if (spec_.f11 && host() != nullptr) host()->reenumerate(*this, spec_.reenumerateMs);
            return true;
        }
        if (!inBootloader_ || f.size() < 8 || f[0] != 7) return false;
        SeenCommand c{f[1], f[2], static_cast<std::uint32_t>(f[3] | f[4] << 8 | f[5] << 16 | f[6] << 24)};
        seen_.push_back(c);
        last_ = c;
        busyLeft_ = spec_.busyPerCommand;
        status_ = 0;
        if (shortFrames()) {
            Bytes copy(f.begin(), f.end());
            const std::uint8_t b72 = copy[72], b73 = copy[73];
            auto sum = [&](std::size_t a, std::size_t b) {
                unsigned s = 0;
                for (std::size_t i = a; i < b; ++i) s += copy[i];
                return s;
            };
            if (b72 != static_cast<std::uint8_t>(0u - (sum(0, 8) + 0x51)) ||
                b73 != static_cast<std::uint8_t>(0u - sum(8, 72)))
                checkBytesOk_ = false;
        }
        switch (c.code) {
            case 0x01:
            case 0x80:
            case 0x84: {
                ++blocks_;
                const std::size_t n = blockBytes();
                if (f[7] != n / 8 || c.address < 0x8000 || c.address - 0x8000 + n > flash_.size() || f.size() < 8 + n) {
                    status_ = 0x01;
                    break;
                }
                if (blockStatus) {
                    if (auto st = blockStatus(blocks_)) {
                        status_ = *st;
                        break;
                    }
                }
                std::copy_n(f.begin() + 8, n, flash_.begin() + (c.address - 0x8000));
                written_ = std::max<std::size_t>(written_, c.address - 0x8000 + n);
                break;
            }
            case 0x03:
                ++exits_;
                inBootloader_ = false;
                if (host() != nullptr) host()->reenumerate(*this, spec_.reenumerateMs);
                break;
            case 0x04:
                status_ = spec_.ublVersion;
                break;
            case 0x05:
                status_ = spec_.mpuType;
                break;
            case 0x07:
                status_ = 6;
                break;
            case 0x81:
                if (f[3] == 0x0F) spec_.security = 0x0F;
                status_ = spec_.security;
                break;
            case 0x83: {
                unsigned sum = 0;
                for (std::size_t i = 0; i < written_; ++i) sum += flash_[i];
                status_ = (sum & 0xFFFF) == static_cast<unsigned>(f[3] | f[4] << 8) ? 0 : 1;
                break;
            }
            case 0x85:
                status_ = (f[3] | f[4] << 8) == spec_.lockedPid && (f[5] | f[6] << 8) == spec_.fileVersion ? 0 : 1;
                break;
            case 0x86:
                confirmed_ = true;
                break;
            case 0x90:
                std::fill(flash_.begin(), flash_.end(), std::uint8_t{0xFF});
                written_ = 0;
                busyLeft_ = spec_.eraseBusy;
                break;
            default:
                status_ = 0x01;
                break;
        }
        return true;
    }

    mutable std::mutex m_;
    BootloaderSpec spec_;
    Bytes flash_;
    std::size_t written_ = 0;
    bool inBootloader_ = false;
    bool confirmed_ = false;
    bool checkBytesOk_ = true;
    SeenCommand last_;
    int busyLeft_ = 0;
    std::uint8_t status_ = 0;
    int sets_ = 0, gets_ = 0, blocks_ = 0, exits_ = 0, enters_ = 0;
    int getsById_[16] = {};
    std::vector<SeenCommand> seen_;
};

}  // namespace romwrite::testing
