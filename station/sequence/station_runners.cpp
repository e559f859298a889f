#include "station/sequence/station_runners.h"

namespace station {

StationRunners::StationRunners(Station& station, ChildLauncher& children) : firmware_(station, children) {}

bool StationRunners::provides(RunnerCheck check) const {
    switch (check) {
        case RunnerCheck::FirmwareWrite:
        case RunnerCheck::HsyncFirmwareWrite:
            return true;
        default:
            return false;
    }
}

RunnerOutcome StationRunners::run(RunnerCheck which, CheckContext& /*check*/) {
    switch (which) {
        case RunnerCheck::FirmwareWrite:
            return {firmware_.writeFirmware(), {}};
        case RunnerCheck::HsyncFirmwareWrite:
            return {firmware_.writeHsyncFirmware(), {}};
        default:
            return {};  // not provided: the check cannot be carried out
    }
}

}  // namespace station
