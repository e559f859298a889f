#include "station/checks/qt/drawing_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace station::checks {
namespace {

// The surface is laid out at 96 dots per inch whatever the screen says.
constexpr double kDotsPerPoint = 96.0 / 72.0;
constexpr std::uint32_t kLabelGrey = argb(255, 80, 80, 80);
constexpr std::uint32_t kBarOutline = argb(255, 150, 150, 150);
constexpr int kBarHeight = 24;

QColor colour(std::uint32_t v) { return QColor::fromRgba(v); }

QString text(const std::string& s) { return QString::fromStdString(s); }

QImage blankLayer(const Surface& s) {
    QImage image(std::max(s.width, 1), std::max(s.height, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(colour(kBackgroundGrey));
    return image;
}

void shapeHints(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, false);
}

void paintCross(QPainter& p, PointF c, double half) {
    p.drawLine(QPointF(c.x - half, c.y), QPointF(c.x + half, c.y));
    p.drawLine(QPointF(c.x, c.y - half), QPointF(c.x, c.y + half));
}

QRectF rectOf(const Box& b) { return {double(b.x), double(b.y), double(b.w), double(b.h)}; }

void paintTarget(QPainter& p, const SceneTarget& t, const QFont& font) {
    const QColor c = colour(t.done ? kTargetGreen : kTargetRed);
    const QPointF at(t.centre.x, t.centre.y);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    // The cross of 100-pixel bars, 2 pixels thick, and the 16-pixel disc.
    p.drawRect(QRectF(at.x() - 50, at.y() - 1, 100, 2));
    p.drawRect(QRectF(at.x() - 1, at.y() - 50, 2, 100));
    p.drawEllipse(at, 8, 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, 2));
    p.drawEllipse(at, 15, 15);
    p.setFont(font);
    p.drawText(QRectF(at.x() - 60, at.y() + 18, 120, 24), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("TARGET"));
}

}  // namespace

