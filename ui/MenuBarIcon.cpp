#include "ui/MenuBarIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace tamsel::MenuBarIcon {

namespace {

constexpr qreal side = 18;

// Rectangles are given from the bottom-left corner, as the icon was designed.
QRectF fromBottomLeft(qreal x, qreal y, qreal width, qreal height) {
    return {x, side - y - height, width, height};
}

} // namespace

QImage image(bool active, qreal devicePixelRatio) {
    const int pixels = qRound(side * devicePixelRatio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, qRound(255 * 0.45)));
    painter.drawRoundedRect(fromBottomLeft(1, 15, 14, 2), 1, 1);
    painter.drawRoundedRect(fromBottomLeft(1, 10.4, 7.6, 2), 1, 1);

    const QRectF block = fromBottomLeft(8.8, 1, 8.4, 8.4);
    if (active) {
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(block, 1.9, 1.9);
    } else {
        // The stroke is centred on the outline, as the design's path is.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 1.6));
        painter.drawRoundedRect(block, 1.9, 1.9);
    }
    return image;
}

} // namespace tamsel::MenuBarIcon
