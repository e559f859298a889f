#include "station/logs/station_log_files.h"

#include "station/logs/detail_csv.h"
#include "station/logs/detail_csv_header.h"
#include "station/logs/result_log.h"
#include "station/sequence/station_state.h"

namespace station {

bool StationLogFiles::openResultLog(Station& station) { return OpenResultLog(station); }

void StationLogFiles::buildDetailCsvHeader(Station& station) { BuildDetailCsvHeader(station); }

void StationLogFiles::writeDetailCsv(Station& station, bool ok) {
    station::writeDetailCsv(station.recipe, station.check, station.logFiles, ok);
}

bool StationLogFiles::appendResultRow(Station& station) { return AppendResultRow(station); }

void StationLogFiles::closeResultLog(Station& station) { CloseResultLog(station); }

}  // namespace station
