#include "results/cli/results_cli.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include "results/ingest.h"
#include "results/reports.h"
#include "results/results_spool.h"
#include "results/results_store.h"
#include "results/store_url.h"
#include "results/utc_time.h"

namespace results::cli {

namespace {

using nlohmann::ordered_json;

constexpr const char* kProgram = "vorlick-results";
constexpr const char* kDefaultStore = "sqlite:results.db";

struct Command {
    const char* name;
    const char* summary;
    const char* usage;
    std::set<std::string> options;  // those that take a value
    std::set<std::string> flags;
    std::size_t minPositional;
    std::size_t maxPositional;
};

const char* const kRangeHelp =
    "  --from T, --to T  the range [from, to) by the checks' start: \"YYYY-MM-DD\" (a UTC day),\n"
    "                    \"YYYY-MM-DDTHH:MM[:SS]Z\" (UTC), or \"YYYY-MM-DD HH:MM[:SS]\",\n"
    "                    \"YYYY-MM-DDTHH:MM[:SS]\", \"YYYY/MM/DD HH:MM:SS\" (local time, TZ); default: all\n";

const std::vector<Command>& commands() {
    static const std::vector<Command> kCommands = {
        {"ingest",
         "read --json records and result logs into the store",
         "usage: vorlick-results ingest --station-id ID [options] FILE...\n"
         "Reads each FILE into the store: a file that starts with '{' holds the headless station's --json\n"
         "records, any other is a result log (*_result.log). Checks already in the store are left as they\n"
         "are, so ingesting a file twice adds nothing. A line that is no check is named (FILE:LINE) and\n"
         "skipped; the rest of the file is read.\n"
         "  --station-id ID   the station that wrote the files (required)\n"
         "  --host NAME       its host name (default empty)\n"
         "  --recipe FILE     the recipe (records: default empty; logs: default the log's INI line)\n"
         "  --product PID     the product id, four hex digits (records: default empty; logs: the log's PID)\n"
         "  --log-folder DIR  the log folder (records: default the detail CSV's folder; logs: LOG_RESULT's)\n"
         "  --format F        auto (default), json or log\n"
         "Local times in the files are read in the time zone in force (TZ).\n",
         {"--station-id", "--host", "--recipe", "--product", "--log-folder", "--format", "--store"},
         {"--json"},
         1,
         SIZE_MAX},
        {"yield",
         "first-pass and final yield by product, station, recipe, hour or day",
         "usage: vorlick-results yield [--from T] [--to T] [--by product|station|recipe|hour|day] [--json]\n"
         "A device is one check number of one station's log folder, its retries included; it belongs to\n"
         "the range of its first attempt and the group of its first attempt with a verdict. First pass:\n"
         "that attempt was OK; final: its last one in the range was. Attempts that ended in ERROR or NO\n"
         "TEST do not count. Hours and days are UTC.\n",
         {"--from", "--to", "--by", "--store"},
         {"--json"},
         0,
         0},
        {"pareto",
         "NG error codes by count and share",
         "usage: vorlick-results pareto [--from T] [--to T] [--by product|station] [--json]\n"
         "Every NG attempt in the range (retries too) by its error code, most frequent first, with its\n"
         "share of the NG attempts (of the group, with --by) and the cumulative share.\n",
         {"--from", "--to", "--by", "--store"},
         {"--json"},
         0,
         0},
        {"history",
         "every check of one serial number, oldest first",
         "usage: vorlick-results history SERIAL [--json]\n"
         "Every check of the serial number at every station, oldest first; --json writes one object per\n"
         "check and line, as export does.\n",
         {"--store"},
         {"--json"},
         1,
         1},
        {"export",
         "every check in a range as CSV or JSON lines",
         "usage: vorlick-results export [--from T] [--to T] [--format csv|json] [--json]\n"
         "Every check that started in the range, oldest first, on standard output as it is read: CSV with\n"
         "a header (RFC 4180, CR LF; NULL is an empty field, an empty text \"\") or, with --format json or\n"
         "--json, one JSON object per line.\n",
         {"--from", "--to", "--format", "--store"},
         {"--json"},
         0,
         0},
        {"sync",
         "forward a station's spool into the store by hand",
         "usage: vorlick-results sync SPOOL [--json]\n"
         "Forwards the checks of a station's spool (a SQLite file) into the store, oldest first, and\n"
         "deletes each from the spool once the store has it. A check the store refuses stays in the spool\n"
         "and is named; a store that cannot take checks now stops the forwarding.\n",
         {"--store"},
         {"--json"},
         1,
         1},
    };
    return kCommands;
}

void usage(std::ostream& to) {
    to << "usage: vorlick-results COMMAND [--store URL] [options]\n"
          "       vorlick-results COMMAND --help | --help | --version\n\ncommands:\n";
    for (const Command& c : commands()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-8s %s\n", c.name, c.summary);
        to << line;
    }
    to << "\n--store URL names the store: sqlite:PATH or postgresql://user@host/db (default: the environment's\n"
          "VORLICK_RESULTS, else sqlite:results.db). Tables for reading, --json for scripts.\n"
          "Exit status: 0 done, 1 the store, a file or the output failed (or something was not ingested or\n"
          "forwarded), 2 usage.\n";
}

struct Parsed {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positional;
    bool help = false;
};

std::optional<Parsed> parseArguments(const Command& c, const std::vector<std::string>& args, std::ostream& err) {
    Parsed p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            p.help = true;
            continue;
        }
        if (arg == "--") {
            p.positional.insert(p.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (!arg.starts_with("--") || arg == "-") {
            p.positional.push_back(arg);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        if (c.flags.count(arg) != 0 && !inlineValue) {
            p.flags.insert(arg);
        } else if (c.options.count(arg) != 0) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    err << kProgram << ' ' << c.name << ": " << arg << " needs a value\n";
                    return std::nullopt;
                }
                inlineValue = args[++i];
            }
            p.values[arg] = *inlineValue;
        } else {
            err << kProgram << ' ' << c.name << ": unknown option '" << arg << "'\n";
            return std::nullopt;
        }
    }
    if (p.help) return p;
    if (p.positional.size() < c.minPositional || p.positional.size() > c.maxPositional) {
        err << kProgram << ' ' << c.name << ": " << (p.positional.size() < c.minPositional ? "too few" : "too many")
            << " arguments\n"
            << c.usage;
        return std::nullopt;
    }
    return p;
}

