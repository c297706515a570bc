#include "glyphs.h"

#include "lazyicon.h"

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cstring>

namespace {
// Without a desktop (a bare window manager) Qt's theme is "hicolor", which holds no action
// icons; Adwaita, where installed, is the freedesktop set to use then. Looking into hicolor
// costs start-up time, so the choice is made once the event loop runs, as if made now.
void useInstalledThemeWithoutDesktop() {
    chooseIconThemeLater([] {
        const QString theme = QIcon::themeName();
        if ((theme.isEmpty() || theme == QLatin1String("hicolor")) &&
            !QIcon::hasThemeIcon(QStringLiteral("edit-cut")) &&
            QDir(QStringLiteral("/usr/share/icons/Adwaita")).exists())
            QIcon::setThemeName(QStringLiteral("Adwaita"));
    });
}

void page(QPainter& p, qreal x, qreal y, qreal w, qreal h) {
    p.setBrush(Qt::white);
    p.drawRect(QRectF(x, y, w, h));
}

void floppy(QPainter& p) {
    p.setBrush(QColor(60, 90, 160));
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 2.5, 7, 4));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(5.5, 9.5, 5, 4));
}

void draw(QPainter& p, const char* name) {
    const auto is = [name](const char* n) { return std::strcmp(name, n) == 0; };
    p.setPen(QPen(QColor(40, 40, 40), 1));
    if (is("document-new")) {
        page(p, 3.5, 1.5, 9, 13);
    } else if (is("document-open")) {
        p.setBrush(QColor(230, 190, 80));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 3.5, 5, 2));
    } else if (is("document-save")) {
        floppy(p);
    } else if (is("document-save-as")) {
        floppy(p);
        p.setPen(QPen(QColor(180, 40, 40), 2));
        p.drawLine(QPointF(9, 14), QPointF(15, 8));
    } else if (is("document-print")) {
        page(p, 4.5, 1.5, 7, 5);
        p.setBrush(QColor(150, 150, 150));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        page(p, 4.5, 10.5, 7, 4);
    } else if (is("edit-cut")) {
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(4, 1), QPointF(10.5, 10));
        p.drawLine(QPointF(12, 1), QPointF(5.5, 10));
        p.drawEllipse(QPointF(4.5, 12.5), 2.5, 2.5);
        p.drawEllipse(QPointF(11.5, 12.5), 2.5, 2.5);
    } else if (is("edit-copy")) {
        page(p, 1.5, 1.5, 8, 10);
        page(p, 6.5, 4.5, 8, 10);
    } else if (is("edit-undo")) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(40, 90, 160), 2));
        QPainterPath arc;
        arc.moveTo(4, 7);
        arc.cubicTo(8, 2, 15, 5, 13, 12);
        p.drawPath(arc);
        p.setBrush(QColor(40, 90, 160));
        p.drawPolygon(QPolygonF({QPointF(1, 7), QPointF(6, 3), QPointF(6, 10)}));
    } else if (is("application-exit")) {
        p.setPen(QPen(QColor(180, 40, 40), 2));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
    }
}
} // namespace

QIcon drawnGlyph(const char* themeName) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter, themeName);
    painter.end();
    const QImage image = pixmap.toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return QIcon(pixmap);
    return QIcon();
}

QIcon reportGlyph(const char* themeName) {
    useInstalledThemeWithoutDesktop(); // now, as it decides the theme other windows see
    return lazyIcon([latin = QByteArray(themeName)] {
        const QString name = QString::fromLatin1(latin);
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
        return drawnGlyph(latin.constData());
    });
}
