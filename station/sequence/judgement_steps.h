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
    void readHsyncInfo(Station& s) override;
    StepOutcome hsyncChecks(Station& s) override;
    StepOutcome prepareAndRead(Station& s) override;
    StepOutcome shortCheck(Station& s) override;
    StepOutcome rawJudgement(Station& s) override;

    // What the MCU showed last; what a check measures goes into its record.
    HsyncInfo hsyncInfo;
};

}  // namespace station