std::optional<std::string> value(const Parsed& p, const std::string& name) {
    const auto it = p.values.find(name);
    if (it == p.values.end()) return std::nullopt;
    return it->second;
}

std::optional<TimeRange> rangeOf(const Parsed& p, const Command& c, std::ostream& err) {
    TimeRange range;
    for (auto [name, bound] : {std::pair{"--from", &range.from}, std::pair{"--to", &range.to}}) {
        const auto text = value(p, name);
        if (!text) continue;
        const auto utc = parseTimeBound(*text);
        if (!utc) {
            err << kProgram << ' ' << c.name << ": " << name << " '" << *text << "' is no time (see --help)\n";
            return std::nullopt;
        }
        *bound = *utc;
    }
    return range;
}

std::unique_ptr<ResultsStore> openTarget(const Parsed& p, const Command& c, const char* envStore, std::ostream& err) {
    std::string url = kDefaultStore;
    if (const auto given = value(p, "--store"))
        url = *given;
    else if (envStore != nullptr && *envStore != '\0')
        url = envStore;
    std::string why;
    auto store = openStore(url, why);
    // The reason shows the URL only redacted; redact once more for any text a library quoted.
    if (!store) err << kProgram << ' ' << c.name << ": " << redactUrl(why) << '\n';
    return store;
}

std::string percent(std::int64_t part, std::int64_t whole) {
    if (whole == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

ordered_json ratio(std::int64_t part, std::int64_t whole) {
    if (whole == 0) return nullptr;
    return std::round(10000.0 * static_cast<double>(part) / static_cast<double>(whole)) / 10000.0;
}

std::string dump(const ordered_json& j) { return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace); }

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return out;
}

