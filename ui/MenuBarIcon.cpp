#include "ui/MenuBarIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tamsel::MenuBarIcon {

namespace {

constexpr qreal side = 18;

// Rectangles are given from the bottom-left corner, as the icon was designed.
QRectF fromBottomLeft(qreal x, qreal y, qreal width, qreal height) {
    return {x, side - y - height, width, height};
}

} // namespace

QImage image(bool active, qreal devicePixelRatio, const QColor& ink) {
    const int pixels = qRound(side * devicePixelRatio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor bars = ink;
    bars.setAlphaF(ink.alphaF() * 0.45);
    painter.setBrush(bars);
    painter.drawRoundedRect(fromBottomLeft(1, 15, 14, 2), 1, 1);
    painter.drawRoundedRect(fromBottomLeft(1, 10.4, 7.6, 2), 1, 1);

    const QRectF block = fromBottomLeft(8.8, 1, 8.4, 8.4);
    if (active) {
        painter.setBrush(ink);
        painter.drawRoundedRect(block, 1.9, 1.9);
    } else {
        // The stroke is centred on the outline, as the design's path is.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(ink, 1.6));
        painter.drawRoundedRect(block, 1.9, 1.9);
    }
    return image;
}

QColor inkFor(const std::optional<QColor>& trayForeground) {
    return trayForeground.value_or(QColor::fromRgba(lightInk));
}

QString symbolicName(bool active) {
    return active ? QStringLiteral("io.tamsel.Tamsel-active-symbolic")
                  : QStringLiteral("io.tamsel.Tamsel-paused-symbolic");
}

QIcon trayIcon(bool active, bool panelRecolours, const QColor& ink, qreal devicePixelRatio) {
    if (panelRecolours && QIcon::hasThemeIcon(symbolicName(active))) {
        return QIcon::fromTheme(symbolicName(active));
    }
    return QIcon(QPixmap::fromImage(image(active, devicePixelRatio, ink)));
}

} // namespace tamsel::MenuBarIcon
