#pragma once
// The runners the station wires into its checks, one member per concern: today the firmware
// writers. A runner not provided here makes the station refuse a recipe that enables its check.
#include "station/sequence/check_steps.h"
#include "station/sequence/firmware_steps.h"

namespace station {

class Station;

class StationRunners : public CheckRunners {
public:
    explicit StationRunners(Station& station, ChildLauncher& children = systemChildLauncher());

    bool provides(RunnerCheck check) const override;
    RunnerOutcome run(RunnerCheck which, CheckContext& check) override;

private:
    FirmwareSteps firmware_;
};

}  // namespace station
