#include "station/window/headless/check_record.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "platform/append_file.h"
#include "station/logs/detail_csv.h"

namespace station {
namespace {

std::string_view verdictText(StationState state) {
    switch (state) {
        case StationState::Ok:
            return "OK";
        case StationState::Ng:
            return "NG";
        case StationState::NoTest:
            return "NO TEST";
        default:
            return "ERROR";
    }
}

bool hasVerdict(StationState state) {
    return state == StationState::Ok || state == StationState::Ng || state == StationState::NoTest;
}

}  // namespace

std::string checkRecordJson(const Station& s) {
    using nlohmann::ordered_json;
    ordered_json j;
    const RunRecord* row = s.runs.current();
    const bool verdict = hasVerdict(s.state);
    j["check"] = row != nullptr ? row->checkNo : s.counters.checkCount;
    j["retry"] = row != nullptr ? row->retryNo : s.counters.retryCount;
    j["serialNumber"] = row != nullptr ? row->serialNo : s.counters.serialText;
    j["verdict"] = verdictText(s.state);
    const bool coded = verdict && row != nullptr && row->colCode.find_first_not_of(' ') != std::string::npos;
    j["errorCode"] = coded ? ordered_json(row->colCode) : ordered_json(nullptr);
    j["exitCode"] = s.exitCode;
    ordered_json columns = ordered_json::object();
    if (row != nullptr) {
        columns["RESULT"] = row->colResult;
        columns["CODE"] = row->colCode;
        columns["COM"] = row->colCom;
        columns["F/W"] = row->colFw;
        columns["SHORT"] = row->colShort;
        columns["OPEN"] = row->colOpen;
        columns["RAW"] = row->colRaw;
        columns["DRAW"] = row->colDraw;
    }
    j["columns"] = columns;
    ordered_json detail = ordered_json::object();
    for (const RunDetailField& f : runDetailFields()) detail[std::string(f.name)] = s.detail.*f.member;
    j["detail"] = detail;
    j["startTime"] = s.counters.startTime;
    j["endTime"] = s.counters.endTime;
    // The elapsed time as measured (the panel's "%.1fsec" is rounded).
    j["elapsedSeconds"] = static_cast<double>(s.counters.elapsedMs) / 1000.0;
    // Only a detail file that was written whole is named.
    const std::string& csv = s.records.detailCsv;
    j["detailCsv"] = verdict && !csv.empty() ? ordered_json(csv) : ordered_json(nullptr);
    j["totals"] = {{"checks", s.counters.checkCount}, {"ok", s.counters.okCount}, {"ng", s.counters.ngCount}};
    return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

CheckRecordFile::~CheckRecordFile() {
    if (file_ != nullptr) std::fclose(file_);
}

bool CheckRecordFile::open(const std::string& path, std::string& why) {
    file_ = platform::openRegularFileForAppend(path, why);
    return file_ != nullptr;
}

platform::RecordWrite CheckRecordFile::append(const std::string& line) {
    if (file_ == nullptr) return {"not open"};
    // Straight to the descriptor, whole or cut back: nothing waits in a buffer.
    return platform::appendToDescriptorWhole(fileno(file_), line + '\n');
}

}  // namespace station
