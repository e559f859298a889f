#include "station/logs/station_log_files.h"

#include "station/logs/detail_csv.h"
#include "station/logs/detail_csv_header.h"
#include "station/logs/result_log.h"
#include "station/sequence/station_state.h"

namespace station {

bool StationLogFiles::openResultLog(Station& station) { return OpenResultLog(station); }

void StationLogFiles::buildDetailCsvHeader(Station& station) { BuildDetailCsvHeader(station); }

void StationLogFiles::beginCheck(Station& station) {
    station.check.detailCsv.clear();
    for (const std::string& failure : removeSimpleResult(station.recipe)) recordFailed(station, failure);
}

void StationLogFiles::writeDetailCsv(Station& station, bool ok) {
    const DetailCsvWrite written = station::writeDetailCsv(station.recipe, station.check, station.logFiles, ok);
    station.check.detailCsv = written.detailCsv;
    for (const std::string& failure : written.failures) recordFailed(station, failure);
}

bool StationLogFiles::appendResultRow(Station& station) { return AppendResultRow(station); }

void StationLogFiles::closeResultLog(Station& station) { CloseResultLog(station); }

}  // namespace station
