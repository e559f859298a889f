#include "station/logs/station_log_files.h"

#include "station/logs/detail_csv.h"
#include "station/logs/detail_csv_header.h"
#include "station/logs/result_log.h"

namespace station {

bool StationLogFiles::openResultLog(Station& station) { return OpenResultLog(station); }

void StationLogFiles::buildDetailCsvHeader(Station& station) { BuildDetailCsvHeader(station); }

void StationLogFiles::beginCheck(Station& station) { beginCheckRecords(station); }

void StationLogFiles::writeDetailCsv(Station& station, bool ok) {
    station::writeDetailCsv(station, judged_, station.firmware, ok);
}

bool StationLogFiles::appendResultRow(Station& station) { return AppendResultRow(station); }

void StationLogFiles::closeResultLog(Station& station) { CloseResultLog(station); }

}  // namespace station
