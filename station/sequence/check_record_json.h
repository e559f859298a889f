#pragma once
// The machine-readable record of one check that ended: the --json line, and the record the
// results store keeps beside its columns.
#include <string>

#include "station/sequence/check_record.h"

namespace station {

// A check that ended as one line of JSON (no line end): numbers, serial number, verdict, error
// code, the result columns, every RunDetail counter by name, times, the detail CSV (only once it
// was written whole), totals. Texts that are not valid UTF-8 (a scanner's bytes) are written
// with replacement characters.
std::string checkRecordJson(const CheckRecord& check);

}  // namespace station
