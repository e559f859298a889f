#include "results/ingest.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>
#include <utility>

#include "results/store_url.h"
#include "results/utc_time.h"

namespace results {

namespace {

enum class LineRead { Line, TooLong, End };

// One line without its LF (and CR); at most `max` characters are kept, a longer line is TooLong
// and read to its end.
LineRead readLine(std::istream& in, std::string& line, std::size_t max) {
    line.clear();
    std::streambuf* buffer = in.rdbuf();
    bool any = false;
    bool tooLong = false;
    for (;;) {
        const int ch = buffer->sbumpc();
        if (ch == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            if (!any) return LineRead::End;
            break;
        }
        any = true;
        if (ch == '\n') break;
        if (line.size() < max)
            line.push_back(static_cast<char>(ch));
        else
            tooLong = true;
    }
    if (tooLong) return LineRead::TooLong;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return LineRead::Line;
}

std::string at(const std::string& name, std::int64_t lineNo) { return name + ':' + std::to_string(lineNo); }

// The folder part of a path the station wrote ('/' here, '\' on the station PCs), with its separator.
std::optional<std::string> folderOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string_view::npos) return std::nullopt;
    return std::string(path.substr(0, slash + 1));
}

using nlohmann::json;

std::optional<std::int64_t> integerField(const json& j, const char* name, std::int64_t low, std::int64_t high) {
    const auto it = j.find(name);
    if (it == j.end() || !it->is_number_integer()) return std::nullopt;
    std::int64_t value = 0;
    if (it->is_number_unsigned()) {
        const auto u = it->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        value = static_cast<std::int64_t>(u);
    } else {
        value = it->get<std::int64_t>();
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

const std::string* textField(const json& j, const char* name) {
    const auto it = j.find(name);
    return it != j.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
}

bool knownVerdict(std::string_view v) { return v == "OK" || v == "NG" || v == "NO TEST" || v == "ERROR"; }

// One --json record as a check; the reason otherwise.
std::optional<CheckResult> recordToCheck(const std::string& line, const IngestContext& context,
                                         std::optional<std::string>& lastFolder, std::string& why) {
    const json j = json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        why = "not a JSON object";
        return std::nullopt;
    }
    constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
    const auto checkNo = integerField(j, "check", 0, kInt32Max);
    const auto retry = integerField(j, "retry", 0, kInt32Max);
    const auto exitCode = integerField(j, "exitCode", std::numeric_limits<std::int32_t>::min(), kInt32Max);
    const std::string* serial = textField(j, "serialNumber");
    const std::string* verdict = textField(j, "verdict");
    const std::string* start = textField(j, "startTime");
    const std::string* end = textField(j, "endTime");
    const auto bad = [&](const char* field) {
        why = std::string("no valid \"") + field + "\"";
        return std::nullopt;
    };
    if (!checkNo) return bad("check");
    if (!retry) return bad("retry");
    if (!exitCode) return bad("exitCode");
    if (serial == nullptr) return bad("serialNumber");
    if (verdict == nullptr || !knownVerdict(*verdict)) return bad("verdict");
    const auto startUtc = start != nullptr ? stationTimeToUtc(*start) : std::nullopt;
    if (!startUtc) return bad("startTime");
    const auto endUtc = end != nullptr ? stationTimeToUtc(*end) : std::nullopt;
    if (!endUtc) return bad("endTime");
    const auto elapsed = j.find("elapsedSeconds");
    if (elapsed == j.end() || !elapsed->is_number()) return bad("elapsedSeconds");
    const double seconds = elapsed->get<double>();
    // Bounded before it is converted: a week is longer than any check.
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 7 * 24 * 3600.0) return bad("elapsedSeconds");
    std::optional<std::string> code;
    if (const auto it = j.find("errorCode"); it != j.end() && !it->is_null()) {
        if (!it->is_string()) return bad("errorCode");
        code = it->get<std::string>();
    }
    std::optional<std::string> detail;
    if (const auto it = j.find("detailCsv"); it != j.end() && !it->is_null()) {
        if (!it->is_string()) return bad("detailCsv");
        detail = it->get<std::string>();
    }

    std::optional<std::string> folder = context.logFolder;
    if (!folder && detail) folder = folderOf(*detail);
    if (!folder) folder = lastFolder;
    if (!folder) {
        why = "no log folder (the record names no detail CSV): give --log-folder";
        return std::nullopt;
    }
    if (!context.logFolder && detail) lastFolder = folder;

    CheckResult c;
    c.stationId = context.stationId;
    c.host = context.host;
    c.recipeFile = context.recipeFile.value_or(std::string());
    c.productId = context.productId.value_or(std::string());
    c.checkNo = static_cast<std::int32_t>(*checkNo);
    c.retry = static_cast<std::int32_t>(*retry);
    c.serialNumber = *serial;
    c.verdict = *verdict;
    c.errorCode = std::move(code);
    c.exitCode = static_cast<std::int32_t>(*exitCode);
    c.startUtc = *startUtc;
    c.endUtc = *endUtc;
    c.elapsedMs = std::llround(seconds * 1000.0);
    c.logFolder = *folder;
    c.detailCsv = std::move(detail);
    c.recordJson = line;
    return c;
}

