#pragma once
// The detail CSV of one check: the header built at the log's opening, the check's overview row
// and a report per check section with the data behind its verdict, in a file per device whose
// name says OK or NG; with SIMPLE_RESULT also the one-check summary "last_simple_result.txt".
#include <cstdint>
#include <string>
#include <vector>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/log_files.h"

namespace station {

// "<folder>/<timestamp>_<S/N>_OK_<check>_<retry>.csv" (NG when the check's ngTotal is not 0),
// the serial number made safe for a file name (fileNameSerial); empty when no result log was
// opened.
std::string detailCsvPath(const LogFiles& log, const CheckRecord& check);
// Where the drawing check's snapshot of step `step` (0..7) is kept: beside the detail file,
// named by the drawing's own result. Empty without a log folder.
std::string drawingSnapshotPath(const LogFiles& log, const CheckRecord& check, int step, bool ok);

// The body after the "detail result" line: sections from "Total,Retry,S/N" to "End-Time".
std::string detailCsvBody(const RecipeSettings& recipe, const CheckRecord& check);

// Everything the file holds: the log's header, the overview row, the detail result line and
// the body.
std::string detailCsvText(const RecipeSettings& recipe, const CheckRecord& check, const LogFiles& log);

// A check begins: the previous check's "last_simple_result.txt" (with SIMPLE_RESULT) is
// removed. Returns a message with the system's reason for a file that could not be removed.
std::vector<std::string> removeSimpleResult(const RecipeSettings& recipe);

// What writing a check's files came to: the detail file written whole (empty when none was),
// and a message with the system's reason for each file that could not be written.
struct DetailCsvWrite {
    std::string detailCsv;
    std::vector<std::string> failures;
};

// Writes "last_simple_result.txt" (with SIMPLE_RESULT) into the working directory and the
// detail file into the log folder, each whole or not at all (a file that cannot be written
// leaves none). The check's result stands whatever this comes to.
DetailCsvWrite writeDetailCsv(const RecipeSettings& recipe, const CheckRecord& check, const LogFiles& log, bool ok);

}  // namespace station