int yieldCommand(const Command& c, const Parsed& p, std::ostream& out, std::ostream& err, const char* envStore) {
    const auto range = rangeOf(p, c, err);
    if (!range) return kUsage;
    GroupBy by = GroupBy::Day;
    if (const auto name = value(p, "--by")) {
        const auto parsed = parseGroupBy(*name);
        if (!parsed) {
            err << kProgram << " yield: --by takes product, station, recipe, hour or day, not '" << *name << "'\n";
            return kUsage;
        }
        by = *parsed;
    }
    auto store = openTarget(p, c, envStore, err);
    if (!store) return kFailed;
    std::vector<YieldRow> rows;
    std::string why;
    if (!yieldReport(*store, *range, by, rows, why)) {
        err << kProgram << " yield: " << redactUrl(why) << '\n';
        return kFailed;
    }
    YieldRow total{"total"};
    for (const YieldRow& r : rows) {
        total.devices += r.devices;
        total.firstPassOk += r.firstPassOk;
        total.finalOk += r.finalOk;
    }
    if (p.flags.count("--json") != 0) {
        const auto object = [](const YieldRow& r) {
            return ordered_json{{"devices", r.devices},
                                {"firstPassOk", r.firstPassOk},
                                {"firstPassYield", ratio(r.firstPassOk, r.devices)},
                                {"finalOk", r.finalOk},
                                {"finalYield", ratio(r.finalOk, r.devices)}};
        };
        ordered_json j;
        j["from"] = range->from;
        j["to"] = range->to;
        j["by"] = groupByName(by);
        j["groups"] = ordered_json::array();
        for (const YieldRow& r : rows) {
            ordered_json g{{"group", r.group}};
            g.update(object(r));
            j["groups"].push_back(g);
        }
        j["total"] = object(total);
        out << dump(j) << '\n';
    } else {
        std::vector<std::vector<std::string>> table;
        table.reserve(rows.size() + 1);
        rows.push_back(total);
        for (const YieldRow& r : rows)
            table.push_back({r.group, std::to_string(r.devices), std::to_string(r.firstPassOk),
                             percent(r.firstPassOk, r.devices), std::to_string(r.finalOk),
                             percent(r.finalOk, r.devices)});
        out << renderTable(
            {upper(groupByName(by)), "DEVICES", "FIRST-PASS OK", "FIRST-PASS YIELD", "FINAL OK", "FINAL YIELD"},
            {false, true, true, true, true, true}, table);
    }
    return out.flush() ? kOk : kFailed;
}

int paretoCommand(const Command& c, const Parsed& p, std::ostream& out, std::ostream& err, const char* envStore) {
    const auto range = rangeOf(p, c, err);
    if (!range) return kUsage;
    GroupBy by = GroupBy::None;
    if (const auto name = value(p, "--by")) {
        const auto parsed = parseGroupBy(*name);
        if (!parsed || (*parsed != GroupBy::Product && *parsed != GroupBy::Station)) {
            err << kProgram << " pareto: --by takes product or station, not '" << *name << "'\n";
            return kUsage;
        }
        by = *parsed;
    }
    auto store = openTarget(p, c, envStore, err);
    if (!store) return kFailed;
    std::vector<ParetoRow> rows;
    std::string why;
    if (!paretoReport(*store, *range, by, rows, why)) {
        err << kProgram << " pareto: " << redactUrl(why) << '\n';
        return kFailed;
    }
    const bool grouped = by != GroupBy::None;
    if (p.flags.count("--json") != 0) {
        ordered_json j;
        j["from"] = range->from;
        j["to"] = range->to;
        j["by"] = grouped ? ordered_json(groupByName(by)) : ordered_json(nullptr);
        j["codes"] = ordered_json::array();
        for (const ParetoRow& r : rows) {
            ordered_json code;
            if (grouped) code["group"] = r.group;
            code["errorCode"] = r.errorCode ? ordered_json(*r.errorCode) : ordered_json(nullptr);
            code["count"] = r.count;
            code["share"] = ratio(r.count, r.groupTotal);
            j["codes"].push_back(code);
        }
        out << dump(j) << '\n';
    } else {
        std::vector<std::vector<std::string>> table;
        std::int64_t cumulative = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ParetoRow& r = rows[i];
            if (i == 0 || rows[i - 1].group != r.group) cumulative = 0;
            cumulative += r.count;
            std::vector<std::string> line;
            if (grouped) line.push_back(r.group);
            line.insert(line.end(), {r.errorCode.value_or("(none)"), std::to_string(r.count),
                                     percent(r.count, r.groupTotal), percent(cumulative, r.groupTotal)});
            table.push_back(std::move(line));
        }
        std::vector<std::string> headers{"CODE", "COUNT", "SHARE", "CUMULATIVE"};
        std::vector<bool> right{false, true, true, true};
        if (grouped) {
            headers.insert(headers.begin(), upper(groupByName(by)));
            right.insert(right.begin(), false);
        }
        out << renderTable(headers, right, table);
    }
    return out.flush() ? kOk : kFailed;
}

