#pragma once
// Opening the desktop for the writer's window.
#include <QApplication>
#include <memory>

namespace romwrite {

// The application on the desktop named by DISPLAY or WAYLAND_DISPLAY; nullptr when neither is
// set or Qt cannot open it (the caller then runs without a window).
std::unique_ptr<QApplication> openDisplay(const char* programName);

}  // namespace romwrite
