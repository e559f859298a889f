#include "station/logs/result_log.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "station/logs/record_file.h"
#include "station/logs/record_time.h"
#include "station/logs/settings_lines.h"

namespace station {

namespace {

constexpr std::string_view kRuler =
    "|---------------------|------------|--------------------|--------|--------|--------|--------|--------|--------|---"
    "-----|"
    "--------|\n";
constexpr std::string_view kColumnHeader =
    "|        DATE         |     NO     |         S/N        | RESULT |  CODE  |  COM   |  F/W   | SHORT  |  OPEN  |  "
    "RAW   "
    "|  DRAW  |\n";
constexpr std::size_t kSerialWidth = 18;

// Numbers only: the texts that come from outside are appended whole.
std::string numbers(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

std::string resultLogHead(const RecipeSettings& r, const LogFiles& f, const platform::TimeOfDay& now) {
    std::string out = "Date : " + recordTimeText(now) + "\n\n";
    out += "##### INI : " + r.recipePath + " ###################\n";
    out += settingsBlock(r, SettingsRecord::ResultLog);
    out += "\n##### INFO ###################\n";
    out += keyColumn("RX_PORT_COUNT") + " : " + std::to_string(r.RX_PORT_COUNT) + '\n';
    out += keyColumn("TX_PORT_COUNT") + " : " + std::to_string(r.TX_PORT_COUNT) + '\n';
    out += keyColumn("LOG_RESULT") + " : " + f.logFolder + f.logTimestamp + "_result.log\n";
    out += "\n##### RESULT (LIST) ###################\n";
    out += kRuler;
    out += kColumnHeader;
    out += kRuler;
    return out;
}

std::string resultLogRow(const CheckRecord& check) {
    const RunRecord& row = check.row;
    std::string serial = row.serialNo;
    // A longer serial number widens its column rather than losing characters.
    if (serial.size() < kSerialWidth) serial.append(kSerialWidth - serial.size(), ' ');
    std::string out = "| ";
    out += check.endTime;
    out += " | " + numbers("%6d-%03d", row.checkNo, row.retryNo);
    out += " | " + serial;
    out += " |   " + row.colResult;
    out += "   |  " + row.colCode;
    out += "  |  " + row.colCom;
    out += "  | " + row.colFw;
    out += "  |  " + row.colShort;
    out += "   |   " + row.colOpen;
    out += "   | " + row.colRaw;
    out += "  |  " + row.colDraw;
    out += "  |\n";
    return out;
}

std::string resultLogTotals(const RunTotals& t) {
    std::string totals(kRuler);
    totals +=
        "\nTotal:" + std::to_string(t.checks) + " OK:" + std::to_string(t.ok) + " NG:" + std::to_string(t.ng) + '\n';
    return totals;
}

namespace {

bool copyWorkingImage(Station& s, const std::string& image, const char* copyName, std::string_view failure) {
    if (copyRecordFile(image, copyName)) return true;
    s.ui.appendMessage(failure);
    return false;
}

}  // namespace

bool OpenResultLog(Station& s) {
    const platform::TimeOfDay now = s.clock.timeOfDay();
    const RecipeSettings& r = s.recipe;
    LogFiles& f = s.logFiles;

    f.logTimestamp = logTimestampText(now);
    // LOG_DIR is a resolved folder without a trailing separator, except the root itself.
    std::string logDir = r.LOG_DIR;
    if (logDir.empty() || logDir.back() != '/') logDir += '/';
    if (r.DISABLE_FOLDER != 0) {
        f.logFolder = logDir;
    } else {
        f.logFolder = logDir + r.LOG_FILE + '_' + f.logTimestamp + '/';
        // An existing folder is fine; one that cannot be made shows up as the log's failure.
        std::error_code ec;
        std::filesystem::create_directory(f.logFolder, ec);
    }
    f.resultLogPath = f.logFolder + f.logTimestamp + "_result.log";

    // A head that did not reach the disk is a log that failed to open, not one to write rows to.
    if (!writeRecordFile(f.resultLogPath, resultLogHead(r, f, now))) {
        s.ui.appendMessage("Failed to open log '" + f.resultLogPath + "'");
        return false;
    }
    s.ui.appendMessage("Success to open log '" + f.resultLogPath + "'");

    if (r.WRITE_FW != 0 && !copyWorkingImage(s, r.HEX_FILE, "_tmp.hex", "Failed to copy hex file.")) return false;
    if (r.WRITE_HSYNC_FW != 0 &&
        !copyWorkingImage(s, r.HSYNC_HEX_FILE, "_tmpRL78.hex", "Failed to copy Hsync fw hex file."))
        return false;

    s.ui.requestRepaint(RepaintArea::Window);
    return true;
}

bool AppendResultRow(Station& s) {
    if (!appendRecordFile(s.logFiles.resultLogPath, resultLogRow(s.check))) {
        s.ui.appendMessage("Failed to open result.log");
        return false;
    }
    s.ui.appendMessage("Success to dump log data");
    return true;
}

void CloseResultLog(Station& s) {
    const std::string& path = s.logFiles.resultLogPath;
    if (path.empty()) return;  // never opened: nothing to close or copy
    const CheckCounters& c = s.counters;
    appendRecordFile(path, resultLogTotals({c.checkCount, c.okCount, c.ngCount}));
    copyRecordFile(path, "result.log");
}

}  // namespace station
