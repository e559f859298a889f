#include "station/viewers/qt/raw_viewer_areas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <array>

#include "station/viewers/qt/raw_viewer_window.h"

namespace station::viewers {
namespace {

// Above the noise chart: the caption and the legend.
constexpr int kNoiseHeader = 18;

QColor colour(std::uint32_t argb) { return QColor::fromRgba(argb); }
QColor colour(const Rgba& c) { return {c.red, c.green, c.blue, c.alpha}; }

// A caption in outline: dark strokes around white letters, readable on any colour.
void outlinedCaption(QPainter& p, const QPoint& at, std::string_view text) {
    QFont font = p.font();
    font.setBold(true);
    QPainterPath path;
    path.addText(at, font, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x32, 0x32, 0x32), 3));
    p.drawPath(path);
    p.fillPath(path, Qt::white);
    p.restore();
}

}  // namespace

Rect areaRect(const QWidget& area) { return {0, 0, area.width(), area.height()}; }

RawMapArea::RawMapArea(const RawViewer& viewer, RawViewerWindow& window, QWidget* parent)
    : QWidget(parent), viewer_(viewer), window_(window) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(365, 235);
}

void RawMapArea::paintEvent(QPaintEvent*) {
    // The widget's backing store is the off-screen picture; it reaches the screen whole.
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const MapGeometry g = geometryNow();
    const int rx = static_cast<int>(g.rxCount);
    const int tx = static_cast<int>(g.txCount);
    const QRectF map(g.map.x, g.map.y, g.map.width, g.map.height);
    p.fillRect(map, Qt::white);
    // Grid lines at every cell border.
    for (int n = 0; n <= rx; ++n) {
        p.setPen(colour(gridLineStyle(n).colour));
        const double x = g.verticalLine(n);
        p.drawLine(QPointF(x, g.horizontalLine(0)), QPointF(x, g.horizontalLine(tx)));
    }
    for (int n = 0; n <= tx; ++n) {
        p.setPen(colour(gridLineStyle(n).colour));
        const double y = g.horizontalLine(n);
        p.drawLine(QPointF(g.verticalLine(0), y), QPointF(g.verticalLine(rx), y));
    }
    if (!viewer_.hasData()) {
        outlinedCaption(p, QPoint(g.map.x + 6, g.map.y + 16), kMapCaption);
        return;
    }
    const MapRange range = mapRange(viewer_);
    const QPen frame(colour(kCellFrameColour), 0);
    p.setPen(frame);
    for (int t = 0; t < tx; ++t) {
        for (int r = 0; r < rx; ++r) {
            const CellPaint cell = cellPaint(viewer_, range, t, r);
            const QRectF box(g.cellLeft(r), g.cellTop(t), g.cellWidth, g.cellHeight);
            if (cell.filled) p.fillRect(box, colour(cell.colour));
            p.drawRect(box);
        }
    }
    if (!viewer_.errorCross()) return;
    const QPen under(colour(kCrossUnderColour), kCrossUnderWidth);
    const QPen over(colour(kCrossOverColour), kCrossOverWidth);
    for (int t = 0; t < tx; ++t) {
        for (int r = 0; r < rx; ++r) {
            if (!cellPaint(viewer_, range, t, r).cross) continue;
            const QRectF box(g.cellLeft(r), g.cellTop(t), g.cellWidth, g.cellHeight);
            for (const QPen* pen : {&under, &over}) {
                p.setPen(*pen);
                p.drawLine(box.topLeft(), box.bottomRight());
                p.drawLine(box.topRight(), box.bottomLeft());
            }
        }
    }
}

void RawMapArea::mouseMoveEvent(QMouseEvent* event) {
    window_.pointerMoved(*this, event->position().toPoint(), event->globalPosition().toPoint());
}

ColourBarArea::ColourBarArea(const RawViewer& viewer, QWidget* parent) : QWidget(parent), viewer_(viewer) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 18);
}

void ColourBarArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const int inner = width() - 2 * kColourBarFrameWidth;
    const MapRange range = mapRange(viewer_);
    // One thin vertical line per pixel column, the minimum's colour on the left; a line thinner
    // than a pixel still covers its pixel whole.
    for (int column = 0; column < inner; ++column) {
        p.setPen(QPen(colour(colourBarColour(column, inner, range.minimum, range.maximum)), 0));
        const double x = kColourBarFrameWidth + column + 0.5;
        p.drawLine(QPointF(x, kColourBarFrameWidth), QPointF(x, height() - kColourBarFrameWidth));
    }
    const double half = kColourBarFrameWidth / 2.0;
    p.setPen(QPen(colour(kColourBarFrameColour), kColourBarFrameWidth));
    p.drawRect(QRectF(half, half, width() - kColourBarFrameWidth, height() - kColourBarFrameWidth));
}

NoiseArea::NoiseArea(const RawViewer& viewer, RawViewerWindow& window, QWidget* parent)
    : QWidget(parent), viewer_(viewer), window_(window) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(365, 110);
}

NoiseChart NoiseArea::chartNow() const {
    return {Rect{4, kNoiseHeader + 4, width() - 8, height() - kNoiseHeader - 8}, viewer_};
}

void NoiseArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const NoiseChart chart = chartNow();
    const QRectF area(chart.area.x, chart.area.y, chart.area.width, chart.area.height);
    p.setPen(QColor(0xDD, 0xDD, 0xDD));
    for (int k = 1; k <= 5; ++k)
        p.drawLine(QPointF(area.left(), chart.guideLine(k)), QPointF(area.right(), chart.guideLine(k)));
    p.setPen(QColor(0x99, 0x99, 0x99));
    p.drawRect(area);
    const int lines = static_cast<int>(chart.rxCount);
    if (viewer_.hasData() && lines > 0) {
        const NoiseArrays& n = viewer_.noise();
        const double bar = std::max(1.0, chart.columnWidth - 1.0);
        for (int r = 0; r < lines; ++r) {
            const double top = chart.yOf(n.current[static_cast<std::size_t>(r)]);
            p.fillRect(QRectF(area.left() + r * chart.columnWidth, top, bar, area.bottom() - top),
                       colour(kNoiseBarColour));
        }
        std::array<QPointF, kGridRx> points;
        const auto polyline = [&](const std::array<double, kGridRx>& values, std::uint32_t argb) {
            for (int r = 0; r < lines; ++r)
                points[static_cast<std::size_t>(r)] = QPointF(area.left() + (r + 0.5) * chart.columnWidth,
                                                              chart.yOf(values[static_cast<std::size_t>(r)]));
            p.setPen(QPen(colour(argb), 2));
            p.drawPolyline(points.data(), lines);
        };
        polyline(n.average, kNoiseAverageColour);
        polyline(n.worst, kNoiseWorstColour);
    }
    outlinedCaption(p, QPoint(6, 14), kNoiseCaption);
    // The legend, right-aligned in the header.
    const std::array<std::uint32_t, 3> legendColours = {kNoiseBarColour, kNoiseAverageColour, kNoiseWorstColour};
    int x = width() - 4;
    p.setPen(Qt::black);
    static const std::array<QString, 3> labels = {
        QString::fromLatin1(kNoiseLegend[0].data(), static_cast<qsizetype>(kNoiseLegend[0].size())),
        QString::fromLatin1(kNoiseLegend[1].data(), static_cast<qsizetype>(kNoiseLegend[1].size())),
        QString::fromLatin1(kNoiseLegend[2].data(), static_cast<qsizetype>(kNoiseLegend[2].size()))};
    for (int i = 2; i >= 0; --i) {
        const QString& label = labels[static_cast<std::size_t>(i)];
        const int w = p.fontMetrics().horizontalAdvance(label);
        x -= w;
        p.drawText(QPoint(x, 14), label);
        x -= 14;
        p.fillRect(QRect(x, 5, 10, 10), colour(legendColours[static_cast<std::size_t>(i)]));
        x -= 10;
    }
}

void NoiseArea::mouseMoveEvent(QMouseEvent* event) {
    window_.pointerMoved(*this, event->position().toPoint(), event->globalPosition().toPoint());
}

}  // namespace station::viewers
