#pragma once
// The hidden commands that open the viewers (Ctrl+R, Ctrl+P) act only on a touch collection
// that is open and in maintenance mode; the raw data viewer also wants the controller's
// automatic calibration off, or the raw values would drift under the operator's eyes. The
// window stops its run-control timer around these and restarts it afterwards.
#include <cstdint>
#include <span>

#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"

namespace station::viewers {

enum class ViewerOpening {
    NotInMaintenance,  // nothing done: the command does nothing
    Refused,           // the controller refused the set-up: the viewer does not open
    Ready,
};

// Report 2 read and its byte 1 is 1 (maintenance mode), on an open link.
bool inMaintenanceMode(DeviceLink& touch);

// Ctrl+R: maintenance mode, then automatic calibration off and the register image written.
ViewerOpening prepareRawViewer(DeviceLink& touch);

// Ctrl+P: maintenance mode only.
ViewerOpening preparePinViewer(DeviceLink& touch);

// The raw data viewer's diff, margin and error views make sense only for a loaded recipe that
// judges raw data.
inline bool marginsAvailable(const RecipeSettings& recipe) { return recipe.RAW_CHECK != 0 && recipe.recipeLoaded; }

}  // namespace station::viewers
