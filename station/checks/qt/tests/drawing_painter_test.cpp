// The drawing painter on images: the ink layer as the snapshots keep it, the frame the window
// shows over it, and the PNG files.
#include "station/checks/qt/drawing_painter.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <set>

#include "station/checks/logic/tests/drawing_rig.h"

namespace station::checks {
namespace {

QRgb pixel(const QImage& image, int x, int y) { return image.pixel(x, y); }

std::set<QRgb> coloursIn(const QImage& image, const QRect& r) {
    std::set<QRgb> seen;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) seen.insert(image.pixel(x, y));
    return seen;
}

TEST(DrawingInkLayer, StartsGreyWithTheSensorGridHeavierEveryFifthAndTenthLine) {
    DrawRig rig;
    rig.in.rxCount = 20;  // a vertical line every 50 pixels on the 1000-pixel surface
    rig.in.txCount = 2;
    const QImage ink = drawingInkLayer(rig.open());
    ASSERT_EQ(ink.size(), QSize(1000, 600));
    const QRgb ground = QColor(220, 220, 220).rgb();
    EXPECT_EQ(pixel(ink, 25, 100), ground) << "between the lines";
    // Line 10 (x 500) is the darkest, line 5 (x 250) darker than line 1 (x 50).
    const int tenth = qGray(pixel(ink, 500, 100));
    const int fifth = qGray(pixel(ink, 250, 100));
    const int plain = qGray(pixel(ink, 50, 100));
    EXPECT_LT(tenth, fifth);
    EXPECT_LT(fifth, plain);
    EXPECT_LT(plain, 220);
    EXPECT_LT(qGray(pixel(ink, 100, 300)), 220) << "the one horizontal line, half way down";
}

TEST(DrawingInkLayer, KeepsTheStrokesInTheContactsColourUntilTheInkIsCleared) {
    DrawRig rig;
    rig.in.rxCount = rig.in.txCount = 0;
    DrawingCheck& w = rig.open();
    DrawingPainter painter;
    painter.syncInk(w);
    const QImage blank = painter.inkLayer().copy();
    rig.key(CheckKey::D);
    rig.key(CheckKey::D);
    rig.key(CheckKey::D);  // mode 3: lines from each contact's previous position
    rig.stroke({100, 300}, {400, 300}, 10);
    painter.syncInk(w);
    ASSERT_FALSE(w.ink().empty());
    // Identifier 1 draws in red (the hue of 0 degrees).
    const QColor mid = QColor::fromRgb(painter.inkLayer().pixel(250, 300));
    EXPECT_GT(mid.red(), 200);
    EXPECT_LT(mid.green(), 120);
    EXPECT_EQ(painter.inkLayer().pixel(250, 310), blank.pixel(250, 310)) << "beside the line";
    rig.key(CheckKey::C);
    painter.syncInk(w);
    EXPECT_EQ(painter.inkLayer(), blank);
}

TEST(DrawingFrame, ShowsThePromptsOverTheInkWithSingleBitText) {
    DrawRig rig;
    rig.in.rxCount = rig.in.txCount = 0;
    DrawingCheck& w = rig.open();
    DrawingPainter painter;
    QImage frame;
    painter.compose(w, frame);
    const QRgb ground = QColor(220, 220, 220).rgb();
    // The instruction across the middle: only the ground and one shade of prompt red over it.
    const std::set<QRgb> text = coloursIn(frame, QRect(200, 250, 600, 100));
    EXPECT_EQ(text.size(), 2u) << "text drawn without smoothing";
    EXPECT_TRUE(text.count(ground));
    // The start box at four fifths of the height, filled light red.
    const Box box = w.geometry().actionBox;
    const QColor fill = QColor::fromRgb(frame.pixel(box.x + 2, box.y + 2));
    EXPECT_GT(fill.red(), 220);
    EXPECT_LT(fill.green(), 200);
    // None of it reaches the ink layer.
    EXPECT_EQ(coloursIn(painter.inkLayer(), QRect(0, 0, 1000, 600)), std::set<QRgb>{ground});
}

TEST(DrawingFrame, AJudgedNgShowsTheRetryPromptAndTheCountdownBarShrinking) {
    DrawRig rig;
    rig.in.rxCount = rig.in.txCount = 0;
    rig.in.ngWaitMs = 3000;
    DrawingCheck& w = rig.openAt(T_SQ);
    rig.strokeVia({{50, 30}, {950, 30}, {500, 300}});
    ASSERT_EQ(w.phase(), PhaseJudged);
    ASSERT_FALSE(w.stepPassed(T_SQ));
    rig.wait(500);  // the NG wait runs once the finger is off
    DrawingPainter painter;
    QImage early;
    painter.compose(w, early);
    rig.wait(1500);
    QImage later;
    painter.compose(w, later);
    // The bar: a third of the width, centred, 70 pixels under the middle; white where time is left.
    const int y = 300 + 70 + 12;
    const auto whiteTo = [&](const QImage& f) {
        int x = 340;
        while (x < 666 && qGray(f.pixel(x, y)) > 225) ++x;
        return x;
    };
    EXPECT_GT(whiteTo(early), whiteTo(later) + 100) << whiteTo(early) << " " << whiteTo(later);
    EXPECT_GT(whiteTo(later), 340);
    // "NG" at a quarter of the height, in prompt red.
    const std::set<QRgb> title = coloursIn(later, QRect(450, 120, 100, 60));
    EXPECT_EQ(title.size(), 2u);
}

TEST(DrawingSnapshot, WritesTheInkLayerAsPngOrSaysWhyNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DrawRig rig;
    DrawingCheck& w = rig.open();
    rig.stroke({100, 100}, {300, 100}, 5);
    std::string why;
    const std::string path = QDir(dir.path()).filePath(QStringLiteral("_tmp1.png")).toStdString();
    ASSERT_TRUE(writeDrawingSnapshot(w, path, why)) << why;
    QImage saved;
    ASSERT_TRUE(saved.load(QString::fromStdString(path), "PNG"));
    EXPECT_EQ(saved.size(), QSize(1000, 600));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), drawingInkLayer(w).convertToFormat(QImage::Format_RGB32));

    EXPECT_FALSE(writeDrawingSnapshot(w, QDir(dir.path()).filePath("no/such/folder/_tmp1.png").toStdString(), why));
    EXPECT_NE(why.find("no/such/folder"), std::string::npos) << why;

    DrawRig empty;
    empty.in.surface = {0, 0, 0, 0};
    why.clear();
    EXPECT_FALSE(writeDrawingSnapshot(empty.open(), path, why));
    EXPECT_FALSE(why.empty());
}

}  // namespace
}  // namespace station::checks
