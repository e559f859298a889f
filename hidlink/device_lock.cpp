#include "hidlink/device_lock.h"

#include <random>

namespace hidlink {

std::uint64_t newOwnerId() {
    std::random_device rd;
    std::uint64_t id = 0;
    while (id == 0) id = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
    return id;
}

std::string inUseText(const std::string& device, const std::string& holder) {
    return device + " is in use by " + (holder.empty() ? std::string("another program") : holder);
}

}  // namespace hidlink
