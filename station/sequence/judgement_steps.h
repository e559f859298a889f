#pragma once
// The sequence's automatic steps carried out by the short check, the raw data reads and
// judgement and the Hsync MCU checks.

#include "station/sequence/check_steps.h"
#include "station/sequence/hsync_checks.h"
#include "station/sequence/raw_judgement.h"
#include "station/sequence/raw_reads.h"
#include "station/sequence/short_check.h"

namespace station {

class JudgementSteps final : public AutomaticChecks {
public:
    void readHsyncInfo(CheckContext& c) override;
    StepOutcome hsyncChecks(CheckContext& c) override;
    StepOutcome prepareAndRead(CheckContext& c) override;
    StepOutcome shortCheck(CheckContext& c) override;
    StepOutcome rawJudgement(CheckContext& c) override;

    // What the MCU showed last; what a check measures goes into its record.
    HsyncInfo hsyncInfo;
};

}  // namespace station
