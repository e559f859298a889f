#include "station/sequence/scan_check.h"

#include <optional>

#include "hidlink/queued_reports.h"
#include "station/device/device_link.h"
#include "station/sequence/check_record.h"
#include "station/sequence/station_state.h"
#include "station/sequence/ui_port.h"
#include "station/sequence/window_runners.h"

namespace station {
namespace {

constexpr std::uint32_t kLookMs = 10;
constexpr std::uint32_t kAfterFailedReadMs = 100;
constexpr int kMaxFailedReads = 10;
constexpr std::uint64_t kScanLimitMs = 10000;
constexpr std::uint32_t kPenSettleMs = 100;
constexpr std::uint32_t kPenStatisticsWindow = 100;
constexpr std::uint8_t kLineReportId = 15;
constexpr std::size_t kScanWordByte = 90;  // register word 45

enum class TouchScan { Scanning, TimedOut, ReadFailed };

TouchScan waitForTouchScan(CheckContext& check) {
    int failures = 0;
    std::optional<std::uint64_t> firstRead;
    for (;;) {
        check.clock.sleepMs(kLookMs);
        if (!check.touch.readRegisters()) {
            if (++failures > kMaxFailedReads) return TouchScan::ReadFailed;
            check.clock.sleepMs(kAfterFailedReadMs);
            continue;
        }
        failures = 0;
        const std::uint64_t now = check.clock.monotonicMs();
        if (!firstRead) firstRead = now;
        if ((check.touch.registers()[kScanWordByte] & 1) != 0) return TouchScan::Scanning;
        if (now - *firstRead > kScanLimitMs) return TouchScan::TimedOut;
        check.ui.pumpMessages();
    }
}

// True once a line report came within the limit; the reports feed the pen's line statistics.
bool waitForPenLine(CheckContext& check, hidlink::QueuedReports& reports) {
    const std::uint64_t start = check.clock.monotonicMs();
    bool seen = false;
    for (;;) {
        hidlink::QueuedReport r;
        while (reports.take(r, 0)) {
            if (r.bytes.empty() || r.bytes[0] != kLineReportId) continue;
            check.pen.addLineReport(r.bytes);
            seen = true;
        }
        if (seen) return true;
        if (check.clock.monotonicMs() - start > kScanLimitMs) return false;
        check.ui.pumpMessages();
        check.clock.sleepMs(kLookMs);
    }
}

bool fail(CheckContext& check, const char* message) {
    check.ui.appendMessage(message);
    return false;
}

void writeTestRegisters(CheckContext& check) {
    if (!check.touch.writeRegisters()) check.ui.appendMessage("Failed to set register for test.");
}

}  // namespace

RunnerOutcome runScanCheck(CheckContext& check) {
    std::int32_t& flags = check.record.detail.scanFlags;
    if (!prepareForOperatorCheck(check, "Touch Device is not open.")) return {false, {}};

    const TouchScan touch = waitForTouchScan(check);
    if (touch == TouchScan::ReadFailed) return {fail(check, "Failed to get register. (touch scan check)"), {}};
    if (touch == TouchScan::TimedOut) flags |= 2;
    check.touch.setRegisters(check.connect.testRegisters);
    writeTestRegisters(check);
    if (touch == TouchScan::TimedOut) {
        writeTestRegisters(check);
        return {true, {}};
    }

    if (!check.pen.isOpen() || !check.connect.penConnected) return {fail(check, "Pen Device is not open."), {}};
    check.touch.setRegisters(check.connect.normalScanRegisters);
    if (!check.touch.writeRegisters()) return {fail(check, "Failed to set register for normal scan."), {}};
    check.clock.sleepMs(kPenSettleMs);
    if (!check.pen.startPenMaintenance()) return {fail(check, "Failed to start Pen Maintenance Mode."), {}};
    check.pen.resetLineStatistics(kPenStatisticsWindow);
    hidlink::QueuedReports reports;
    if (!check.pen.startInputReader(reports)) check.ui.appendMessage("Failed to start thread of pen.");
    if (!waitForPenLine(check, reports)) flags |= 4;
    check.pen.stopPenMaintenance();
    check.pen.stopInputReader();

    check.touch.setRegisters(check.connect.testRegisters);
    writeTestRegisters(check);
    return {true, {}};
}

}  // namespace station
