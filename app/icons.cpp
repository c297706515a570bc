#include "icons.h"

#include <QPainter>
#include <QPixmap>

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 32.0;
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(0, 0, 128));
        p.drawRoundedRect(QRectF(3 * s, 2 * s, 26 * s, 28 * s), 3 * s, 3 * s);
        p.setPen(QPen(QColor(255, 255, 0), 4 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(
            QPolygonF({QPointF(9 * s, 16 * s), QPointF(14 * s, 22 * s), QPointF(23 * s, 9 * s)}));
        icon.addPixmap(pm);
    }
    return icon;
}
