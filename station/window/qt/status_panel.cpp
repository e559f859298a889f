#include "station/window/qt/status_panel.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

namespace station {
namespace {

const QString kPanelFamily = QStringLiteral("Century Gothic");
const QString kLampText = QStringLiteral("TRG");
constexpr int kLampPointSize = 10;
constexpr qreal kLampRightInset = 18.0;
constexpr qreal kLampCentreY = 12.0;
constexpr qreal kLampShift = 1.5;
// The word sits a little below the middle, as on the original panel.
constexpr qreal kWordDrop = 3.0;

QColor colourOf(std::uint32_t argb) { return QColor::fromRgba(static_cast<QRgb>(argb)); }

// Text is drawn with one bit per pixel: the word's letters are exactly its colour.
QFont textFont(int pointSize) {
    QFont font = panelFont(pointSize);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

}  // namespace

QFont panelFont(int pointSize) {
    // Chosen once: the families do not change under a running station, and a paint should
    // not list them every time.
    static const QString family = [] {
        if (QFontDatabase::families().contains(kPanelFamily, Qt::CaseInsensitive)) return kPanelFamily;
        // The family the platform picks for the sans-serif hint; empty leaves the choice to
        // the hint alone.
        QFont generic;
        generic.setStyleHint(QFont::SansSerif);
        return generic.defaultFamily();
    }();
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    if (!family.isEmpty()) font.setFamily(family);
    font.setPointSize(pointSize > 0 ? pointSize : 1);
    font.setBold(true);
    return font;
}

void paintStatusPanel(QImage& image, const PanelLook& look, const TrgLamp::Look& lamp) {
    if (image.isNull()) return;
    const QSizeF size = image.deviceIndependentSize();
    image.fill(Qt::white);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, false);

    // The word, centred on a point: a rectangle of twice the panel around it never clips.
    const QPointF wordCentre(size.width() / 2.0, size.height() / 2.0 + kWordDrop);
    const QRectF wordBox(wordCentre.x() - size.width(), wordCentre.y() - size.height(), 2.0 * size.width(),
                         2.0 * size.height());
    painter.setFont(textFont(look.pointSize));
    painter.setPen(colourOf(look.argb));
    painter.drawText(wordBox, Qt::AlignCenter | Qt::TextDontClip,
                     QString::fromUtf8(look.text.data(), static_cast<qsizetype>(look.text.size())));

    const QFont lampFont = textFont(kLampPointSize);
    const QSizeF lampSize = QFontMetricsF(lampFont, &image).size(Qt::TextSingleLine, kLampText);
    const QRectF lampBox(size.width() - kLampRightInset - lampSize.width() / 2.0 - kLampShift,
                         kLampCentreY - lampSize.height() / 2.0 - kLampShift, lampSize.width(), lampSize.height());
    painter.fillRect(lampBox, colourOf(lamp.boxArgb));
    painter.setFont(lampFont);
    painter.setPen(colourOf(lamp.textArgb));
    painter.drawText(lampBox, Qt::AlignCenter | Qt::TextDontClip, kLampText);
}

StatusPanel::StatusPanel(const Station& station, QWidget* parent) : QWidget(parent), s_(station) {
    // Every pixel comes from the frame: no background erase, so no flicker between ticks.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StatusPanel::paintEvent(QPaintEvent*) {
    const PanelLook look = panelLook(s_.recipe, panelStateOf(s_));
    const TrgLamp::Look lamp = lamp_.paint(s_.flags.logOpen, s_.flags.triggered);

    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (frame_.size() != pixels || frame_.devicePixelRatio() != ratio) {
        frame_ = pixels.isEmpty() ? QImage() : QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        frame_.setDevicePixelRatio(ratio);
    }
    paintStatusPanel(frame_, look, lamp);
    if (!frame_.isNull()) {
        QPainter painter(this);
        painter.drawImage(QPointF(0, 0), frame_);
    }
    shownText_ = QString::fromUtf8(look.text.data(), static_cast<qsizetype>(look.text.size()));
    shownLamp_ = static_cast<QRgb>(lamp.textArgb);
}

}  // namespace station
