#pragma once
// The TKP window's painter, for the window on the screen and for frames rendered off-screen:
// the grey ground with the scene of the check over it.
#include <QImage>

#include "station/checks/logic/tkp_scene.h"

class QPainter;

namespace station::checks {

void paintTkpScene(QPainter& p, const TkpScene& scene, const Surface& s);

// The frame of the check as it is now; `frame` is reused when it already has the surface's size.
void composeTkpFrame(const TkpScene& scene, const Surface& s, QImage& frame);

}  // namespace station::checks
