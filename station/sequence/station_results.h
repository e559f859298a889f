#pragma once
// The station's side of the results store: each check that ended becomes the store's record (its
// columns and the --json record beside them) and goes to the writer's thread; the writer's
// messages reach the message pane on the tick.
#include <chrono>
#include <string>

#include "results/results_writer.h"
#include "station/sequence/results_port.h"

namespace station {

struct StationResultsSettings {
    std::string url;
    std::string stationId;
    std::string host;
    // The spool (results-spool.db in the station folder).
    std::string spoolPath;
    // Where a check's record stays when the store and the spool both failed it, for the last
    // message ("the result log", and the --json file when there is one).
    std::string recordsAlsoIn = "the result log";
    std::chrono::milliseconds closeBudget = std::chrono::seconds(10);
    platform::Clock* clock = &platform::systemClock();
};

class StationResults final : public ResultsPort {
public:
    explicit StationResults(const StationResultsSettings& settings);

    void checkEnded(Station& station) override;
    void poll(Station& station) override;
    void close(Station& station) override;

    const results::ResultsWriter& writer() const { return writer_; }

private:
    StationResultsSettings settings_;
    results::ResultsWriter writer_;
};

}  // namespace station
