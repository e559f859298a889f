#pragma once
// Client side of vorlick-sim: every backend call becomes one request on a Unix socket.
#include <memory>
#include <string>

#include "hidlink/backend.h"

namespace hidlink {

// nullptr and one line in `error` when nothing answers at `socketPath`.
std::unique_ptr<Backend> connectSocketBackend(const std::string& socketPath, std::string& error);

}  // namespace hidlink
