#include "station/checks/logic/drawing_inputs.h"

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/check_record.h"
#include "station/sequence/station_state.h"

namespace station::checks {

DrawingInputs drawingInputs(const CheckWindowRequest& request, CheckContext& check, const Surface& surface) {
    const RecipeSettings& r = check.recipe;
    DrawingInputs in;
    in.surface = surface;
    in.rxCount = check.touch.rxCount();
    in.txCount = check.touch.txCount();
    in.touchMaxX = check.touch.readout().touchMaxX;
    in.touchMaxY = check.touch.readout().touchMaxY;
    // Bytes 4 and 5 of the version answer: the contact format flags and the slots per report.
    in.contactFormat = {check.connect.maintenanceVersion[4], check.connect.maintenanceVersion[5]};
    in.customPenReport = request.customPenReport;
    in.penMaxX = request.penMaxX;
    in.penMaxY = request.penMaxY;
    in.penMaxPressure = check.connect.penQuery.maxPressure;
    in.rotate = r.ROTATE != 0;
    in.driverMode = check.connect.driverMode != 0;
    in.mtouchWaitMs = r.MTOUCH_WAIT;
    in.okWaitMs = r.OK_WAIT;
    in.ngWaitMs = r.NG_WAIT;
    in.initLimitMs = r.DRAW_INIT_LIMIT_TIME;
    in.skipPenDrawing = r.SKIP_PEN_DRAWING != 0;
    in.accuracyCheck = r.ACCURACY_CHECK != 0;
    in.hoverCheck = r.HOVER_CHECK != 0;
    in.hoverNgCount = r.HOVER_NG_COUNT;
    in.accuracyRadius = r.ACCURACY_RADIUS;
    in.judgeAreaPercent = r.DRAW_JUDGE_AREA;
    in.disableMask = r.drawDisableMask;
    in.skipInit = r.DRAW_DISABLE_INT != 0;
    in.drawResult = &check.record.detail.drawResult;
    return in;
}

}  // namespace station::checks
