#include "station/logs/station_log_files.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "station/logs/detail_csv.h"
#include "station/logs/detail_csv_header.h"
#include "station/logs/result_log.h"
#include "station/sequence/station_state.h"

namespace station {

namespace {
constexpr int kDrawingSnapshots = 8;
}  // namespace

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

void StationLogFiles::keepDrawingSnapshots(Station& station, bool ok) {
    namespace fs = std::filesystem;
    for (int step = 0; step < kDrawingSnapshots; ++step) {
        const fs::path from = fs::path(station.startDirectory) / ("_tmp" + std::to_string(step) + ".png");
        std::error_code ec;
        if (!fs::exists(from, ec)) continue;  // the window ended before this step
        const std::string to = drawingSnapshotPath(station.logFiles, station.check, step, ok);
        if (to.empty()) {
            recordFailed(station, "Failed to keep the drawing snapshot " + from.string() + ": no log folder is open.");
            continue;
        }
        fs::rename(from, to, ec);
        if (ec == std::errc::cross_device_link) {
            // The log folder lies on another file system: copy whole, then let the original go.
            fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
            if (!ec) fs::remove(from, ec);
        }
        if (ec)
            recordFailed(station, "Failed to keep the drawing snapshot " + from.string() + " as " + to + ": " +
                                      ec.message() + ".");
    }
}

void StationLogFiles::closeResultLog(Station& station) { CloseResultLog(station); }

}  // namespace station
