#include "station/checks/qt/home_key_painter.h"

#include <QPainter>
#include <algorithm>

#include "station/checks/qt/drawing_painter.h"

namespace station::checks {
namespace {

constexpr std::uint32_t kBarOutline = argb(255, 150, 150, 150);
constexpr double kTextBoxHeight = 80;

QColor colour(std::uint32_t v) { return QColor::fromRgba(v); }

void paintText(QPainter& p, const PlacedText& t, const QFont& font, double width) {
    p.setPen(colour(t.text.argb));
    p.setFont(font);
    p.drawText(QRectF(t.at.x - width / 2, t.at.y - kTextBoxHeight / 2, width, kTextBoxHeight), Qt::AlignCenter,
               QString::fromStdString(t.text.text));
}

}  // namespace

const HomeKeyPainter::Fonts& HomeKeyPainter::fonts() const {
    if (!fonts_)
        fonts_ = Fonts{drawingFont(36, true), drawingFont(28, true), drawingFont(18, false), drawingFont(20, false),
                       drawingFont(24, true)};
    return *fonts_;
}

void HomeKeyPainter::paintScene(QPainter& p, const HomeKeyScene& scene, const Surface& s) const {
    const Fonts& f = fonts();
    const double wide = std::max(s.width, 1);
    paintText(p, scene.title, f.title, wide);
    paintText(p, scene.phase, f.phase, wide);
    paintText(p, scene.hint, f.hint, wide);
    if (scene.countdown) {
        const HomeKeyCountdown& c = *scene.countdown;
        paintText(p, c.text, f.time, wide);
        const QRectF bar(c.bar.x, c.bar.y, c.bar.w, c.bar.h);
        p.fillRect(QRectF(bar.x(), bar.y(), bar.width() * c.fraction, bar.height()), colour(kHkBarFill));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour(kBarOutline), 1));
        p.drawRect(bar);
    }
    for (const PlacedText& pin : scene.pins) paintText(p, pin, f.pin, 240);
}

void HomeKeyPainter::compose(const HomeKeyCheck& check, QImage& frame) const {
    const Surface& s = check.inputs().surface;
    const QSize size(std::max(s.width, 1), std::max(s.height, 1));
    if (frame.size() != size) frame = QImage(size, QImage::Format_ARGB32_Premultiplied);
    frame.fill(colour(kBackgroundGrey));
    QPainter p(&frame);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.translate(-s.left, -s.top);
    paintScene(p, homeKeyScene(check), s);
}

}  // namespace station::checks
