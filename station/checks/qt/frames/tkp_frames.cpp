// Writes the TKP window's frames for the documentation, composed by the window's own painter on
// the offscreen platform: the noise measurement under way and the signal phase with the lines
// the pen has crossed.
// Usage: tkp_frames FOLDER
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <string>

#include "station/checks/logic/tests/tkp_rig.h"
#include "station/checks/logic/tkp_scene.h"
#include "station/checks/qt/drawing_painter.h"
#include "station/checks/qt/tkp_painter.h"

namespace {

using namespace station::checks;

constexpr Surface kScreen{0, 0, 1280, 800};

bool write(TkpCheck& check, const std::string& path) {
    QImage frame;
    composeTkpFrame(tkpScene(check, kScreen, check.phaseElapsedMs()), kScreen, frame);
    std::string why;
    if (!savePng(frame, path, why)) {
        std::fprintf(stderr, "tkp_frames: %s\n", why.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tkp_frames FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string folder = argv[1];

    TkpRig rig;
    rig.in.logOnly = false;
    rig.in.noiseCount = 100;
    rig.in.signalLimitX = rig.in.signalLimitY = 1000;
    rig.open();
    rig.waitFor([&] { return rig.w->phase() == TkpNoise; }, 3000);
    rig.wait(600);
    bool ok = write(*rig.w, folder + "/tkp-check.png");
    // The pen over the first X lines and the first Y line, the last line rising.
    rig.waitFor([&] { return rig.w->phase() == TkpSignal; }, 3000);
    rig.samples = [](std::size_t line, int) {
        return std::uint16_t(line == 0 || line == 1 || line == 72 ? 1600 : line == 2 ? 700 : 40);
    };
    rig.wait(300);
    ok = write(*rig.w, folder + "/tkp-signal.png") && ok;
    return ok ? 0 : 1;
}