int historyCommand(const Command& c, const Parsed& p, std::ostream& out, std::ostream& err, const char* envStore) {
    const std::string& serial = p.positional[0];
    if (serial.empty()) {
        err << kProgram << " history: the serial number is empty (checks without one have none to find)\n";
        return kUsage;
    }
    auto store = openTarget(p, c, envStore, err);
    if (!store) return kFailed;
    std::vector<CheckResult> checks;
    std::string why;
    if (!historyReport(*store, serial, checks, why)) {
        err << kProgram << " history: " << redactUrl(why) << '\n';
        return kFailed;
    }
    if (p.flags.count("--json") != 0) {
        for (const CheckResult& check : checks) out << checkJson(check) << '\n';
    } else if (checks.empty()) {
        out << "no check of serial number '" << serial << "'\n";
    } else {
        std::vector<std::vector<std::string>> table;
        for (const CheckResult& check : checks) {
            char number[32];
            std::snprintf(number, sizeof number, "%d-%03d", check.checkNo, check.retry);
            table.push_back({check.startUtc, check.stationId, number, check.verdict, check.errorCode.value_or(""),
                             check.productId, check.logFolder});
        }
        out << renderTable({"START (UTC)", "STATION", "CHECK", "VERDICT", "CODE", "PRODUCT", "LOG FOLDER"},
                           {false, false, true, false, false, false, false}, table);
    }
    return out.flush() ? kOk : kFailed;
}

int exportCommand(const Command& c, const Parsed& p, std::ostream& out, std::ostream& err, const char* envStore) {
    const auto range = rangeOf(p, c, err);
    if (!range) return kUsage;
    ExportFormat format = p.flags.count("--json") != 0 ? ExportFormat::JsonLines : ExportFormat::Csv;
    if (const auto name = value(p, "--format")) {
        if (*name == "csv" && p.flags.count("--json") == 0) {
            format = ExportFormat::Csv;
        } else if (*name == "json") {
            format = ExportFormat::JsonLines;
        } else {
            err << kProgram << " export: --format takes csv or json, not '" << *name << "'\n";
            return kUsage;
        }
    }
    auto store = openTarget(p, c, envStore, err);
    if (!store) return kFailed;
    std::int64_t rows = 0;
    std::string why;
    if (!exportChecks(*store, *range, format, out, rows, why)) {
        err << kProgram << " export: " << redactUrl(why) << '\n';
        return kFailed;
    }
    return kOk;
}

