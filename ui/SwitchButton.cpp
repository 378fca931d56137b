#include "ui/SwitchButton.h"

#include <QPainter>

#include "ui/Tokens.h"

namespace tamsel {

SwitchButton::SwitchButton(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
}

void SwitchButton::paintEvent(QPaintEvent*) {
    const Palette& palette = Palette::of(Tokens::appearanceOf(this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? palette.accent : palette.separator.darker(110));
    if (!isChecked() && Tokens::appearanceOf(this) == Appearance::light) {
        painter.setBrush(QColor(0, 0, 0, 45));
    }
    painter.drawRoundedRect(track, radius, radius);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(0, 0, 0, 30), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) {
        Tokens::paintFocusRing(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), palette,
                               (height() - 1) / 2.0);
    }
}

} // namespace tamsel
