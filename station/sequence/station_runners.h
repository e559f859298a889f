#pragma once
// The runners the station wires into its checks, one member per concern: the firmware writers,
// the external switch, the scan check, the post-process and the operator windows the front end
// has. A runner not provided here makes the station refuse a recipe that enables its check.
#include "station/sequence/check_steps.h"
#include "station/sequence/connect.h"
#include "station/sequence/firmware_steps.h"
#include "station/sequence/post_process.h"
#include "station/sequence/switch_check.h"

namespace station {

class Station;

class StationRunners : public CheckRunners {
public:
    explicit StationRunners(Station& station, ChildLauncher& children = systemChildLauncher());

    bool provides(RunnerCheck check) const override;
    RunnerOutcome run(RunnerCheck which, CheckContext& check) override;

private:
    Station& s_;
    FirmwareSteps firmware_;
    StationReconnect reconnect_;
    ExternalSwitchCheck switch_;
    PostProcess postProcess_;
};

}  // namespace station
