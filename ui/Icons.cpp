#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace tamsel::Icons {

namespace {

// Every symbol is drawn on a 16 × 16 grid.
void draw(QPainter& p, Symbol symbol, const QColor& color) {
    QPen pen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (symbol) {
    case Symbol::plus:
        p.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
        p.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
        break;
    case Symbol::gear: {
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(8, 8);
            p.rotate(i * 45.0);
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            p.drawRoundedRect(QRectF(-1.5, -7.2, 3, 3.2), 0.6, 0.6);
            p.restore();
        }
        p.setPen(QPen(color, 2.2));
        p.drawEllipse(QPointF(8, 8), 4.3, 4.3);
        p.setPen(QPen(color, 1.4));
        p.drawEllipse(QPointF(8, 8), 1.6, 1.6);
        break;
    }
    case Symbol::chevronUp:
        p.drawPolyline(QPolygonF({QPointF(3, 10.5), QPointF(8, 5.5), QPointF(13, 10.5)}));
        break;
    case Symbol::chevronDown:
        p.drawPolyline(QPolygonF({QPointF(3, 5.5), QPointF(8, 10.5), QPointF(13, 5.5)}));
        break;
    case Symbol::chevronLeft:
        p.drawPolyline(QPolygonF({QPointF(10.5, 3), QPointF(5.5, 8), QPointF(10.5, 13)}));
        break;
    case Symbol::warning: {
        QPainterPath triangle;
        triangle.moveTo(8, 1.2);
        triangle.lineTo(15.2, 14.2);
        triangle.lineTo(0.8, 14.2);
        triangle.closeSubpath();
        p.setPen(QPen(color, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(color);
        p.drawPath(triangle);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(QPen(Qt::black, 1.7, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 5.4), QPointF(8, 9.4));
        p.drawPoint(QPointF(8, 11.9));
        break;
    }
    case Symbol::xmark:
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case Symbol::paperplane: {
        QPainterPath plane;
        plane.moveTo(1.5, 7.2);
        plane.lineTo(14.8, 1.5);
        plane.lineTo(10.5, 14.5);
        plane.lineTo(7.6, 9.0);
        plane.closeSubpath();
        p.setPen(QPen(color, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(color);
        p.drawPath(plane);
        break;
    }
    case Symbol::textBadgePlus:
        p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(1.5, 3.5), QPointF(9.5, 3.5));
        p.drawLine(QPointF(1.5, 8), QPointF(7, 8));
        p.drawLine(QPointF(1.5, 12.5), QPointF(7, 12.5));
        p.drawLine(QPointF(12, 7), QPointF(12, 14));
        p.drawLine(QPointF(8.5, 10.5), QPointF(15.5, 10.5));
        break;
    case Symbol::arrowUp:
        p.drawLine(QPointF(8, 14), QPointF(8, 2.5));
        p.drawPolyline(QPolygonF({QPointF(3.5, 7), QPointF(8, 2.5), QPointF(12.5, 7)}));
        break;
    case Symbol::arrowDown:
        p.drawLine(QPointF(8, 2), QPointF(8, 13.5));
        p.drawPolyline(QPolygonF({QPointF(3.5, 9), QPointF(8, 13.5), QPointF(12.5, 9)}));
        break;
    case Symbol::trash:
        p.setPen(QPen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(2, 3.8), QPointF(14, 3.8));
        p.drawPolyline(QPolygonF(
            {QPointF(5.8, 3.8), QPointF(6.3, 1.8), QPointF(9.7, 1.8), QPointF(10.2, 3.8)}));
        p.drawPolygon(QPolygonF(
            {QPointF(3.5, 3.8), QPointF(4.5, 14.5), QPointF(11.5, 14.5), QPointF(12.5, 3.8)}));
        p.drawLine(QPointF(6.5, 6.5), QPointF(6.8, 12));
        p.drawLine(QPointF(9.5, 6.5), QPointF(9.2, 12));
        break;
    case Symbol::lockShield: {
        QPainterPath shield;
        shield.moveTo(8, 0.8);
        shield.cubicTo(10.5, 2.2, 12.5, 2.6, 14.5, 2.6);
        shield.cubicTo(14.5, 9.5, 12, 13.2, 8, 15.2);
        shield.cubicTo(4, 13.2, 1.5, 9.5, 1.5, 2.6);
        shield.cubicTo(3.5, 2.6, 5.5, 2.2, 8, 0.8);
        p.setPen(QPen(color, 1.3));
        p.drawPath(shield);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRoundedRect(QRectF(5.3, 7.2, 5.4, 4.3), 0.8, 0.8);
        p.setPen(QPen(color, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6.2, 4.6, 3.6, 5.0), 0, 180 * 16);
        break;
    }
    case Symbol::checkmark:
        p.setPen(QPen(color, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(3.5, 8.5), QPointF(6.6, 11.6), QPointF(12.5, 4.5)}));
        break;
    case Symbol::checkmarkCircle:
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(8, 8), 7.2, 7.2);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(QPen(Qt::black, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(4.6, 8.3), QPointF(7, 10.7), QPointF(11.4, 5.6)}));
        break;
    case Symbol::info:
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(8, 8), 7.2, 7.2);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 7.2), QPointF(8, 11.6));
        p.drawPoint(QPointF(8, 4.6));
        break;
    }
}

} // namespace

QPixmap pixmap(Symbol symbol, int size, const QColor& color, qreal devicePixelRatio) {
    const int pixels = qRound(size * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / 16.0, pixels / 16.0);
    draw(painter, symbol, color);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon icon(Symbol symbol, int size, const QColor& color) {
    QIcon icon;
    icon.addPixmap(pixmap(symbol, size, color, 1.0));
    icon.addPixmap(pixmap(symbol, size, color, 2.0));
    return icon;
}

} // namespace tamsel::Icons
