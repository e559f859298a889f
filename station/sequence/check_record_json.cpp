#include "station/sequence/check_record_json.h"

#include <nlohmann/json.hpp>

namespace station {

std::string checkRecordJson(const CheckRecord& c) {
    using nlohmann::ordered_json;
    ordered_json j;
    const RunRecord& row = c.row;
    const bool verdict = c.verdict == Verdict::Ok || c.verdict == Verdict::Ng || c.verdict == Verdict::NoTest;
    j["check"] = row.checkNo;
    j["retry"] = row.retryNo;
    j["serialNumber"] = row.serialNo;
    j["verdict"] = verdictText(c.verdict);
    const bool coded = verdict && row.colCode.find_first_not_of(' ') != std::string::npos;
    j["errorCode"] = coded ? ordered_json(row.colCode) : ordered_json(nullptr);
    j["exitCode"] = c.exitCode;
    ordered_json columns = ordered_json::object();
    columns["RESULT"] = row.colResult;
    columns["CODE"] = row.colCode;
    columns["COM"] = row.colCom;
    columns["F/W"] = row.colFw;
    columns["SHORT"] = row.colShort;
    columns["OPEN"] = row.colOpen;
    columns["RAW"] = row.colRaw;
    columns["DRAW"] = row.colDraw;
    j["columns"] = columns;
    ordered_json detail = ordered_json::object();
    for (const RunDetailField& f : runDetailFields()) detail[std::string(f.name)] = c.detail.*f.member;
    j["detail"] = detail;
    // Null when the post-process did not run to its end (disabled, or it could not be started).
    j["postProcessExitCode"] = c.postProcessExitCode ? ordered_json(*c.postProcessExitCode) : ordered_json(nullptr);
    j["startTime"] = c.startTime;
    j["endTime"] = c.endTime;
    // The elapsed time as measured (the panel's "%.1fsec" is rounded).
    j["elapsedSeconds"] = static_cast<double>(c.elapsedMs) / 1000.0;
    // Only a detail file that was written whole is named.
    j["detailCsv"] = verdict && !c.detailCsv.empty() ? ordered_json(c.detailCsv) : ordered_json(nullptr);
    j["totals"] = {{"checks", c.totals.checks}, {"ok", c.totals.ok}, {"ng", c.totals.ng}};
    return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace station
