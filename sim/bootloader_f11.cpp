#include "sim/bootloader_f11.h"

namespace sim {

bool BootloaderF11::command(std::span<const std::uint8_t> frame, Reply& reply) {
    switch (frame[1]) {
        case kWriteBlock:
            reply = writeBlock(frame, true);
            return true;
        case kEraseAll:
            if (frame[2] != 0x01) {
                reply.status = ublstatus::kFrameError;
                return true;
            }
            // The erase takes a while: the first polls answer busy.
            if (config_.eraseStatus == ublstatus::kDone) flash_.erase();
            reply = {config_.eraseStatus, config_.eraseBusyPolls};
            return true;
        default:
            return false;
    }
}

}  // namespace sim
