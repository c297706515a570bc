// The navigator's glyphs, drawn rather than loaded, so they scale and need no files.
#include "dbnavigator.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
// Coordinates are given on a 16 x 16 grid and scaled to the glyph's size.
QPolygonF triangle(bool pointsLeft, qreal tipX) {
    const qreal back = pointsLeft ? tipX + 5 : tipX - 5;
    return QPolygonF{QPointF(tipX, 8), QPointF(back, 3), QPointF(back, 13)};
}

void drawGlyph(QPainter& p, DBNavigator::Button which) {
    const QColor ink(0, 0, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (which) {
    case DBNavigator::First:
        p.drawRect(QRectF(3.5, 3, 2, 10));
        p.drawPolygon(triangle(true, 6.5));
        break;
    case DBNavigator::Prior:
        p.drawPolygon(triangle(true, 5.5));
        break;
    case DBNavigator::Next:
        p.drawPolygon(triangle(false, 10.5));
        break;
    case DBNavigator::Last:
        p.drawPolygon(triangle(false, 9.5));
        p.drawRect(QRectF(10.5, 3, 2, 10));
        break;
    case DBNavigator::Insert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case DBNavigator::Delete:
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case DBNavigator::Edit:
        p.drawPolygon(QPolygonF{QPointF(8, 4), QPointF(13, 11), QPointF(3, 11)});
        break;
    case DBNavigator::Post: {
        p.setPen(QPen(QColor(0, 128, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF{QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)});
        break;
    }
    case DBNavigator::Cancel:
        p.setPen(QPen(QColor(176, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case DBNavigator::Refresh: {
        p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 100 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF{QPointF(7, 0.8), QPointF(11, 3.2), QPointF(7, 5.6)});
        break;
    }
    }
}
} // namespace

namespace dbnavigator {

QPixmap glyph(DBNavigator::Button which, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    drawGlyph(painter, which);
    return pixmap;
}

} // namespace dbnavigator
