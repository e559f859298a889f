#pragma once
// The station's records behind the run control's logs port: the result log and the detail CSV
// of each check, written from the check's record.
#include "station/sequence/check_logs.h"

namespace station {

class StationLogFiles final : public CheckLogs {
public:
    bool openResultLog(Station& station) override;
    void buildDetailCsvHeader(Station& station) override;
    void beginCheck(Station& station) override;
    void writeDetailCsv(Station& station, bool ok) override;
    bool appendResultRow(Station& station) override;
    void keepDrawingSnapshots(Station& station, bool ok) override;
    void closeResultLog(Station& station) override;
};

}  // namespace station
