#pragma once
// The station's records behind the run control's logs port: the result log and the detail CSV
// of each check, with the data the automatic checks measured.
#include "station/sequence/check_logs.h"
#include "station/sequence/judgement_steps.h"

namespace station {

class StationLogFiles final : public CheckLogs {
public:
    explicit StationLogFiles(const JudgementSteps& judged) : judged_(judged) {}

    bool openResultLog(Station& station) override;
    void buildDetailCsvHeader(Station& station) override;
    void beginCheck(Station& station) override;
    void writeDetailCsv(Station& station, bool ok) override;
    bool appendResultRow(Station& station) override;
    void closeResultLog(Station& station) override;

private:
    const JudgementSteps& judged_;
};

}  // namespace station