int ingestCommand(const Command& c, const Parsed& p, std::ostream& out, std::ostream& err, const char* envStore) {
    IngestContext context;
    context.stationId = value(p, "--station-id").value_or("");
    if (context.stationId.empty()) {
        err << kProgram << " ingest: --station-id is required: the files do not name their station\n";
        return kUsage;
    }
    context.host = value(p, "--host").value_or("");
    context.recipeFile = value(p, "--recipe");
    context.productId = value(p, "--product");
    context.logFolder = value(p, "--log-folder");
    // The station's folders end in their separator; a folder given without one means the same.
    if (context.logFolder && !context.logFolder->empty() && context.logFolder->back() != '/') *context.logFolder += '/';
    IngestFormat format = IngestFormat::Auto;
    if (const auto name = value(p, "--format")) {
        if (*name == "json") {
            format = IngestFormat::Records;
        } else if (*name == "log") {
            format = IngestFormat::ResultLog;
        } else if (*name != "auto") {
            err << kProgram << " ingest: --format takes auto, json or log, not '" << *name << "'\n";
            return kUsage;
        }
    }
    auto store = openTarget(p, c, envStore, err);
    if (!store) return kFailed;
    Ingestor ingestor(*store, [&](const std::string& problem) { err << kProgram << " ingest: " << problem << '\n'; });
    std::int64_t unread = 0;
    for (const std::string& file : p.positional) {
        std::string why;
        if (!ingestFile(file, format, context, ingestor, why)) {
            ++unread;
            err << kProgram << " ingest: " << why << '\n';
        }
    }
    ingestor.flush();
    const IngestCounts& n = ingestor.counts();
    if (p.flags.count("--json") != 0) {
        out << dump(ordered_json{{"files", p.positional.size()},
                                 {"filesUnread", unread},
                                 {"checks", n.read},
                                 {"written", n.written},
                                 {"alreadyThere", n.alreadyThere},
                                 {"refused", n.rejected},
                                 {"unavailable", n.unavailable},
                                 {"linesSkipped", n.skipped}})
            << '\n';
    } else {
        out << n.read << " checks read from " << (p.positional.size() - static_cast<std::size_t>(unread)) << " of "
            << p.positional.size() << " files: " << n.written << " written, " << n.alreadyThere
            << " already in the store, " << n.rejected << " refused, " << n.unavailable << " not taken now; "
            << n.skipped << " lines skipped\n";
    }
    out.flush();
    const bool complete = unread == 0 && n.rejected == 0 && n.unavailable == 0 && n.skipped == 0;
    return complete && out ? kOk : kFailed;
}

