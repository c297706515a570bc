#include "report_format.h"

#include <cmath>

namespace results {

QString decimal(double value, int decimals) {
    if (std::isnan(value))
        return QStringLiteral("—");
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

QString duration(int seconds) {
    if (seconds < 0)
        return {};
    const int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString ms = QStringLiteral("%1 мин %2 с")
                           .arg(m, h > 0 ? 2 : 1, 10, QLatin1Char('0'))
                           .arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QStringLiteral("%1 ч ").arg(h) + ms : ms;
}

QString html(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (QChar c : text) {
        switch (c.unicode()) {
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        case '\n':
            out += QLatin1String("<br>");
            break;
        default:
            if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7F ||
                c.isSurrogate())
                out += QChar(0xFFFD);
            else
                out += c;
        }
    }
    return out;
}

} // namespace results
