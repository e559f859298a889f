#include "station/checks/qt/tkp_painter.h"

#include <QPainter>
#include <algorithm>

#include "station/checks/qt/drawing_painter.h"

namespace station::checks {
namespace {

constexpr std::uint32_t kOutline = argb(255, 100, 100, 100);
constexpr std::uint32_t kButtonFill = argb(255, 240, 240, 240);

QColor colour(std::uint32_t v) { return QColor::fromRgba(v); }
QString text(const std::string& s) { return QString::fromStdString(s); }
QRectF rectOf(const Box& b) { return {double(b.x), double(b.y), double(b.w), double(b.h)}; }

}  // namespace

void paintTkpScene(QPainter& p, const TkpScene& scene, const Surface& s) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    for (const TkpLine& l : scene.lines) {
        p.setPen(colour(l.text.argb));
        p.setFont(drawingFont(l.text.points, l.text.bold));
        p.drawText(QRectF(s.left, s.top + l.y - 40, s.width, 80), Qt::AlignCenter, text(l.text.text));
    }
    if (scene.bar) {
        const QRectF frame = rectOf(scene.bar->frame);
        p.setPen(Qt::NoPen);
        p.setBrush(colour(kTkpBarFill));
        p.drawRect(QRectF(frame.left(), frame.top(), frame.width() * scene.bar->fraction, frame.height()));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour(kOutline), 1));
        p.drawRect(frame);
    }
    for (const TkpLineBox& b : scene.lineBoxes) {
        p.setPen(QPen(colour(kOutline), 1));
        p.setBrush(colour(b.fill));
        p.drawRect(rectOf(b.box));
    }
    p.setBrush(Qt::NoBrush);
    for (const TkpButton& b : scene.buttons) {
        p.setPen(QPen(colour(kOutline), 1));
        p.setBrush(colour(kButtonFill));
        p.drawRect(rectOf(b.box));
        p.setPen(colour(kTkpText));
        p.setFont(drawingFont(12, true));
        p.drawText(rectOf(b.box), Qt::AlignCenter, text(b.label));
    }
    if (scene.debugText) {
        p.setPen(colour(scene.debugText->argb));
        p.setFont(drawingFont(scene.debugText->points, scene.debugText->bold));
        p.drawText(QRectF(s.left + 10, s.top + kTkpSetButton.bottom() + 20, s.width / 3.0, s.height / 2.0),
                   Qt::AlignLeft | Qt::AlignTop, text(scene.debugText->text));
    }
}

void composeTkpFrame(const TkpScene& scene, const Surface& s, QImage& frame) {
    const QSize size(std::max(s.width, 1), std::max(s.height, 1));
    if (frame.size() != size) frame = QImage(size, QImage::Format_ARGB32_Premultiplied);
    frame.fill(colour(kBackgroundGrey));
    QPainter p(&frame);
    paintTkpScene(p, scene, s);
}

}  // namespace station::checks
