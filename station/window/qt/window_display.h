#pragma once
// Opening the desktop for the station window.
#include <QApplication>
#include <memory>

namespace station {

// The application on the desktop named by DISPLAY or WAYLAND_DISPLAY; nullptr when neither is
// set or Qt cannot open it (the station then needs --headless).
std::unique_ptr<QApplication> openDisplay(const char* programName);

}  // namespace station
