#include "station/sequence/station_results.h"

#include <cstdio>

#include "station/sequence/check_record_json.h"
#include "station/sequence/station_state.h"
#include "station/sequence/store_record.h"

namespace station {

namespace {

results::WriterSettings writerSettings(const StationResultsSettings& s) {
    results::WriterSettings w;
    w.url = s.url;
    w.spoolPath = s.spoolPath;
    w.clock = s.clock;
    return w;
}

}  // namespace

StationResults::StationResults(const StationResultsSettings& settings)
    : settings_(settings), writer_(writerSettings(settings)) {}

void StationResults::checkEnded(Station& s) {
    const StoreContext where{settings_.stationId, settings_.host, s.recipe.recipePath, s.recipe.PID,
                             s.logFiles.logFolder};
    writer_.submit(storeRecord(s.check, where, checkRecordJson(s.check)));
}

void StationResults::poll(Station& s) {
    for (const std::string& message : writer_.takeMessages()) s.ui.appendMessage(message);
}

void StationResults::close(Station& s) {
    const results::WriterClose closed = writer_.close(settings_.closeBudget);
    const std::vector<std::string> last = writer_.takeMessages();
    for (const std::string& message : last) s.ui.appendMessage(message);
    if (closed.lost == 0) return;
    const std::string where = "The records of those checks are kept only in " + settings_.recordsAlsoIn + ".";
    recordFailed(s, where);
    // A window is closing: its pane is gone with it, so the loss is also left on standard error.
    for (const std::string& message : last) std::fprintf(stderr, "%s\n", message.c_str());
    std::fprintf(stderr, "%s\n", where.c_str());
}

}  // namespace station
