#pragma once
// Client side of vorlick-sim: every backend call becomes one request on a Unix socket. The
// backend keeps one socket for enumeration and each open collection gets its own, so a reader
// blocked on input never holds up the feature transfers of the same station.
#include <memory>
#include <string>

#include "hidlink/backend.h"

namespace platform {
class Clock;
}

namespace hidlink {

// How long one request may wait for its answer beyond what it asked for (an input read adds its
// own timeout). Transfers with a simulated latency must stay below it.
inline constexpr int kSimCallTimeoutMs = 5000;

// nullptr and one line in `error` when nothing answers at `socketPath`. `clock` bounds every
// call against the simulator's real time, so it must advance by itself: on a VirtualClock that
// nobody advances, a silent simulator or an input read would keep the caller waiting.
std::unique_ptr<Backend> connectSocketBackend(const std::string& socketPath, std::string& error);
std::unique_ptr<Backend> connectSocketBackend(const std::string& socketPath, std::string& error, int callTimeoutMs,
                                              platform::Clock& clock);

}  // namespace hidlink
