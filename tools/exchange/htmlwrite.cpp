// Plain texts as HTML that htmlToText() reads back to the same text.
#include "htmltext.h"

#include <QList>

namespace exchange {

bool xmlCanCarry(char32_t c) {
    return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) ||
           (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
}

QString xmlSafe(const QString& text, int* replaced) {
    QList<uint> chars = text.toUcs4();
    bool changed = false;
    for (uint& c : chars)
        if (!xmlCanCarry(c)) {
            c = 0xfffd;
            changed = true;
            if (replaced)
                ++*replaced;
        }
    return changed ? QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()),
                                       chars.size())
                   : text;
}

QString textToHtml(const QString& text, int* replaced) {
    QString out = QStringLiteral("<p>");
    const QList<uint> chars = text.toUcs4();
    const auto space = [](char32_t c) { return c <= 0xffff && QChar(char16_t(c)).isSpace(); };
    // Whitespace at the ends of the text is written as references: a reader drops it otherwise.
    qsizetype first = 0, last = chars.size();
    while (first < last && space(chars[first]))
        ++first;
    while (last > first && space(chars[last - 1]))
        --last;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        char32_t c = chars[i];
        const bool lineStart = i == 0 || chars[i - 1] == '\n';
        const bool lineEnd = i + 1 == chars.size() || chars[i + 1] == '\n';
        if (!xmlCanCarry(c)) {
            c = 0xfffd;
            if (replaced)
                ++*replaced;
        }
        if (i < first || i >= last) {
            out += QStringLiteral("&#%1;").arg(uint(c));
            continue;
        }
        switch (c) {
        case '\n':
            out += QStringLiteral("<br>");
            break;
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        case ' ':
            // A space that a browser would drop or merge with another is kept as a reference.
            out += lineStart || lineEnd || chars[i - 1] == ' ' ? QStringLiteral("&#32;")
                                                               : QStringLiteral(" ");
            break;
        case '\t':
        case '\r':
        case '\f':
            out += QStringLiteral("&#%1;").arg(uint(c));
            break;
        default:
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out + QStringLiteral("</p>");
}

} // namespace exchange
