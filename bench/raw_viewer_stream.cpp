// The raw data viewer streaming from vorlick-sim for a while (60 s unless told), as an engineer
// leaves it running: the controller's touch collection in maintenance mode, START pressed in the
// window (offscreen), frames from the real frame reader through the window's frame ring into the
// viewer's tables, texts and areas. Prints the frames the reader handed over, the frames the
// viewer handled, those lost on the way (the ring full, or a frame refused by its status word)
// and the rates. The device comes from VORLICK_HID (sim:<socket>); see raw_viewer_stream.sh.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "controllerlink/collection_choice.h"
#include "hidlink/backend.h"
#include "hidlink/device_table.h"
#include "platform/clock.h"
#include "platform/tick_counter.h"
#include "station/device/device_link.h"
#include "station/recipe/recipe_settings.h"
#include "station/sequence/judgement_maps.h"
#include "station/viewers/logic/viewer_device.h"
#include "station/viewers/logic/viewer_opening.h"
#include "station/viewers/qt/raw_viewer_window.h"

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "raw_viewer_stream: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds <= 0) return fail("usage: raw_viewer_stream [seconds (60)]");

    std::string error;
    const auto backend = hidlink::makeBackendFromEnvironment(error);
    if (!backend) return fail(error.c_str());
    platform::Clock& clock = platform::systemClock();
    hidlink::DeviceTable table(*backend);
    station::DeviceLink touch(table, controllerlink::TOUCH_KEY, clock);
    touch.refreshFoundList();
    const auto found = std::span(touch.foundList()).first(touch.found());
    const auto collection = controllerlink::findTouchCollection(found, controllerlink::ControllerGeneration::R6);
    if (!collection || !touch.open(*collection)) return fail("no touch collection");
    if (!touch.setDeviceMode(1) || !touch.readRegisters()) return fail("maintenance mode refused");
    if (station::viewers::prepareRawViewer(touch) != station::viewers::ViewerOpening::Ready)
        return fail("the raw data viewer's set-up was refused");

    // No check ran and no recipe is read: the viewer opens on empty tables, as from the menu.
    struct Empty {
        controllerlink::Grid grid{};
        station::JudgementMaps maps;
        station::RecipeSettings recipe;
    };
    const auto empty = std::make_unique<Empty>();
    station::viewers::DeviceLinkViewerPort port(touch);
    station::viewers::RawViewerWindow window(station::viewers::RawViewerSetup{.device = port,
                                                                              .lastRaw = empty->grid,
                                                                              .lastDiff = empty->maps.rawDiff,
                                                                              .upperMap = empty->maps.upperMap,
                                                                              .lowerMap = empty->maps.lowerMap,
                                                                              .recipe = empty->recipe,
                                                                              .marginsAvailable = false,
                                                                              .clock = clock,
                                                                              .ticks = platform::systemTickCounter(),
                                                                              .tableAccess = {},
                                                                              .dumpFolder = ".",
                                                                              .appendMessage = {}});
    window.show();
    QElapsedTimer elapsed;
    window.controls().start->click();
    elapsed.start();
    if (window.controls().status->currentMessage() != QStringLiteral("Success: start Thread."))
        return fail(window.controls().status->currentMessage().toLocal8Bit().constData());

    // A line per 10 s while it runs, so a long run shows its pace.
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        std::fprintf(stderr, "  %3llds: %llu frames handled, %llu dropped, %s fps\n",
                     static_cast<long long>(elapsed.elapsed() / 1000),
                     static_cast<unsigned long long>(window.framesHandled()),
                     static_cast<unsigned long long>(window.framesDropped()),
                     std::string(window.viewer().frameRateText()).c_str());
    });
    progress.start(10000);
    QTimer::singleShot(seconds * 1000, &app, [&] {
        window.controls().stop->click();  // waits for the reader to end
        window.takeFrames();              // what it handed over before it ended
        QApplication::quit();
    });
    QApplication::exec();
    const double s = static_cast<double>(elapsed.elapsed()) / 1000.0;

    const unsigned long long posted = window.framesPosted();
    const unsigned long long handled = window.framesHandled();
    const unsigned long long dropped = window.framesDropped();
    const unsigned long long refused = window.framesRefused();
    std::printf("raw data viewer streaming from vorlick-sim for %.1f s\n", s);
    std::printf("  frames received   %llu (%.1f per s)\n", posted, static_cast<double>(posted) / s);
    std::printf("  frames handled    %llu (%.1f per s)\n", handled, static_cast<double>(handled) / s);
    std::printf("  frames dropped    %llu (ring full), %llu not handled\n", dropped, posted - handled);
    std::printf("  frames refused    %llu (non-zero status word)\n", refused);
    touch.setDeviceMode(0);
    return dropped == 0 && posted == handled && refused == 0 ? 0 : 2;
}
