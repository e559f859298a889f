#pragma once
// The large status panel: the station's word centred in its colour and size on white, and the
// "TRG" lamp in the top right corner. Painted off screen, then copied in one piece.
#include <QImage>
#include <QString>
#include <QWidget>

#include "station/sequence/station_state.h"
#include "station/window/panel/panel_look.h"

namespace station {

// The panel's font: "Century Gothic" bold, or the generic sans-serif family without it.
QFont panelFont(int pointSize);

// Paints one frame of the panel into `image` (its whole size): white, the word, the lamp.
void paintStatusPanel(QImage& image, const PanelLook& look, const TrgLamp::Look& lamp);

class StatusPanel final : public QWidget {
    Q_OBJECT
public:
    explicit StatusPanel(const Station& station, QWidget* parent = nullptr);

    // What the last paint showed (empty before the first), for the window's probe and tests.
    QString shownText() const { return shownText_; }
    QRgb shownLampText() const { return shownLamp_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Station& s_;
    TrgLamp lamp_;
    QImage frame_;
    QString shownText_;
    QRgb shownLamp_ = 0;
};

}  // namespace station
