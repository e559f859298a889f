#include "romwrite/window/display/open_display.h"

#include "platform/desktop.h"

namespace romwrite {
namespace {

// Qt ends the process when no platform plugin loads; the last one of the list always loads and
// stands for "no display".
constexpr const char* kNoDisplay = "minimal";

}  // namespace

std::unique_ptr<QApplication> openDisplay(const char* programName) {
    const auto platforms = platform::desktopPlatforms(kNoDisplay);
    if (!platforms) return nullptr;
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platforms));

    // The program's own arguments (the writer's switches, the station's recipe and --headless)
    // never reach Qt's argument parser.
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(programName), nullptr};
    // A display that cannot be opened is an ordinary outcome here, not a warning for the operator.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    if (QGuiApplication::platformName() == kNoDisplay) return nullptr;
    // The program ends when its work is done (the station after its orderly shutdown), not when
    // the last window closes.
    app->setQuitOnLastWindowClosed(false);
    return app;
}

}  // namespace romwrite
