#include "station/app/app_options.h"

#include <charconv>

#include "results/check_result.h"
#include "results/store_url.h"

namespace station {

const char* appUsage() {
    return "usage: VorlickR6X [RECIPE]\n"
           "       VorlickR6X --headless [--start] [--checks N] [--json FILE] [RECIPE]\n"
           "       (both take [--results URL] [--station-id ID])\n"
           "       VorlickR6X --help | --version\n"
           "\n"
           "The production test station. Without --headless it opens its window on the display\n"
           "named by DISPLAY or WAYLAND_DISPLAY (none: exit 2, use --headless). A second start\n"
           "in the same session brings the running window to the front and ends with 0; a station\n"
           "of another session in the same station folder is refused (exit 2).\n"
           "  --headless   no window: stdout is the message pane, stderr the prompt (\"prompt: \"),\n"
           "               the status panel (\"state: \") and last \"exit code: N\"; stdin takes one\n"
           "               command per line: start, sn TEXT, enter, reset, load FILE, quit\n"
           "  --start      (headless) press Start as soon as a recipe is loaded\n"
           "  --checks N   (headless) close after N checks ended (with a verdict or ERROR)\n"
           "  --json FILE  (headless) append one JSON line per check that ended\n"
           "  --results URL  write each check that ended into the line's results store:\n"
           "               sqlite:PATH (a file, e.g. sqlite:results.db) or postgresql://USER@HOST/DB;\n"
           "               an unreachable store never stops the line: checks wait in\n"
           "               results-spool.db in the station folder and are written when it is back\n"
           "  --station-id ID  this station's name in the store (default: the host name)\n"
           "  RECIPE       recipe file (relative to the working directory); without it the recipe\n"
           "               is chosen by the attached controller's product id\n"
           "SIGINT, SIGTERM and SIGHUP close the station in order, also its window; headless, a\n"
           "second one during a check aborts it (ERROR). With --checks, the end of stdin closes a\n"
           "station that cannot go on without the operator (exit -1). The exit status is the\n"
           "last verdict's code modulo 256 (0 OK, 610 gives 98, ERROR -1 gives 255; a failure\n"
           "never gives 0); 2 for a usage error or a station that could not start (a lock that\n"
           "cannot be made, the station folder in use, the JSON file, the HID backend).\n"
           "VORLICK_HID selects the controller: hidraw (default) or sim:<socket path>.\n"
           "VORLICK_RESULTS and VORLICK_STATION_ID stand for --results and --station-id when those\n"
           "are not given. A results URL that cannot be used refuses the start (exit 2).\n";
}

AppOptions parseAppOptions(const std::vector<std::string>& args) {
    AppOptions o;
    bool headless = false;
    bool positionalOnly = false;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (positionalOnly || a.empty() || a[0] != '-') {
            positional.push_back(a);
        } else if (a == "--") {
            positionalOnly = true;
        } else if (a == "--help" || a == "-h") {
            o.mode = AppOptions::Mode::Help;
            return o;
        } else if (a == "--version") {
            o.mode = AppOptions::Mode::Version;
            return o;
        } else if (a == "--headless") {
            headless = true;
        } else if (a == "--start") {
            o.pressStart = true;
        } else if (a == "--checks" || a == "--json" || a == "--results" || a == "--station-id") {
            if (i + 1 >= args.size()) {
                o.error = a + " needs a value";
                return o;
            }
            const std::string& v = args[++i];
            if (a == "--json") {
                o.jsonPath = v;
                continue;
            }
            if (a == "--results") {
                o.resultsUrl = v;
                continue;
            }
            if (a == "--station-id") {
                o.stationId = v;
                continue;
            }
            int n = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || end != v.data() + v.size() || n < 1) {
                o.error = "--checks needs a whole number of at least 1, not '" + v + "'";
                return o;
            }
            o.checkLimit = n;
        } else {
            o.error = "unknown option '" + a + "'";
            return o;
        }
    }
    if (positional.size() > 1) {
        o.error = "one recipe at most (quote a name that holds blanks)";
        return o;
    }
    if (!positional.empty()) o.recipe = positional.front();
    o.mode = headless ? AppOptions::Mode::Headless : AppOptions::Mode::Window;
    return o;
}

std::string settleResultsOptions(AppOptions& o, const char* resultsVariable, const char* stationIdVariable,
                                 const std::string& hostName) {
    if (o.resultsUrl.empty() && resultsVariable != nullptr) o.resultsUrl = resultsVariable;
    if (o.stationId.empty() && stationIdVariable != nullptr) o.stationId = stationIdVariable;
    if (o.stationId.empty()) o.stationId = hostName;
    if (o.resultsUrl.empty()) return {};
    std::string why;
    if (!results::parseStoreUrl(o.resultsUrl, why)) return why;
    if (o.stationId.size() > results::kMaxStationIdLength)
        return "the station id '" + o.stationId + "' is longer than " + std::to_string(results::kMaxStationIdLength) +
               " characters; name the station with --station-id";
    return {};
}

std::string programVersionText(const std::string& v) {
    int dots = 0;
    for (char c : v) dots += c == '.';
    const std::size_t last = v.rfind('.');
    if (dots != 3 || last == 0 || last + 1 >= v.size()) return "0.0.0";
    return v.substr(0, last);
}

}  // namespace station
