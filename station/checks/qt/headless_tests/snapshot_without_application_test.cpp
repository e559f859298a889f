// The headless station writes the drawing check's snapshots without any toolkit application:
// the ink layer must render and save as PNG in a process that never made one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <cstdio>
#include <filesystem>

#include "station/checks/logic/tests/drawing_rig.h"
#include "station/checks/qt/drawing_painter.h"

namespace station::checks {
namespace {

TEST(DrawingSnapshotWithoutApplication, TheInkLayerIsWrittenAsPng) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    DrawRig rig;
    DrawingCheck& w = rig.open();
    rig.stroke({100, 100}, {300, 200}, 5);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "vorlick_snapshot_no_app.png";
    std::string why;
    ASSERT_TRUE(writeDrawingSnapshot(w, path.string(), why)) << why;
    QImage saved;
    EXPECT_TRUE(saved.load(QString::fromStdString(path.string()), "PNG"));
    EXPECT_EQ(saved.size(), QSize(1000, 600));
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace station::checks