QFont drawingFont(int points, bool bold) {
    QFont f(QString::fromLatin1(kFontFamily));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points * kDotsPerPoint))));
    f.setBold(bold);
    f.setStyleStrategy(QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

const DrawingPainter::Fonts& DrawingPainter::fonts() const {
    if (!fonts_)
        fonts_ = Fonts{drawingFont(18, true), drawingFont(36, true), drawingFont(12, true), drawingFont(14, true),
                       drawingFont(10, false)};
    return *fonts_;
}

void DrawingPainter::paintGrid(QPainter& p, const Surface& s, std::uint32_t rxCount, std::uint32_t txCount) {
    for (const GridLine& l : gridLines(s, rxCount, txCount)) {
        QPen pen(colour(l.argb));
        pen.setWidthF(l.width);
        p.setPen(pen);
        if (l.vertical)
            p.drawLine(QPointF(l.at, s.top), QPointF(l.at, s.top + s.height));
        else
            p.drawLine(QPointF(s.left, l.at), QPointF(s.left + s.width, l.at));
    }
}

void DrawingPainter::paintMark(QPainter& p, const InkMark& m) {
    const QColor c = colour(m.argb);
    p.setBrush(Qt::NoBrush);
    QPen thin(c, 1.0);
    switch (m.kind) {
        case InkMark::Kind::Cross:
            p.setPen(thin);
            paintCross(p, m.at, m.size);
            break;
        case InkMark::Kind::CrossAndCircle:
            p.setPen(thin);
            paintCross(p, m.at, m.size);
            p.drawEllipse(QPointF(m.at.x, m.at.y), m.radius, m.radius);
            break;
        case InkMark::Kind::Dot:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawRect(QRectF(m.at.x - m.size / 2, m.at.y - m.size / 2, m.size, m.size));
            break;
        case InkMark::Kind::Line:
        case InkMark::Kind::LineAndCross:
        case InkMark::Kind::PenLine: {
            // A width of 0 (a pen pressed too lightly) leaves no ink.
            if (m.width <= 0) break;
            p.setPen(QPen(c, m.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawLine(QPointF(m.from.x, m.from.y), QPointF(m.at.x, m.at.y));
            if (m.kind == InkMark::Kind::LineAndCross) {
                p.setPen(thin);
                paintCross(p, m.at, m.size);
            }
            break;
        }
    }
}

void DrawingPainter::remakeInk(const DrawingCheck& check) {
    const DrawingInputs& in = check.inputs();
    if (ink_.width() != std::max(in.surface.width, 1) || ink_.height() != std::max(in.surface.height, 1))
        ink_ = blankLayer(in.surface);
    else
        ink_.fill(colour(kBackgroundGrey));
    QPainter p(&ink_);
    shapeHints(p);
    paintGrid(p, in.surface, in.rxCount, in.txCount);
    inkDrawn_ = 0;
    inkClears_ = check.inkClears();
    made_ = true;
}

void DrawingPainter::syncInk(const DrawingCheck& check) {
    const Surface& s = check.inputs().surface;
    if (!made_ || check.inkClears() != inkClears_ || check.ink().size() < inkDrawn_ ||
        ink_.width() != std::max(s.width, 1) || ink_.height() != std::max(s.height, 1))
        remakeInk(check);
    const std::vector<InkMark>& ink = check.ink();
    if (inkDrawn_ == ink.size()) return;
    QPainter p(&ink_);
    shapeHints(p);
    for (std::size_t i = inkDrawn_; i < ink.size(); ++i) paintMark(p, ink[i]);
    inkDrawn_ = ink.size();
}

void DrawingPainter::paintScene(QPainter& p, const DrawingScene& scene, const Surface& s) const {
    const Fonts& f = fonts();
    shapeHints(p);
    const QRectF all(s.left, s.top, s.width, s.height);
    if (scene.guide) {
        p.setPen(QPen(colour(kGoalFill), scene.guideWidth, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(scene.guide->first.x, scene.guide->first.y),
                   QPointF(scene.guide->second.x, scene.guide->second.y));
    }
    for (const SceneBox& b : scene.boxes) {
        const QRectF r = rectOf(b.box);
        if (b.fill != 0) {
            p.fillRect(r, colour(b.fill));
        } else {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(colour(kGoalFill | 0xFF000000u), 2));
            p.drawRect(r);
        }
        if (!b.label.empty()) {
            p.setPen(colour(kLabelGrey));
            p.setFont(f.label);
            p.drawText(r, Qt::AlignCenter, text(b.label));
        }
    }
    for (const SceneTarget& t : scene.targets) paintTarget(p, t, f.label);

    p.setPen(colour(scene.instruction.argb));
    p.setFont(f.instruction);
    p.drawText(all, Qt::AlignCenter, text(scene.instruction.text));
    if (scene.title) {
        p.setPen(colour(scene.title->argb));
        p.setFont(f.title);
        p.drawText(QRectF(s.left, s.top + s.height / 4.0 - 40, s.width, 80), Qt::AlignCenter, text(scene.title->text));
    }
    if (scene.countdown) {
        // Under the prompt: the bar's full length is a third of the width.
        const double full = s.width / 3.0;
        const double top = s.top + s.height / 2.0 + 70;
        const QRectF frame(s.left + (s.width - full) / 2, top, full, kBarHeight);
        p.fillRect(QRectF(frame.x(), top, full * scene.countdown->fraction, kBarHeight), colour(kCountdownWhite));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour(kBarOutline), 1));
        p.drawRect(frame);
        p.setPen(colour(kLabelGrey));
        p.setFont(f.countdown);
        p.drawText(QRectF(s.left, top + kBarHeight + 4, s.width, 80), Qt::AlignHCenter | Qt::AlignTop,
                   text(scene.countdown->text));
    }
    p.setFont(f.tag);
    const QFontMetrics tagMetrics(f.tag);
    for (const ContactTag& t : scene.tags) {
        const QString id = text(t.id);
        const QRectF r(t.at.x + 6, t.at.y - 6 - tagMetrics.height(), tagMetrics.horizontalAdvance(id) + 6,
                       tagMetrics.height());
        p.fillRect(r, colour(t.argb));
        p.setPen(colour(kTagText));
        p.drawText(r, Qt::AlignCenter, id);
    }
    if (scene.hoveringPen) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1));
        p.drawEllipse(QRectF(scene.hoveringPen->x - 4, scene.hoveringPen->y - 4, 8, 8));
    }
}

void DrawingPainter::compose(const DrawingCheck& check, QImage& frame) {
    syncInk(check);
    if (frame.size() != ink_.size() || frame.format() != ink_.format()) frame = QImage(ink_.size(), ink_.format());
    std::memcpy(frame.bits(), ink_.constBits(), static_cast<std::size_t>(ink_.sizeInBytes()));
    QPainter p(&frame);
    paintScene(p, drawingScene(check), check.inputs().surface);
}

QImage drawingInkLayer(const DrawingCheck& check) {
    DrawingPainter painter;
    painter.syncInk(check);
    return painter.inkLayer();
}

bool savePng(const QImage& image, const std::string& path, std::string& why) {
    if (image.isNull()) {
        why = "nothing to save";
        return false;
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        why = "cannot write " + path;
        return false;
    }
    return true;
}

bool writeDrawingSnapshot(const DrawingCheck& check, const std::string& path, std::string& why) {
    const Surface& s = check.inputs().surface;
    if (s.width <= 0 || s.height <= 0) {
        why = "the drawing surface is empty";
        return false;
    }
    return savePng(drawingInkLayer(check), path, why);
}

}  // namespace station::checks
