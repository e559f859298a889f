#pragma once
// The detail CSV of one check: the header built at the log's opening, the check's overview row
// and a report per check section with the data behind its verdict, in a file per device whose
// name says OK or NG; with SIMPLE_RESULT also the one-check summary "last_simple_result.txt".
#include <cstdint>
#include <string>

#include "station/sequence/judgement_steps.h"
#include "station/sequence/station_state.h"

namespace station {

// "<folder>/<timestamp>_<S/N>_OK_<check>_<retry>.csv" (NG when the check's ngTotal is not 0),
// the serial number made safe for a file name (fileNameSerial); empty when no result log was
// opened.
std::string detailCsvPath(const Station& s);

// The body after the "detail result" line: sections from "Total,Retry,S/N" to "End-Time".
std::string detailCsvBody(const Station& s, const JudgementSteps& judged, const FirmwareStepValues& firmware);

// Everything the file holds: header, overview row, the detail result line and the body.
std::string detailCsvText(const Station& s, const JudgementSteps& judged, const FirmwareStepValues& firmware);

// A check begins: no detail file is written for it yet, and the previous check's
// "last_simple_result.txt" (with SIMPLE_RESULT) is removed.
void beginCheckRecords(Station& s);

// Writes "last_simple_result.txt" (with SIMPLE_RESULT) into the working directory and the
// detail file into the log folder, each whole or not at all. A file that cannot be written is
// reported with the system's reason (recordFailed); the check's result stands. The detail file
// written is kept in Station::records.
void writeDetailCsv(Station& s, const JudgementSteps& judged, const FirmwareStepValues& firmware, bool ok);

}  // namespace station
