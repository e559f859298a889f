// Writes the drawing window's frames for the documentation, composed by the window's own
// painter on the offscreen platform: the start screen, a finger square half way round and a
// square judged NG with the retry prompt and its countdown.
// Usage: drawing_frames FOLDER
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <string>

#include "station/checks/logic/tests/drawing_rig.h"
#include "station/checks/qt/drawing_painter.h"

namespace {

using namespace station::checks;

DrawRig& prepare(DrawRig& rig) {
    rig.in.surface = {0, 0, 1280, 800};
    rig.in.touchMaxX = 1281;  // touch coordinates are pixels
    rig.in.touchMaxY = 801;
    rig.in.rxCount = 40;
    rig.in.txCount = 25;
    rig.in.ngWaitMs = 3000;
    return rig;
}

bool write(const DrawingCheck& check, const std::string& path) {
    DrawingPainter painter;
    QImage frame;
    painter.compose(check, frame);
    std::string why;
    if (!savePng(frame, path, why)) {
        std::fprintf(stderr, "drawing_frames: %s\n", why.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawing_frames FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string folder = argv[1];
    bool ok = true;
    {
        DrawRig rig;
        prepare(rig).open();
        rig.wait(200);
        ok = write(*rig.w, folder + "/drawing-start.png") && ok;
    }
    {
        DrawRig rig;
        DrawingCheck& w = prepare(rig).openAt(T_SQ);
        rig.wait(200);
        rig.strokeVia({{64, 40}, {1216, 40}, {1216, 420}});
        ok = write(w, folder + "/drawing-square.png") && ok;
    }
    {
        DrawRig rig;
        DrawingCheck& w = prepare(rig).openAt(T_SQ);
        rig.wait(200);
        rig.strokeVia({{64, 40}, {1216, 40}, {640, 400}});
        rig.lift(640, 400);
        rig.wait(1200);
        ok = write(w, folder + "/drawing-ng.png") && ok;
    }
    return ok ? 0 : 1;
}
