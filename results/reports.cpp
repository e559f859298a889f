#include "results/reports.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <unordered_map>

namespace results {

namespace {

// The columns of a check in the order CheckResult, history and export use.
constexpr std::array<const char*, 18> kColumns = {
    "station_id",    "host",       "recipe_file", "product_id", "check_no", "retry",      "serial_number",
    "verdict",       "error_code", "exit_code",   "start_utc",  "end_utc",  "elapsed_ms", "firmware_version",
    "hsync_version", "log_folder", "detail_csv",  "record"};

constexpr const char* kCheckColumns =
    "station_id, host, recipe_file, product_id, check_no, retry, serial_number, verdict, error_code, exit_code, "
    "start_utc, end_utc, elapsed_ms, firmware_version, hsync_version, log_folder, detail_csv, record";

// Ties in time are ordered by the rest of the check's key, so both engines give the same order.
constexpr const char* kCheckOrder = "start_utc, station_id, log_folder, check_no, retry";

// The group's expression over `checks`: chosen from this table, never from the caller's text.
const char* groupExpression(GroupBy by) {
    switch (by) {
        case GroupBy::Product:
            return "product_id";
        case GroupBy::Station:
            return "station_id";
        case GroupBy::Recipe:
            return "recipe_file";
        case GroupBy::Hour:
            return "substr(start_utc, 1, 13) || ':00Z'";
        case GroupBy::Day:
            return "substr(start_utc, 1, 10)";
        case GroupBy::None:
            break;
    }
    return "''";
}

std::int64_t number(const std::optional<std::string>& text) {
    std::int64_t value = 0;
    if (text) std::from_chars(text->data(), text->data() + text->size(), value);
    return value;
}

std::string text(const std::optional<std::string>& value) { return value.value_or(std::string()); }

CheckResult checkFromRow(const ResultsStore::Row& r) {
    CheckResult c;
    c.stationId = text(r[0]);
    c.host = text(r[1]);
    c.recipeFile = text(r[2]);
    c.productId = text(r[3]);
    c.checkNo = static_cast<std::int32_t>(number(r[4]));
    c.retry = static_cast<std::int32_t>(number(r[5]));
    c.serialNumber = text(r[6]);
    c.verdict = text(r[7]);
    c.errorCode = r[8];
    c.exitCode = static_cast<std::int32_t>(number(r[9]));
    c.startUtc = text(r[10]);
    c.endUtc = text(r[11]);
    c.elapsedMs = number(r[12]);
    c.firmwareVersion = r[13];
    c.hsyncVersion = r[14];
    c.logFolder = text(r[15]);
    c.detailCsv = r[16];
    c.recordJson = text(r[17]);
    return c;
}

bool fieldNeedsQuotes(std::string_view field) {
    return field.empty() || field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void appendCsvField(std::string& line, const std::optional<std::string>& field) {
    if (!field) return;  // NULL: nothing between the commas
    if (!fieldNeedsQuotes(*field)) {
        line += *field;
        return;
    }
    line += '"';
    for (char ch : *field) {
        if (ch == '"') line += '"';
        line += ch;
    }
    line += '"';
}

// Thrown from a row callback when the output failed: the select stops at once.
struct OutputFailed {};

}  // namespace

std::optional<GroupBy> parseGroupBy(std::string_view name) {
    for (GroupBy by : {GroupBy::Product, GroupBy::Station, GroupBy::Recipe, GroupBy::Hour, GroupBy::Day})
        if (name == groupByName(by)) return by;
    return std::nullopt;
}

std::string_view groupByName(GroupBy by) {
    switch (by) {
        case GroupBy::Product:
            return "product";
        case GroupBy::Station:
            return "station";
        case GroupBy::Recipe:
            return "recipe";
        case GroupBy::Hour:
            return "hour";
        case GroupBy::Day:
            return "day";
        case GroupBy::None:
            break;
    }
    return "";
}

bool yieldReport(ResultsStore& store, const TimeRange& range, GroupBy by, std::vector<YieldRow>& rows,
                 std::string& why) {
    // The attempts in time order, folded into devices here: a station runs one check at a time and
    // only its latest check can have another attempt, so one open device per station is all the
    // fold keeps. A sort of every attempt by device in the engine cost seconds per million checks;
    // this reads the range in the order of an index (schema version 2) and nothing else.
    // Hours and days are cut from the start here: the engine then reads columns only.
    const bool byTime = by == GroupBy::Hour || by == GroupBy::Day;
    const std::string sql = std::string("SELECT station_id, log_folder, check_no, retry, verdict, ") +
                            (byTime ? "start_utc" : groupExpression(by)) +
                            " FROM checks WHERE start_utc >= $1 AND start_utc < $2"
                            " ORDER BY start_utc, station_id, log_folder, check_no, retry";
    struct Device {
        std::string folder;
        std::int64_t checkNo = 0;
        bool judged = false;  // an attempt with a verdict was seen
        bool firstOk = false;
        bool lastOk = false;
        std::string group;
    };
    std::map<std::string, YieldRow> groups;
    std::unordered_map<std::string, Device> open;  // by station
    const auto close = [&](const Device& d) {
        if (!d.judged) return;  // only ERROR or NO TEST: no device to count
        YieldRow& g = groups[d.group];
        ++g.devices;
        g.firstPassOk += d.firstOk ? 1 : 0;
        g.finalOk += d.lastOk ? 1 : 0;
    };
    const std::string params[] = {range.from, range.to};
    const bool ok = store.select(
        sql, params,
        [&](const ResultsStore::Row& r) {
            const std::string& station = *r[0];
            const std::string& folder = *r[1];
            const std::int64_t checkNo = number(r[2]);
            const std::int64_t retry = number(r[3]);
            const std::string& verdict = *r[4];
            auto it = open.find(station);
            if (retry == 0) {
                // A first attempt begins the next device, also of a number that came before.
                if (it == open.end()) {
                    it = open.emplace(station, Device{}).first;
                } else {
                    close(it->second);
                    it->second.judged = false;
                }
                it->second.folder = folder;
                it->second.checkNo = checkNo;
            } else if (it == open.end() || it->second.checkNo != checkNo || it->second.folder != folder) {
                return;  // a retry of a device that began before the range
            }
            if (verdict != "OK" && verdict != "NG") return;
            Device& d = it->second;
            const bool isOk = verdict == "OK";
            if (!d.judged) {
                d.judged = true;
                d.firstOk = isOk;
                d.group = text(r[5]);
                if (by == GroupBy::Day) d.group.resize(std::min<std::size_t>(d.group.size(), 10));
                if (by == GroupBy::Hour) d.group = d.group.substr(0, 13) + ":00Z";
            }
            d.lastOk = isOk;
        },
        why);
    if (!ok) return false;
    for (const auto& [station, device] : open) close(device);
    rows.clear();
    // Byte order (std::map): the engines' collations differ.
    for (auto& [group, row] : groups) {
        row.group = group;
        rows.push_back(row);
    }
    return true;
}

bool paretoReport(ResultsStore& store, const TimeRange& range, GroupBy by, std::vector<ParetoRow>& rows,
                  std::string& why) {
    const std::string where = " FROM checks WHERE start_utc >= $1 AND start_utc < $2 AND verdict = 'NG'";
    // PostgreSQL takes no constant in GROUP BY: without a group the group column is left out.
    const std::string sql = by == GroupBy::None
                                ? "SELECT '', error_code, COUNT(*)" + where + " GROUP BY error_code"
                                : std::string("SELECT ") + groupExpression(by) + ", error_code, COUNT(*)" + where +
                                      " GROUP BY " + groupExpression(by) + ", error_code";
    const std::string params[] = {range.from, range.to};
    rows.clear();
    if (!store.select(
            sql, params,
            [&](const ResultsStore::Row& r) {
                rows.push_back(ParetoRow{text(r[0]), r[1], number(r[2]), 0});
            },
            why))
        return false;
    std::sort(rows.begin(), rows.end(), [](const ParetoRow& a, const ParetoRow& b) {
        return std::tie(a.group, b.count, a.errorCode) < std::tie(b.group, a.count, b.errorCode);
    });
    for (auto first = rows.begin(); first != rows.end();) {
        auto last = std::find_if(first, rows.end(), [&](const ParetoRow& r) { return r.group != first->group; });
        std::int64_t total = 0;
        for (auto it = first; it != last; ++it) total += it->count;
        for (auto it = first; it != last; ++it) it->groupTotal = total;
        first = last;
    }
    return true;
}

bool historyReport(ResultsStore& store, std::string_view serialNumber, std::vector<CheckResult>& checks,
                   std::string& why) {
    const std::string sql =
        std::string("SELECT ") + kCheckColumns + " FROM checks WHERE serial_number = $1 ORDER BY " + kCheckOrder;
    const std::string params[] = {std::string(serialNumber)};
    checks.clear();
    return store.select(
        sql, params, [&](const ResultsStore::Row& r) { checks.push_back(checkFromRow(r)); }, why);
}

std::string checkJson(const CheckResult& c) {
    using nlohmann::ordered_json;
    const auto optional = [](const std::optional<std::string>& v) { return v ? ordered_json(*v) : ordered_json(); };
    ordered_json j;
    j["station_id"] = c.stationId;
    j["host"] = c.host;
    j["recipe_file"] = c.recipeFile;
    j["product_id"] = c.productId;
    j["check_no"] = c.checkNo;
    j["retry"] = c.retry;
    j["serial_number"] = c.serialNumber;
    j["verdict"] = c.verdict;
    j["error_code"] = optional(c.errorCode);
    j["exit_code"] = c.exitCode;
    j["start_utc"] = c.startUtc;
    j["end_utc"] = c.endUtc;
    j["elapsed_ms"] = c.elapsedMs;
    j["firmware_version"] = optional(c.firmwareVersion);
    j["hsync_version"] = optional(c.hsyncVersion);
    j["log_folder"] = c.logFolder;
    j["detail_csv"] = optional(c.detailCsv);
    // The station's record as the object it is; a text that is no JSON stays a text.
    ordered_json record = ordered_json::parse(c.recordJson, nullptr, false);
    j["record"] = record.is_discarded() ? ordered_json(c.recordJson) : std::move(record);
    return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

bool exportChecks(ResultsStore& store, const TimeRange& range, ExportFormat format, std::ostream& out,
                  std::int64_t& rows, std::string& why) {
    rows = 0;
    const std::string sql = std::string("SELECT ") + kCheckColumns +
                            " FROM checks WHERE start_utc >= $1 AND start_utc < $2 ORDER BY " + kCheckOrder;
    const std::string params[] = {range.from, range.to};
    std::string line;
    if (format == ExportFormat::Csv) {
        for (std::size_t i = 0; i < kColumns.size(); ++i) {
            if (i > 0) line += ',';
            line += kColumns[i];
        }
        line += "\r\n";
        if (!out.write(line.data(), static_cast<std::streamsize>(line.size()))) {
            why = "the output cannot be written";
            return false;
        }
    }
    const auto onRow = [&](const ResultsStore::Row& r) {
        line.clear();
        if (format == ExportFormat::Csv) {
            for (std::size_t i = 0; i < r.size(); ++i) {
                if (i > 0) line += ',';
                appendCsvField(line, r[i]);
            }
            line += "\r\n";
        } else {
            line = checkJson(checkFromRow(r));
            line += '\n';
        }
        if (!out.write(line.data(), static_cast<std::streamsize>(line.size()))) throw OutputFailed{};
        ++rows;
    };
    try {
        if (!store.select(sql, params, onRow, why)) return false;
    } catch (const OutputFailed&) {
        why = "the output cannot be written";
        return false;
    }
    if (!out.flush()) {
        why = "the output cannot be written";
        return false;
    }
    return true;
}

}  // namespace results
