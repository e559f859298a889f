#pragma once
// Two small controls of the raw data viewer. A text field that keeps its text in itself, so the
// statistics, frame rate and range labels follow every frame without a new string: the text is
// compared and copied in place, and turned into a Qt string only when it is painted. And the
// up/down control beside the statistics label: one control with two arrows that tells a step
// of +1 (up) or -1 (down), as the arrows, the arrow keys and the wheel give it.
#include <QAbstractSpinBox>
#include <QFrame>
#include <QString>
#include <string_view>

#include "station/viewers/logic/fixed_text.h"

namespace station::viewers {

class TextField final : public QFrame {
    Q_OBJECT
public:
    // `lines`: how many lines of text the field is sized for.
    TextField(Qt::Alignment alignment, int lines, QWidget* parent = nullptr);

    // Repaints only when the text changed; allocates nothing.
    void setText(std::string_view text);
    std::string_view rawText() const { return text_.view(); }
    // As it is shown: lines without CR, no empty last line.
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FixedText<1024> text_;
    Qt::Alignment alignment_;
    int lines_;
};

class UpDownControl final : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    // Where the up or the down arrow is, in the control.
    QPoint arrowCentre(bool up) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void stepped(int delta);

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

}  // namespace station::viewers
