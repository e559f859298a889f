#pragma once
// Opening the desktop for a window: the writer's and the station's open it alike.
#include <QApplication>
#include <memory>

namespace romwrite {

// The application on the desktop named by DISPLAY or WAYLAND_DISPLAY; nullptr when neither is
// set or Qt cannot open it (the caller then runs without a window: the writer on its console,
// the station only with --headless). The program decides when it ends, not its last window.
std::unique_ptr<QApplication> openDisplay(const char* programName);

}  // namespace romwrite
