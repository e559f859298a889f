#pragma once
// The result log: the production record of a series of checks. One file per opening, in a dated
// folder below LOG_DIR (or in LOG_DIR itself with DISABLE_FOLDER): the recipe's settings, a
// ruled table with one row per check that ended with a verdict, and the totals at shutdown.
// The file is opened and closed around every write, so a row once reported is on disk.
#include "station/sequence/station_state.h"

namespace station {

// Names the log from the time of day (Station::logFiles: timestamp, folder, path), creates its
// folder and the file with the settings and the table head, then makes the firmware writers'
// working copies "_tmp.hex" / "_tmpRL78.hex" in the working directory when the recipe writes
// firmware. False after its message ("Failed to open log '...'" and the system's reason, or a
// copy failure, after which the log just created is closed with its totals).
bool OpenResultLog(Station& station);

// Appends the current row (Station::runs.current()) with the check's end time
// (Station::counters.endTime), whole or not at all. The log is never re-created: a deleted or
// unwritable log gives "Failed to open result.log", the system's reason (recordFailed) and false.
// "Success to dump log data" only when the check's other records were written too. False
// without a message when no row was begun.
bool AppendResultRow(Station& station);

// The closing ruler and the station's totals, then the copy to "result.log" in the working
// directory. A failure is reported (recordFailed); a copy that failed leaves no "result.log".
void CloseResultLog(Station& station);

}  // namespace station
