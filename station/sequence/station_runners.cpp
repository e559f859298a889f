#include "station/sequence/station_runners.h"

#include "station/sequence/check_windows.h"
#include "station/sequence/scan_check.h"
#include "station/sequence/station_state.h"
#include "station/sequence/ui_port.h"
#include "station/sequence/window_runners.h"

namespace station {

StationRunners::StationRunners(Station& station, ChildLauncher& children)
    : s_(station), firmware_(station, children), reconnect_(station), switch_(reconnect_), postProcess_(children) {}

bool StationRunners::provides(RunnerCheck check) const {
    switch (check) {
        case RunnerCheck::FirmwareWrite:
        case RunnerCheck::HsyncFirmwareWrite:
        case RunnerCheck::ExternalSwitch:
        case RunnerCheck::Scan:
        case RunnerCheck::PostProcess:
            return true;
        // The operator's windows only where the front end can show them.
        case RunnerCheck::Drawing:
            return s_.ui.hasCheckWindow(CheckWindow::Drawing);
        case RunnerCheck::Tkp:
            return s_.ui.hasCheckWindow(CheckWindow::Tkp);
        case RunnerCheck::HomeKey:
            return s_.ui.hasCheckWindow(CheckWindow::HomeKey);
    }
    return false;
}

RunnerOutcome StationRunners::run(RunnerCheck which, CheckContext& check) {
    switch (which) {
        case RunnerCheck::FirmwareWrite:
            return {firmware_.writeFirmware(), {}};
        case RunnerCheck::HsyncFirmwareWrite:
            return {firmware_.writeHsyncFirmware(), {}};
        case RunnerCheck::ExternalSwitch:
            return switch_.run(check);
        case RunnerCheck::Scan:
            return runScanCheck(check);
        case RunnerCheck::PostProcess:
            return postProcess_.run(check, s_.startDirectory);
        case RunnerCheck::Drawing:
            return runDrawingCheck(check);
        case RunnerCheck::Tkp:
            return runTkpCheck(check);
        case RunnerCheck::HomeKey:
            return runHomeKeyCheck(check);
    }
    return {};  // not provided: the check cannot be carried out
}

}  // namespace station
