#include "station/logs/result_log.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "station/logs/record_file.h"
#include "station/logs/record_time.h"
#include "station/logs/serial_text.h"
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
constexpr const char* kResultCopy = "result.log";

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
    // One line whatever the scanner sent: control characters are shown, not written.
    std::string serial = visibleText(row.serialNo);
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

std::string writeFailure(const std::string& path, const platform::RecordWrite& written) {
    // A copy may fail on its source: then the reason names that file.
    const platform::Failure& f = written.failure;
    return "Failed to write '" + path + "': " + (f.where.empty() || f.where == path ? f.reason : f.text());
}

// The closing ruler and the totals; a log that cannot take them is a lost record.
void appendTotals(Station& s, const std::string& path) {
    const CheckCounters& c = s.counters;
    const std::string totals = resultLogTotals({c.checkCount, c.okCount, c.ngCount});
    if (const auto written = appendRecordFile(path, totals); !written) recordFailed(s, writeFailure(path, written));
}

// An opening that failed after the head was written closes that log at once: it is no log in
// force, and no later shutdown writes into it.
bool closeFailedOpening(Station& s) {
    appendTotals(s, s.logFiles.resultLogPath);
    s.logFiles.resultLogPath.clear();
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
    if (const auto written = writeRecordFile(f.resultLogPath, resultLogHead(r, f, now)); !written) {
        s.ui.appendMessage("Failed to open log '" + f.resultLogPath + "'");
        s.ui.appendMessage(writeFailure(f.resultLogPath, written));
        f.resultLogPath.clear();
        return false;
    }
    s.ui.appendMessage("Success to open log '" + f.resultLogPath + "'");

    if (r.WRITE_FW != 0 && !copyWorkingImage(s, r.HEX_FILE, "_tmp.hex", "Failed to copy hex file."))
        return closeFailedOpening(s);
    if (r.WRITE_HSYNC_FW != 0 &&
        !copyWorkingImage(s, r.HSYNC_HEX_FILE, "_tmpRL78.hex", "Failed to copy Hsync fw hex file."))
        return closeFailedOpening(s);

    s.ui.requestRepaint(RepaintArea::Window);
    return true;
}

bool AppendResultRow(Station& s) {
    const std::string& path = s.logFiles.resultLogPath;
    if (const auto written = appendRecordFile(path, resultLogRow(s.check)); !written) {
        s.ui.appendMessage("Failed to open result.log");
        recordFailed(s, writeFailure(path, written));
        return false;
    }
    // Said only when every record of the check so far is on the disk.
    if (!s.records.unseenFailure) s.ui.appendMessage("Success to dump log data");
    return true;
}

void CloseResultLog(Station& s) {
    const std::string& path = s.logFiles.resultLogPath;
    if (path.empty()) return;  // never opened: nothing to close or copy
    appendTotals(s, path);
    if (const auto copied = copyRecordFile(path, kResultCopy); !copied) {
        // An earlier run's copy would pass for this one's.
        std::error_code ec;
        if (!std::filesystem::is_directory(std::filesystem::symlink_status(kResultCopy, ec)))
            std::filesystem::remove(kResultCopy, ec);
        recordFailed(s, writeFailure(kResultCopy, copied));
    }
}

}  // namespace station
