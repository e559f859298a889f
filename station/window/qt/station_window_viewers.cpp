// The hidden maintenance commands of the station window: Ctrl+R opens the raw data viewer and
// Ctrl+P the pin check viewer, modally, on the touch collection in maintenance mode. The
// run-control timer stands still while one is open.
#include <QKeyEvent>
#include <QTimer>

#include "platform/tick_counter.h"
#include "station/viewers/logic/viewer_opening.h"
#include "station/viewers/qt/pin_viewer_window.h"
#include "station/viewers/qt/raw_viewer_window.h"
#include "station/window/qt/station_window.h"

namespace station {

bool StationWindow::viewerKey(const QKeyEvent& key) {
    const bool raw = key.key() == Qt::Key_R;
    if (key.modifiers() != Qt::ControlModifier || (!raw && key.key() != Qt::Key_P)) return false;
    // Not during a reset or a check: the key goes its normal way.
    if (!keys_->acceleratorsEnabled() || closePending_) return false;
    openViewerAfterStep(raw);
    return true;
}

void StationWindow::openViewerAfterStep(bool raw) {
    // A key pumped inside a step of the station (a tick) opens the viewer once the step has
    // returned, if the station still takes accelerators then.
    if (stepDepth_ > 0) {
        QTimer::singleShot(0, this, [this, raw] {
            if (keys_->acceleratorsEnabled() && !closePending_) openViewerAfterStep(raw);
        });
        return;
    }
    // A close asked for meanwhile closes the viewer and then the window, as for any dialog.
    runStep([this, raw] { runViewer(raw); });
}

void StationWindow::runViewer(bool raw) {
    Station& s = *s_;
    const bool ticking = tickTimer_.isActive();
    tickTimer_.stop();
    const viewers::ViewerOpening opening =
        raw ? viewers::prepareRawViewer(s.touch) : viewers::preparePinViewer(s.touch);
    if (opening == viewers::ViewerOpening::NotInMaintenance) {
        // Nothing happened: the timer runs on.
        if (ticking) tickTimer_.start();
        return;
    }
    if (opening == viewers::ViewerOpening::Ready) {
        viewers::DeviceLinkViewerPort port(s.touch);
        if (raw) {
            viewers::RawViewerWindow viewer(
                viewers::RawViewerSetup{.device = port,
                                        .lastRaw = s.check.frames.rawAverage,
                                        .lastDiff = s.check.raw.maps.rawDiff,
                                        .upperMap = s.check.raw.maps.upperMap,
                                        .lowerMap = s.check.raw.maps.lowerMap,
                                        .recipe = s.recipe,
                                        .marginsAvailable = viewers::marginsAvailable(s.recipe),
                                        .clock = s.clock,
                                        .ticks = platform::systemTickCounter(),
                                        .tableAccess = {s.startDirectory, {}},
                                        .dumpFolder = ".",
                                        .appendMessage = [this](std::string_view m) { appendMessage(m); }},
                this);
            execModal(viewer);
        } else {
            viewers::PinViewerWindow viewer(viewers::PinViewerInputs{.device = port,
                                                                     .waitTime = s.recipe.WAIT_TIME,
                                                                     .shortThreshold = s.recipe.SHORT_THRESHOLD,
                                                                     .openThreshold = 50,
                                                                     .rxMap = s.recipe.XLUT,
                                                                     .txMap = s.recipe.YLUT},
                                            this);
            execModal(viewer);
        }
    }
    setTickTimer(true);
}

}  // namespace station
