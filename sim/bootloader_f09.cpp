#include "sim/bootloader_f09.h"

namespace sim {
namespace {

std::uint16_t le16(std::span<const std::uint8_t> r, std::size_t i) {
    return static_cast<std::uint16_t>(r[i] | r[i + 1] << 8);
}

}  // namespace

// Short frames end in two check bytes: one over the header (with 0x51 added), one over the data.
bool BootloaderF09::frameIntact(std::span<const std::uint8_t> frame) const {
    if (!shape().shortFrames) return true;
    unsigned header = 0x51, data = 0;
    for (std::size_t i = 0; i < 8; ++i) header += frame[i];
    for (std::size_t i = 8; i < 72; ++i) data += frame[i];
    return frame[72] == static_cast<std::uint8_t>(0u - header) && frame[73] == static_cast<std::uint8_t>(0u - data);
}

bool BootloaderF09::olderImage(std::span<const std::uint8_t> frame) const {
    const std::uint32_t address = static_cast<std::uint32_t>(frame[3] | frame[4] << 8 | frame[5] << 16) |
                                  static_cast<std::uint32_t>(frame[6]) << 24;
    const std::uint32_t at = config_.versionAddress;
    if (at < address || at - address > blockBytes() - 2) return false;
    const std::uint16_t version = le16(blockData(frame), at - address);
    return version != 0xFFFF && version < mainVersion_;
}

bool BootloaderF09::command(std::span<const std::uint8_t> frame, Reply& reply) {
    const bool recent = config_.version > kOldVersion;
    switch (frame[1]) {
        case kWriteBlock:
            // A normal write matches the image with the device; a forced one ignores matching.
            reply = olderImage(frame) ? Reply{kVersionOlder, 0} : writeBlock(frame, false);
            return true;
        case kForceWriteBlock:
            reply = writeBlock(frame, false);
            return true;
        case kEncryptedBlock:
            if (!recent) return false;
            // The image is stored as it arrives; only the order of the steps is checked.
            reply = matched_ ? writeBlock(frame, false) : Reply{ublstatus::kNotMatched, 0};
            return true;
        case kSecurity: {
            const std::uint8_t request = frame[3];
            if (request != 0x00 && request != kSecurityOn) {
                reply.status = ublstatus::kFrameError;
                return true;
            }
            if (config_.writeProtectError) {
                reply.status = static_cast<std::uint8_t>(security_ | kWriteProtectError);
                return true;
            }
            if (request == kSecurityOn) security_ = kSecurityOn;
            reply.status = security_;
            return true;
        }
        case kCompareChecksum:
            if (!recent) return false;
            reply.status = flash_.checksum(flash_.extent()) == le16(frame, 3) ? ublstatus::kDone : 0x01;
            return true;
        case kDataMatching: {
            if (!recent) return false;
            const std::uint16_t pid = le16(frame, 3), version = le16(frame, 5);
            if (pid != mainProductId_)
                reply.status = 0x0D;
            else if (version < mainVersion_)
                reply.status = 0x0E;
            else
                matched_ = true;
            return true;
        }
        case kConfirm:
            if (!recent) return false;
            reply.status = config_.confirmStatus;
            if (reply.status == ublstatus::kDone) confirmed_ = true;
            return true;
        default:
            return false;
    }
}

}  // namespace sim
