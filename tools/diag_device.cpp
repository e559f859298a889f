#include <cstdio>
#include <string>
#include <vector>

#include "hidlink/backend.h"
#include "platform/clock.h"
#include "tools/device_diag.h"
#include "tools/diag_commands.h"

namespace diag {

int runDevice(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(deviceDiagUsage(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    std::string error;
    auto backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) {
        std::fprintf(stderr, "vorlick-diag: %s\n", error.c_str());
        return 2;
    }
    return runDeviceDiag(*backend, platform::systemClock(), args, stdout, stderr);
}

}  // namespace diag
