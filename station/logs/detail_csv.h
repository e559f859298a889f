#pragma once
// The detail CSV of one check: the header built at the log's opening, the check's overview row
// and a report per check section with the data behind its verdict, in a file per device whose
// name says OK or NG; with SIMPLE_RESULT also the one-check summary "last_simple_result.txt".
#include <cstdint>
#include <string>

#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/log_files.h"

namespace station {

// "<folder>/<timestamp>_<S/N>_OK_<check>_<retry>.csv" (NG when the check's ngTotal is not 0);
// empty when no result log was opened.
std::string detailCsvPath(const LogFiles& log, const CheckRecord& check);

// The body after the "detail result" line: sections from "Total,Retry,S/N" to "End-Time".
std::string detailCsvBody(const RecipeSettings& recipe, const CheckRecord& check);

// Everything the file holds: the log's header, the overview row, the detail result line and
// the body.
std::string detailCsvText(const RecipeSettings& recipe, const CheckRecord& check, const LogFiles& log);

// Writes "last_simple_result.txt" (with SIMPLE_RESULT) into the working directory and the
// detail file into the log folder. A file that cannot be written completely is removed and
// skipped without a message: the check's result stands.
void writeDetailCsv(const RecipeSettings& recipe, const CheckRecord& check, const LogFiles& log, bool ok);

}  // namespace station
