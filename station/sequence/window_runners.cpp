#include "station/sequence/window_runners.h"

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/station_state.h"
#include "station/sequence/ui_port.h"

namespace station {
namespace {

constexpr std::uint32_t kAfterCalibrationMs = 5;
constexpr std::uint32_t kPenSettleMs = 100;

RunnerOutcome cannotRun(CheckContext& check, const char* message) {
    check.ui.appendMessage(message);
    return {false, {}};
}

void restoreTestRegisters(CheckContext& check) {
    check.touch.setRegisters(check.connect.testRegisters);
    if (!check.touch.writeRegisters()) check.ui.appendMessage("Failed to set register for test.");
}

void runWindow(CheckContext& check, CheckWindow which, bool customPenReport = false) {
    CheckWindowRequest request;
    request.which = which;
    request.customPenReport = customPenReport;
    request.penMaxX = check.connect.penQuery.maxX;
    request.penMaxY = check.connect.penQuery.maxY;
    if (check.recipe.PEN_QUERY_USE_INI != 0) {
        request.penMaxX = static_cast<std::uint32_t>(check.recipe.PEN_QUERY_WIDTH);
        request.penMaxY = static_cast<std::uint32_t>(check.recipe.PEN_QUERY_HEIGHT);
    }
    check.ui.runCheckWindow(request, check);
}

}  // namespace

bool prepareForOperatorCheck(CheckContext& check, const char* notOpen, bool penVariant) {
    if (penVariant) {
        if (!check.pen.isOpen() || !check.connect.penConnected) return cannotRun(check, notOpen).ran;
    } else {
        std::uint8_t mode = 0;
        if (!check.touch.isOpen() || !check.touch.readDeviceMode(mode) || mode != 1)
            return cannotRun(check, notOpen).ran;
    }
    check.touch.setRegisters(check.connect.normalScanRegisters);
    if (!check.touch.writeRegisters()) return cannotRun(check, "Failed to set register for normal scan.").ran;
    if (!check.touch.calibrationControl(0)) return cannotRun(check, "Failed to execute calibration.").ran;
    check.clock.sleepMs(kAfterCalibrationMs);
    return true;
}

RunnerOutcome runDrawingCheck(CheckContext& check) {
    if (!prepareForOperatorCheck(check, "Device is not open.(drawing check)")) return {false, {}};
    const bool pen = check.connect.penConnected;
    const bool customPen = pen && check.pen.setPenReportType(1);
    if (pen && !customPen) check.ui.appendMessage("Failed to set report-type custom pen.");
    check.touch.setReportType(1);
    runWindow(check, CheckWindow::Drawing, customPen);
    restoreTestRegisters(check);
    // The window read the maintenance touch reports: the controller goes back to its normal ones.
    check.touch.setReportType(0);
    if (pen && !check.pen.setPenReportType(0)) check.ui.appendMessage("Failed to set report-type normal pen.");
    return {true, {}};
}

RunnerOutcome runTkpCheck(CheckContext& check) {
    if (!prepareForOperatorCheck(check, "Pen Device is not open.", true)) return {false, {}};
    check.touch.setReportType(1);
    if (!check.pen.setPenReportType(1)) check.ui.appendMessage("Failed to set report-type custom pen.");
    check.clock.sleepMs(kPenSettleMs);
    CheckResults& results = check.record.results;
    results.tkpAverageHistory.clear();
    results.tkpSigmaHistory.clear();
    results.tkpMaxHistory.clear();
    runWindow(check, CheckWindow::Tkp);
    restoreTestRegisters(check);
    check.touch.setReportType(0);
    check.pen.setPenReportType(0);
    return {true, {}};
}

RunnerOutcome runHomeKeyCheck(CheckContext& check) {
    if (!prepareForOperatorCheck(check, "Device is not open.(home key check)")) return {false, {}};
    check.touch.setReportType(1);
    const bool viaDriver = check.connect.driverMode != 0;
    if (viaDriver && !check.touch.setDriverHomeKeyMode(true))
        return cannotRun(check, "Failed to enter HomeKey check mode (via driver).");
    runWindow(check, CheckWindow::HomeKey);
    if (viaDriver && !check.touch.setDriverHomeKeyMode(false))
        check.ui.appendMessage("Failed to exit HomeKey check mode (via driver).");
    restoreTestRegisters(check);
    check.touch.setReportType(0);
    return {true, {}};
}

}  // namespace station
