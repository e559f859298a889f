#pragma once
// The engineer's single controller commands behind `vorlick-diag device`: find the touch
// collection by the generation's rules, open it (and the pen collection when the command needs
// it), enter maintenance mode, run one command, print what it read, return to normal mode.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "platform/clock.h"
#include "station/device/device_link.h"

namespace diag {

// Exit codes: 0 done, 1 the controller was not found, an operation failed, a frame read ran
// out of retries on blank frames, or the controller could not be put back in normal mode (each
// named on `err`, with the node's reason where the link has one), 2 usage error.
// `stop` (Ctrl+C) ends the live views (stream, watch, lines) cleanly; null: never.
int runDeviceDiag(hidlink::Backend& backend, platform::Clock& clock, const std::vector<std::string>& args,
                  std::FILE* out, std::FILE* err, const std::atomic<bool>* stop = nullptr);

// The usage text of `vorlick-diag device`.
const char* deviceDiagUsage();

// One CSV row per Tx line, rxCount values each (bounded by the grid), CR-less lines.
std::string formatGridCsv(const station::Grid& grid, std::uint32_t rxCount, std::uint32_t txCount);

// One line per Rx pin (72) and Tx pin (48): "Rx\t<n>\tused|unused\tOK|NG\tvdd=<0|1>\tgnd=<0|1>"
// (pins below the controller's line counts are used), then the fault counters.
std::string formatPinCheck(const station::PinCheck& check, std::uint32_t rxUsed, std::uint32_t txUsed);

}  // namespace diag
