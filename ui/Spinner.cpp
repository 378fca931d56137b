#include "ui/Spinner.h"

#include <QPainter>

#include "ui/Tokens.h"

namespace tamsel {

namespace {
constexpr int spokes = 12;
}

Spinner::Spinner(int size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(size, size);
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size_ / 2.0, size_ / 2.0);
    const QColor base = Palette::of(Tokens::appearanceOf(this)).secondary;
    const qreal outer = size_ / 2.0 - 0.5;
    const qreal inner = outer * 0.5;
    for (int i = 0; i < spokes; ++i) {
        QColor color = base;
        color.setAlphaF(0.25 + 0.75 * ((i + spokes - step_) % spokes) / double(spokes - 1));
        painter.setPen(QPen(color, std::max(1.5, size_ / 10.0), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer));
        painter.rotate(360.0 / spokes);
    }
}

void Spinner::showEvent(QShowEvent*) {
    if (timer_ == 0) {
        timer_ = startTimer(80);
    }
}

void Spinner::hideEvent(QHideEvent*) {
    if (timer_ != 0) {
        killTimer(timer_);
        timer_ = 0;
    }
}

void Spinner::timerEvent(QTimerEvent*) {
    step_ = (step_ + 1) % spokes;
    update();
}

} // namespace tamsel