int syncCommand(const Command& c, const Parsed& p, std::ostream& out, std::ostream& err, const char* envStore) {
    std::string spoolPath = p.positional[0];
    if (spoolPath.starts_with("sqlite:")) spoolPath.erase(0, 7);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(spoolPath, ec)) {
        err << kProgram << " sync: no spool at " << spoolPath << '\n';
        return kFailed;
    }
    std::string why;
    // The station's own spool: a file of another schema is refused with the reason before anything moves.
    auto spool = ResultsSpool::open(spoolPath, why);
    if (!spool) {
        err << kProgram << " sync: " << why << '\n';
        return kFailed;
    }
    auto target = openTarget(p, c, envStore, err);
    if (!target) return kFailed;

    constexpr std::size_t kBatch = 1000;
    std::int64_t written = 0, already = 0, refused = 0;
    bool stopped = false;
    std::vector<SpooledCheck> spooled;
    std::vector<CheckResult> batch;
    while (!stopped) {
        if (!spool->oldest(kBatch, spooled, why)) {
            err << kProgram << " sync: " << why << '\n';
            return kFailed;
        }
        if (spooled.empty()) break;
        batch.clear();
        for (const SpooledCheck& s : spooled) batch.push_back(s.check);
        const std::vector<InsertResult> answers = target->insertBatch(batch);
        std::vector<std::int64_t> done;
        for (std::size_t i = 0; i < answers.size() && !stopped; ++i) {
            const CheckResult& check = batch[i];
            switch (answers[i].status) {
                case InsertStatus::Written:
                    ++written;
                    done.push_back(spooled[i].id);
                    break;
                case InsertStatus::AlreadyThere:
                    ++already;
                    done.push_back(spooled[i].id);
                    break;
                case InsertStatus::Rejected:
                    // Kept beside the waiting checks, as the station keeps them: no store takes it as it is.
                    ++refused;
                    err << kProgram << " sync: refused by " << target->describe() << ", kept in the spool: station "
                        << check.stationId << " check " << check.checkNo << '-' << check.retry << " of "
                        << check.startUtc << ": " << redactUrl(answers[i].reason) << '\n';
                    if (!spool->addRefused(check, redactUrl(answers[i].reason), why)) {
                        err << kProgram << " sync: " << why << '\n';
                        return kFailed;
                    }
                    done.push_back(spooled[i].id);
                    break;
                case InsertStatus::Unavailable:
                    // The later ones wait behind it, so the store receives them in their order.
                    err << kProgram << " sync: " << target->describe()
                        << " cannot take checks now: " << redactUrl(answers[i].reason) << '\n';
                    stopped = true;
                    break;
            }
        }
        // Gone from the spool only once the store has them: a crash here forwards them again,
        // and the store answers AlreadyThere.
        if (!done.empty() && !spool->remove(done, why)) {
            err << kProgram << " sync: the forwarded checks cannot be deleted from the spool " << spoolPath
                << " (a later sync forwards them again and the store keeps them once): " << why << '\n';
            return kFailed;
        }
    }
    if (p.flags.count("--json") != 0) {
        out << dump(ordered_json{
                   {"written", written}, {"alreadyThere", already}, {"refused", refused}, {"stopped", stopped}})
            << '\n';
    } else {
        out << "forwarded from " << spoolPath << " to " << target->describe() << ": " << written << " written, "
            << already << " already in the store, " << refused << " refused (left in the spool)"
            << (stopped ? "; stopped: the store cannot take checks now" : "") << '\n';
    }
    out.flush();
    return refused == 0 && !stopped && out ? kOk : kFailed;
}

}  // namespace

std::string renderTable(const std::vector<std::string>& headers, const std::vector<bool>& rightAligned,
                        const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(headers.size());
    for (std::size_t i = 0; i < headers.size(); ++i) widths[i] = headers[i].size();
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    std::string out;
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            const std::string cell = i < cells.size() ? cells[i] : std::string();
            if (i > 0) text += "  ";
            const std::size_t pad = widths[i] - cell.size();
            if (rightAligned[i]) text.append(pad, ' ');
            text += cell;
            if (!rightAligned[i]) text.append(pad, ' ');
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text;
        out += '\n';
    };
    line(headers);
    for (const auto& row : rows) line(row);
    return out;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const char* envStore) {
    if (args.empty()) {
        usage(err);
        return kUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        usage(out);
        return kOk;
    }
    if (args[0] == "--version") {
        out << kProgram << ' ' << VORLICK_VERSION_STRING << '\n';
        return kOk;
    }
    for (const Command& c : commands()) {
        if (args[0] != c.name) continue;
        const auto parsed = parseArguments(c, std::vector<std::string>(args.begin() + 1, args.end()), err);
        if (!parsed) return kUsage;
        if (parsed->help) {
            out << c.usage << "  --store URL       the store (default: VORLICK_RESULTS, else sqlite:results.db)\n";
            if (c.options.count("--from") != 0) out << kRangeHelp;
            if (c.flags.count("--json") != 0) out << "  --json            for scripts: JSON instead of a table\n";
            return kOk;
        }
        const std::string name = c.name;
        if (name == "ingest") return ingestCommand(c, *parsed, out, err, envStore);
        if (name == "yield") return yieldCommand(c, *parsed, out, err, envStore);
        if (name == "pareto") return paretoCommand(c, *parsed, out, err, envStore);
        if (name == "history") return historyCommand(c, *parsed, out, err, envStore);
        if (name == "export") return exportCommand(c, *parsed, out, err, envStore);
        return syncCommand(c, *parsed, out, err, envStore);
    }
    err << kProgram << ": unknown command '" << args[0] << "'\n";
    usage(err);
    return kUsage;
}

}  // namespace results::cli
