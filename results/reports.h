#pragma once
// The line's questions, each asked once in the SQL both engines share (ResultsStore::select): a
// device's history, first-pass and final yield, the Pareto of NG codes, and every check as CSV or
// JSON lines.
//
// A device is one check number of one station's log folder: its retries are attempts of the same
// device, and a retry 0 starts the next device (a log folder without a timestamp takes its numbers
// again in every session). Only attempts with a verdict that judged the device (OK, NG) count for
// yield: an attempt that ended in ERROR has none (the next attempt keeps its number and is the
// device's first with a verdict) and NO TEST judged nothing. Both are shown in history and export.
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "results/check_result.h"
#include "results/results_store.h"

namespace results {

// [from, to) as UTC texts; the defaults take every check.
struct TimeRange {
    std::string from = "0000-01-01T00:00:00Z";
    std::string to = "9999-12-31T23:59:59Z";
};

enum class GroupBy { None, Product, Station, Recipe, Hour, Day };

std::optional<GroupBy> parseGroupBy(std::string_view name);
std::string_view groupByName(GroupBy by);  // "product", ..., "" for None

struct YieldRow {
    std::string group;  // the product, station, recipe, "YYYY-MM-DDTHH:00Z" or "YYYY-MM-DD"
    std::int64_t devices = 0;
    std::int64_t firstPassOk = 0;  // the device's first attempt with a verdict was OK
    std::int64_t finalOk = 0;      // its last attempt was OK
};

// Devices whose first attempt (retry 0) started in the range, grouped by the product, station,
// recipe, hour or day (UTC) of their first attempt with a verdict, in the groups' byte order.
// Attempts after the range's end do not count: a device retried across it is judged by its
// attempts before it.
bool yieldReport(ResultsStore& store, const TimeRange& range, GroupBy by, std::vector<YieldRow>& rows,
                 std::string& why);

struct ParetoRow {
    std::string group;                     // empty without grouping
    std::optional<std::string> errorCode;  // absent: an NG that showed no code
    std::int64_t count = 0;                // NG attempts with this code
    std::int64_t groupTotal = 0;           // NG attempts of the group
};

// NG attempts that started in the range by error code (every NG attempt counts, retries too), by
// group (None, Product or Station), most frequent first, then by code.
bool paretoReport(ResultsStore& store, const TimeRange& range, GroupBy by, std::vector<ParetoRow>& rows,
                  std::string& why);

// Every check of the serial number at every station, oldest first.
bool historyReport(ResultsStore& store, std::string_view serialNumber, std::vector<CheckResult>& checks,
                   std::string& why);

enum class ExportFormat { Csv, JsonLines };

// Every check that started in the range, oldest first, written to `out` as it is read: CSV (a
// header, RFC 4180 quoting, CR LF, NULL as an empty field and an empty text as "") or one JSON
// object per line (the record itself as an object). `rows` counts what was written. False with the
// reason when the store cannot answer or `out` fails.
bool exportChecks(ResultsStore& store, const TimeRange& range, ExportFormat format, std::ostream& out,
                  std::int64_t& rows, std::string& why);

// One check as a JSON object, as export writes it (no line end).
std::string checkJson(const CheckResult& check);

}  // namespace results
