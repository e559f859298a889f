#pragma once
// History from before the store: the headless station's --json records and the station's result
// logs, read into checks. Everything read is bounded: a line too long, a truncated file or a bad
// value is a problem named "FILE:LINE: why" and that line is skipped; the rest is read.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "results/check_result.h"
#include "results/results_store.h"

namespace results {

// What the files do not say: which station, and (for --json records) recipe, product and log folder.
// A value given here wins over what a result log says.
struct IngestContext {
    std::string stationId;
    std::string host;
    std::optional<std::string> recipeFile;
    std::optional<std::string> productId;
    std::optional<std::string> logFolder;
};

inline constexpr std::size_t kMaxRecordLine = 256 * 1024;  // one --json record
inline constexpr std::size_t kMaxLogLine = 16 * 1024;      // one line of a result log

using CheckSink = std::function<void(CheckResult&& check, const std::string& where)>;
using ProblemSink = std::function<void(const std::string& problem)>;

// --json records, one JSON object per line. The log folder is the context's, else the folder of the
// record's detail CSV, else that of the last record in the file that named one; a record without
// any is skipped. Times are the station's local times, read in the time zone in force.
void readCheckRecords(std::istream& in, const std::string& name, const IngestContext& context, const CheckSink& onCheck,
                      const ProblemSink& onProblem);

// A result log ("*_result.log", CR LF or LF). Its rows give number, retry, serial number, verdict,
// code and the end time (a row has no start: the end stands for both, elapsed 0); the recipe and the
// product come from the log's head, the log folder from its LOG_RESULT line (else from `path`'s
// folder). False when the file is no result log at all (no "Date : " first line or no result list).
bool readResultLog(std::istream& in, const std::string& path, const IngestContext& context, const CheckSink& onCheck,
                   const ProblemSink& onProblem);

struct IngestCounts {
    std::int64_t read = 0;
    std::int64_t written = 0;
    std::int64_t alreadyThere = 0;
    std::int64_t rejected = 0;
    std::int64_t unavailable = 0;
    std::int64_t skipped = 0;  // lines that were no check
};

// Feeds checks to a store in large batches; a refused check is a problem with its origin.
class Ingestor {
public:
    static constexpr std::size_t kBatch = 2000;

    Ingestor(ResultsStore& store, ProblemSink onProblem) : store_(store), onProblem_(std::move(onProblem)) {}

    void add(CheckResult&& check, const std::string& where);
    void skipped(const std::string& problem);
    // Writes what is waiting; call at the end.
    void flush();
    const IngestCounts& counts() const { return counts_; }

private:
    ResultsStore& store_;
    ProblemSink onProblem_;
    std::vector<CheckResult> batch_;
    std::vector<std::string> origins_;
    IngestCounts counts_;
};

enum class IngestFormat { Auto, Records, ResultLog };

// One file into the store: `Auto` takes a file whose first byte is '{' for --json records, any
// other for a result log. False when the file cannot be read or is neither.
bool ingestFile(const std::string& path, IngestFormat format, const IngestContext& context, Ingestor& ingestor,
                std::string& why);

}  // namespace results
