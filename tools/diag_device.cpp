#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "platform/clock.h"
#include "platform/stop_signals.h"
#include "tools/device_diag.h"
#include "tools/diag_commands.h"

namespace diag {

int runDevice(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(deviceDiagUsage(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    // Ctrl+C (or a closed terminal) ends a live view cleanly: readers stopped, the controller
    // back in normal mode. Taken before any thread starts.
    static std::atomic<bool> stop{false};
    platform::StopSignalWatcher signals;
    std::string error;
    if (!signals.start([](int) { stop = true; }, error)) {
        std::fprintf(stderr, "vorlick-diag: %s\n", error.c_str());
        return 2;
    }
    auto backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::fprintf(stderr, "vorlick-diag: %s\n", error.c_str());
        return 2;
    }
    return runDeviceDiag(*backend, platform::systemClock(), args, stdout, stderr, &stop);
}

}  // namespace diag
