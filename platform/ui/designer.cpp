#include "designer.h"

#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace designer {

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLineEdit* edit(QWidget* parent, const char* name, const QRect& place, const QString& text) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(place);
    return edit;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    widget->setPalette(pal);
}

QFont font(const QString& family, int pixelSize, bool bold) {
    static const QString bitmapFace = QStringLiteral("MS Sans Serif");
    constexpr int bitmapCharacterHeight = 11;
    const bool bitmapFits = !bold && pixelSize == bitmapCharacterHeight;
    const bool substitute = family.compare(bitmapFace, Qt::CaseInsensitive) == 0 && !bitmapFits &&
                            !QFontDatabase::isSmoothlyScalable(family);
    QFont f(substitute ? QStringLiteral("Tahoma") : family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QStringList registerDesignFonts(const QString& folder) {
    QStringList families;
    for (const char* file : {"ms_sans_serif.ttf", "tahoma.ttf"}) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(file);
        if (!QFile::exists(path))
            continue;
        const int id = QFontDatabase::addApplicationFont(path);
        if (id >= 0)
            families << QFontDatabase::applicationFontFamilies(id);
    }
    families.removeDuplicates();
    return families;
}

QIcon checkMarkIcon(const QColor& colour) {
    auto draw = [](const QColor& c) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(c, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
        return pm;
    };
    QIcon icon;
    icon.addPixmap(draw(colour), QIcon::Normal);
    icon.addPixmap(draw(QColor(160, 160, 160)), QIcon::Disabled);
    return icon;
}

} // namespace designer