// The row's texts after the serial number: literal separators and the column texts of fixed width
// ("   %s   |  %s  |  %s  | %s  |  %s   |   %s   | %s  |  %s  |").
struct Piece {
    std::string_view literal;
    int column;  // -1 for none, else the index of the column that follows the literal
    std::size_t width;
};
constexpr Piece kRowTail[] = {
    {" |   ", 0, 2},   {"   |  ", 1, 4}, {"  |  ", 2, 4}, {"  | ", 3, 5}, {"  |  ", 4, 3},
    {"   |   ", 5, 2}, {"   | ", 6, 5},  {"  |  ", 7, 4}, {"  |", -1, 0},
};
constexpr const char* kColumnNames[] = {"RESULT", "CODE", "COM", "F/W", "SHORT", "OPEN", "RAW", "DRAW"};

constexpr std::size_t tailLength() {
    std::size_t n = 0;
    for (const Piece& p : kRowTail) n += p.literal.size() + p.width;
    return n;
}

struct LogHead {
    std::string recipe;
    std::string product;
    std::optional<std::string> folder;  // from LOG_RESULT
    std::string timestamp;              // "YYYYMMDD_HHMMSS", from LOG_RESULT or the file name
};

bool parseNumber(std::string_view text, std::int32_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

std::string trimRight(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::optional<CheckResult> rowToCheck(std::string_view row, const LogHead& head, const IngestContext& context,
                                      const std::string& path, std::int64_t lineNo, std::string& why) {
    constexpr std::size_t kTail = tailLength();
    // "| DATE | NO | S/N" and the tail.
    if (row.size() < 2 + 19 + 3 + 10 + 3 + kTail || !row.starts_with("| ") || row.substr(21, 3) != " | ") {
        why = "not a result row";
        return std::nullopt;
    }
    const auto endUtc = stationTimeToUtc(row.substr(2, 19));
    if (!endUtc) {
        why = "no valid date";
        return std::nullopt;
    }
    const std::size_t noEnd = row.find(" | ", 24);
    const std::size_t tailStart = row.size() - kTail;
    if (noEnd == std::string_view::npos || noEnd + 3 > tailStart) {
        why = "not a result row";
        return std::nullopt;
    }
    std::string_view no = row.substr(24, noEnd - 24);
    no.remove_prefix(std::min(no.find_first_not_of(' '), no.size()));
    const std::size_t dash = no.find('-');
    std::int32_t checkNo = 0, retry = 0;
    if (dash == std::string_view::npos || !parseNumber(no.substr(0, dash), checkNo) ||
        !parseNumber(no.substr(dash + 1), retry)) {
        why = "no valid check number";
        return std::nullopt;
    }
    const std::string serial = trimRight(row.substr(noEnd + 3, tailStart - noEnd - 3));
    std::string columns[8];
    std::size_t pos = tailStart;
    for (const Piece& p : kRowTail) {
        if (row.substr(pos, p.literal.size()) != p.literal) {
            why = "the columns do not line up";
            return std::nullopt;
        }
        pos += p.literal.size();
        if (p.column >= 0) columns[p.column] = std::string(row.substr(pos, p.width));
        pos += p.width;
    }
    const std::string& result = columns[0];
    const std::string& code = columns[1];
    std::string verdict;
    if (result == "OK") {
        verdict = "OK";
    } else if (result == "NG") {
        verdict = "NG";
    } else if (result == "--") {
        verdict = "NO TEST";  // a check that judged nothing keeps the column's first text
    } else {
        why = "no valid RESULT";
        return std::nullopt;
    }

    CheckResult c;
    c.stationId = context.stationId;
    c.host = context.host;
    c.recipeFile = context.recipeFile.value_or(head.recipe);
    c.productId = context.productId.value_or(head.product);
    c.checkNo = checkNo;
    c.retry = retry;
    c.serialNumber = serial;
    c.verdict = verdict;
    const bool coded = code.find_first_not_of(' ') != std::string::npos;
    if (coded) c.errorCode = code;
    // As the station ends a check: OK 0, NG the number of the code it showed (else 1), NO TEST -1.
    if (verdict == "OK") {
        c.exitCode = 0;
    } else if (verdict == "NG") {
        std::int32_t number = 0;
        c.exitCode = coded && code[0] == 'E' && parseNumber(std::string_view(code).substr(1), number) ? number : 1;
    } else {
        c.exitCode = -1;
    }
    c.startUtc = *endUtc;
    c.endUtc = *endUtc;
    c.elapsedMs = 0;
    c.logFolder = context.logFolder.value_or(head.folder.value_or(folderOf(path).value_or("./")));
    // The detail file the station wrote beside the log, when it is there.
    if (!head.timestamp.empty()) {
        char suffix[32];
        for (const char* judged : {"OK", "NG"}) {
            std::snprintf(suffix, sizeof suffix, "_%s_%04d_%02d.csv", judged, checkNo, retry);
            const std::string name = head.timestamp + '_' + serial + suffix;
            std::error_code ec;
            if (std::filesystem::is_regular_file(std::filesystem::path(path).parent_path() / name, ec)) {
                c.detailCsv = c.logFolder + name;
                break;
            }
        }
    }
    nlohmann::ordered_json record;
    record["check"] = checkNo;
    record["retry"] = retry;
    record["serialNumber"] = serial;
    record["verdict"] = verdict;
    record["errorCode"] = c.errorCode ? nlohmann::ordered_json(*c.errorCode) : nlohmann::ordered_json();
    record["exitCode"] = c.exitCode;
    nlohmann::ordered_json cols = nlohmann::ordered_json::object();
    for (int i = 0; i < 8; ++i) cols[kColumnNames[i]] = columns[i];
    record["columns"] = cols;
    record["endTime"] = std::string(row.substr(2, 19));
    record["resultLog"] = path + ':' + std::to_string(lineNo);
    c.recordJson = record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return c;
}

// "YYYYMMDD_HHMMSS" at the start of a file name "YYYYMMDD_HHMMSS_result.log", else empty.
std::string timestampOf(std::string_view fileName) {
    if (!fileName.ends_with("_result.log") || fileName.size() != 15 + 11) return {};
    const std::string_view t = fileName.substr(0, 15);
    for (std::size_t i = 0; i < t.size(); ++i)
        if (i == 8 ? t[i] != '_' : (t[i] < '0' || t[i] > '9')) return {};
    return std::string(t);
}

}  // namespace

void readCheckRecords(std::istream& in, const std::string& name, const IngestContext& context, const CheckSink& onCheck,
                      const ProblemSink& onProblem) {
    std::string line;
    std::optional<std::string> lastFolder;
    for (std::int64_t lineNo = 1;; ++lineNo) {
        const LineRead read = readLine(in, line, kMaxRecordLine);
        if (read == LineRead::End) break;
        if (read == LineRead::TooLong) {
            onProblem(at(name, lineNo) + ": a line longer than " + std::to_string(kMaxRecordLine) + " bytes");
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::string why;
        if (auto check = recordToCheck(line, context, lastFolder, why))
            onCheck(std::move(*check), at(name, lineNo));
        else
            onProblem(at(name, lineNo) + ": " + why);
    }
}

bool readResultLog(std::istream& in, const std::string& path, const IngestContext& context, const CheckSink& onCheck,
                   const ProblemSink& onProblem) {
    constexpr std::string_view kRecipe = "##### INI : ";
    constexpr std::string_view kBanner = " ###################";
    constexpr std::string_view kList = "##### RESULT (LIST) ###################";
    constexpr std::string_view kLogResult = "LOG_RESULT          : ";
    LogHead head;
    head.timestamp = timestampOf(std::filesystem::path(path).filename().string());
    bool inDevice = false;
    bool inList = false;
    std::string line;
    std::int64_t lineNo = 0;
    for (;;) {
        ++lineNo;
        const LineRead read = readLine(in, line, kMaxLogLine);
        if (read == LineRead::End) break;
        if (read == LineRead::TooLong) {
            onProblem(at(path, lineNo) + ": a line longer than " + std::to_string(kMaxLogLine) + " bytes");
            continue;
        }
        if (lineNo == 1 && !line.starts_with("Date : ")) return false;
        if (!inList) {
            if (line.starts_with(kRecipe) && line.ends_with(kBanner) &&
                line.size() >= kRecipe.size() + kBanner.size()) {
                head.recipe = line.substr(kRecipe.size(), line.size() - kRecipe.size() - kBanner.size());
            } else if (line.starts_with('[')) {
                inDevice = line == "[DEVICE]";
            } else if (inDevice && line.starts_with("PID ") && line.find("= 0x") != std::string::npos) {
                std::string hex = line.substr(line.find("= 0x") + 4);
                for (char& ch : hex) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                head.product = hex;
            } else if (line.starts_with(kLogResult) && line.ends_with("_result.log")) {
                const std::string_view logPath = std::string_view(line).substr(kLogResult.size());
                head.folder = folderOf(logPath);
                if (head.folder) {
                    const std::string fromLog = timestampOf(logPath.substr(head.folder->size()));
                    if (!fromLog.empty()) head.timestamp = fromLog;
                }
            } else if (line == kList) {
                inList = true;
            }
            continue;
        }
        // The ruler, the column header, the totals and blank lines carry no check.
        if (line.empty() || line.starts_with("|---") || line.starts_with("|        DATE") || line.starts_with("Total:"))
            continue;
        std::string why;
        if (auto check = rowToCheck(line, head, context, path, lineNo, why))
            onCheck(std::move(*check), at(path, lineNo));
        else
            onProblem(at(path, lineNo) + ": " + why);
    }
    return inList;
}

void Ingestor::add(CheckResult&& check, const std::string& where) {
    ++counts_.read;
    batch_.push_back(std::move(check));
    origins_.push_back(where);
    if (batch_.size() >= kBatch) flush();
}

void Ingestor::skipped(const std::string& problem) {
    ++counts_.skipped;
    onProblem_(problem);
}

void Ingestor::flush() {
    if (batch_.empty()) return;
    const std::vector<InsertResult> answers = store_.insertBatch(batch_);
    bool unavailableSaid = false;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        switch (answers[i].status) {
            case InsertStatus::Written:
                ++counts_.written;
                break;
            case InsertStatus::AlreadyThere:
                ++counts_.alreadyThere;
                break;
            case InsertStatus::Rejected:
                ++counts_.rejected;
                onProblem_(origins_[i] + ": refused by the store: " + redactUrl(answers[i].reason));
                break;
            case InsertStatus::Unavailable:
                // One message for the batch: the store itself is the problem, not the check.
                if (!unavailableSaid)
                    onProblem_(origins_[i] + ": the store cannot take it now: " + redactUrl(answers[i].reason));
                unavailableSaid = true;
                ++counts_.unavailable;
                break;
        }
    }
    batch_.clear();
    origins_.clear();
}

bool ingestFile(const std::string& path, IngestFormat format, const IngestContext& context, Ingestor& ingestor,
                std::string& why) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        why = path + ": not a readable file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = path + ": cannot be read";
        return false;
    }
    if (format == IngestFormat::Auto) format = in.peek() == '{' ? IngestFormat::Records : IngestFormat::ResultLog;
    const CheckSink onCheck = [&](CheckResult&& c, const std::string& where) { ingestor.add(std::move(c), where); };
    const ProblemSink onProblem = [&](const std::string& problem) { ingestor.skipped(problem); };
    if (format == IngestFormat::Records) {
        readCheckRecords(in, path, context, onCheck, onProblem);
    } else if (!readResultLog(in, path, context, onCheck, onProblem)) {
        why = path + ": neither --json records nor a result log";
        return false;
    }
    if (in.bad()) {
        why = path + ": a read failed";
        return false;
    }
    return true;
}

}  // namespace results
