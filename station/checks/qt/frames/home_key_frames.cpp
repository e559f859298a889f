// Writes the home key window's frame for the documentation, composed by the window's own painter
// on the offscreen platform: the touch phase with one pin good, one held and two untouched.
// Usage: home_key_frames FOLDER
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <string>

#include "station/checks/logic/tests/fake_readers.h"
#include "station/checks/logic/tests/home_key_reports.h"
#include "station/checks/qt/drawing_painter.h"
#include "station/checks/qt/home_key_painter.h"

int main(int argc, char** argv) {
    using namespace station::checks;
    if (argc != 2) {
        std::fprintf(stderr, "usage: home_key_frames FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    platform::VirtualClock clock;
    FakeReaders readers;
    RecordingHost host;
    HomeKeyInputs in;
    in.surface = {0, 0, 1280, 800};
    in.pins = 4;
    in.touch.applies = true;
    in.touch.values.fill(300);
    in.setReportType = [](std::uint8_t) { return true; };
    HomeKeyCheck check(in, readers, host, clock);
    check.open();
    const std::vector<std::int32_t> bases(4, 1000);
    const auto report = [&](const std::vector<std::int32_t>& values) {
        check.onReport(ReaderCollection::Touch, hkReport(bases, values));
        clock.advance(10);
    };
    for (int i = 0; i < 100; ++i) report({100, 100, 100, 100});
    // Pin 0 held from the start of the touch phase, pin 1 from its 15th report.
    for (int i = 0; i < 30; ++i) report({500, i < 14 ? 100 : 500, 100, 100});
    QImage frame;
    HomeKeyPainter().compose(check, frame);
    const std::string path = std::string(argv[1]) + "/home-key-check.png";
    std::string why;
    if (!savePng(frame, path, why)) {
        std::fprintf(stderr, "home_key_frames: %s\n", why.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
