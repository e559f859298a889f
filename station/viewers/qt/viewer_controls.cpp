#include "station/viewers/qt/viewer_controls.h"

#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace station::viewers {
namespace {

// Inside the field's frame.
constexpr int kTextMargin = 3;

}  // namespace

TextField::TextField(Qt::Alignment alignment, int lines, QWidget* parent)
    : QFrame(parent), alignment_(alignment), lines_(lines) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TextField::setText(std::string_view text) {
    if (text == text_.view()) return;
    text_.set(text);
    update();
}

QString TextField::text() const {
    const std::string_view t = text_.view();
    QString out = QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size()));
    out.remove(QLatin1Char('\r'));
    while (out.endsWith(QLatin1Char('\n'))) out.chop(1);
    return out;
}

QSize TextField::sizeHint() const {
    const QFontMetrics m = fontMetrics();
    const int margin = 2 * (frameWidth() + kTextMargin);
    return {m.horizontalAdvance(QLatin1Char('0')) * 8 + margin, m.lineSpacing() * lines_ + margin};
}

void TextField::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(QPalette::Text));
    const QRect inside = contentsRect().adjusted(kTextMargin, kTextMargin, -kTextMargin, -kTextMargin);
    p.drawText(inside, static_cast<int>(alignment_), text());
}

UpDownControl::UpDownControl(QWidget* parent) : QAbstractSpinBox(parent) {
    // Only the arrows: the label beside it tells what was chosen.
    lineEdit()->setVisible(false);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setFocusPolicy(Qt::NoFocus);
}

void UpDownControl::stepBy(int steps) { emit stepped(steps); }

QPoint UpDownControl::arrowCentre(bool up) const {
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()
        ->subControlRect(QStyle::CC_SpinBox, &option, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, this)
        .center();
}

QSize UpDownControl::sizeHint() const {
    const int h = fontMetrics().height() + 8;
    return {style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 6, h};
}

}  // namespace station::viewers
