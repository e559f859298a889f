#pragma once
// The run control writes its records through this port: the result log (one row per check,
// totals at the end) and the detail CSV per device. The writers live in station/logs; a station
// without them wired opens no log and so starts no check.
namespace station {

class Station;

class CheckLogs {
public:
    virtual ~CheckLogs() = default;
    // Opens a new result log (and its folder) and makes the firmware working copies; fills
    // Station::logFiles. False after its message: Start stays Start.
    virtual bool openResultLog(Station& station) = 0;
    // The settings text at the top of every detail file of this log.
    virtual void buildDetailCsvHeader(Station& station) = 0;
    // A check has begun: its records start empty (the previous check's one-check summary is
    // removed, so it never stands for this check).
    virtual void beginCheck(Station& /*station*/) {}
    // The current check's detail file (and the one-check summary when the recipe asks for it).
    // A file that cannot be written whole is reported (recordFailed); the check's result stands.
    virtual void writeDetailCsv(Station& station, bool ok) = 0;
    // The current check's row; false after "Failed to open result.log" and the reason.
    virtual bool appendResultRow(Station& station) = 0;
    // The drawing check's snapshots ("_tmp0.png".."_tmp7.png" in the station folder) moved into
    // the log folder under the check's names, OK or NG by the drawing's result. A snapshot that
    // exists but cannot be moved is reported (recordFailed).
    virtual void keepDrawingSnapshots(Station& /*station*/, bool /*ok*/) {}
    // Totals line and the "result.log" copy; once, at shutdown. Failures are reported.
    virtual void closeResultLog(Station& station) = 0;
};

}  // namespace station
