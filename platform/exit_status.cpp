#include "platform/exit_status.h"

namespace platform {

int shellExitStatus(std::int32_t code) {
    const int status = static_cast<int>(static_cast<std::uint32_t>(code) & 0xFFu);
    return code != 0 && status == 0 ? 1 : status;
}

}  // namespace platform
