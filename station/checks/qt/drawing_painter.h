#pragma once
// The drawing window's one painter, for the window on the screen and for the snapshots and
// frames rendered off-screen: the ink layer (the grey ground, the sensor grid and the strokes)
// kept up with the check's ink, and a frame composed from a copy of it with the prompts, boxes,
// targets, countdown bar and contact tags over it.
#include <QFont>
#include <QImage>
#include <cstdint>
#include <optional>

#include "station/checks/logic/drawing_check.h"
#include "station/checks/logic/drawing_scene.h"

class QPainter;

namespace station::checks {

class DrawingPainter {
public:
    DrawingPainter() = default;

    // Brings the ink layer up to the check's ink: made again from the grid when the ink was
    // cleared (or the surface changed), otherwise only the marks added since the last call drawn.
    void syncInk(const DrawingCheck& check);
    const QImage& inkLayer() const { return ink_; }

    // The frame the window shows: a copy of the ink layer with the scene over it. `frame` is
    // reused when it already has the surface's size.
    void compose(const DrawingCheck& check, QImage& frame);

    // The parts, for a painter of one's own.
    static void paintGrid(QPainter& p, const Surface& s, std::uint32_t rxCount, std::uint32_t txCount);
    static void paintMark(QPainter& p, const InkMark& m);
    void paintScene(QPainter& p, const DrawingScene& scene, const Surface& s) const;

private:
    void remakeInk(const DrawingCheck& check);

    // Made on the first scene: text needs the toolkit's application with its font database,
    // the ink layer does not (the headless station may write snapshots without one).
    struct Fonts {
        QFont instruction, title, label, countdown, tag;
    };
    const Fonts& fonts() const;

    QImage ink_;
    std::uint32_t inkClears_ = 0;
    std::size_t inkDrawn_ = 0;
    bool made_ = false;
    mutable std::optional<Fonts> fonts_;
};

// Text in points at the fixed 96 dots per inch the drawing surface is laid out in (so a frame
// off-screen matches the screen's), single-bit and grid-fitted.
QFont drawingFont(int points, bool bold);

// The ink layer of the check as it is now, at the check's surface size.
QImage drawingInkLayer(const DrawingCheck& check);

// Saves `image` as PNG under `path`; false with the reason otherwise.
bool savePng(const QImage& image, const std::string& path, std::string& why);

// The check's ink layer (grid and strokes, no prompts), rendered off-screen at its surface size
// and saved as PNG under `path`. False, with why, when it cannot be written.
bool writeDrawingSnapshot(const DrawingCheck& check, const std::string& path, std::string& why);

}  // namespace station::checks
