#pragma once
// The three painted areas of the raw data viewer: the colour map with its grid, the colour bar
// and the noise chart. Each paints what the logic's raw_map says; none allocates per cell.
#include <QWidget>

#include "station/viewers/logic/raw_map.h"

namespace station::viewers {

class RawViewerWindow;

// The area's own rectangle as the logic's.
Rect areaRect(const QWidget& area);

class RawMapArea final : public QWidget {
    Q_OBJECT
public:
    RawMapArea(const RawViewer& viewer, RawViewerWindow& window, QWidget* parent);
    MapGeometry geometryNow() const { return {areaRect(*this), viewer_.rxCount(), viewer_.txCount()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    const RawViewer& viewer_;
    RawViewerWindow& window_;
};

class ColourBarArea final : public QWidget {
    Q_OBJECT
public:
    ColourBarArea(const RawViewer& viewer, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const RawViewer& viewer_;
};

class NoiseArea final : public QWidget {
    Q_OBJECT
public:
    NoiseArea(const RawViewer& viewer, RawViewerWindow& window, QWidget* parent);
    // The chart inside the area: room above for the caption and the legend.
    NoiseChart chartNow() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    const RawViewer& viewer_;
    RawViewerWindow& window_;
};

}  // namespace station::viewers
