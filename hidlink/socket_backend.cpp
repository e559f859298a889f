// Placeholder until the simulator socket client lands.
#include "hidlink/socket_backend.h"

namespace hidlink {

std::unique_ptr<Backend> connectSocketBackend(const std::string& socketPath, std::string& error) {
    error = "cannot reach the simulator at " + socketPath;
    return nullptr;
}

}  // namespace hidlink
