#include "report_format.h"

#include <cmath>
#include <cstring>

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
    appendHtml(out, text);
    return out;
}

void appendHtml(QString& out, QStringView text) {
    // Runs of characters that stay as they are go in whole: a class table has thousands.
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        QStringView replacement;
        switch (c) {
        case '<':
            replacement = u"&lt;";
            break;
        case '>':
            replacement = u"&gt;";
            break;
        case '&':
            replacement = u"&amp;";
            break;
        case '"':
            replacement = u"&quot;";
            break;
        case '\'':
            replacement = u"&#39;";
            break;
        case '\n':
            replacement = u"<br>";
            break;
        default:
            if ((c < 0x20 && c != '\t') || c == 0x7F || QChar::isSurrogate(c))
                replacement = u"\uFFFD";
            else
                continue;
        }
        out += text.mid(run, i - run);
        out += replacement;
        run = i + 1;
    }
    out += text.mid(run);
}

void appendNumber(QString& out, qint64 value) {
    char16_t digits[24];
    char16_t* end = digits + 24;
    char16_t* d = end;
    quint64 v = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        *--d = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0)
        *--d = u'-';
    out.append(reinterpret_cast<const QChar*>(d), end - d);
}

namespace {
void twoDigits(QString& out, int value) {
    out += QChar(char16_t(u'0' + value / 10));
    out += QChar(char16_t(u'0' + value % 10));
}
} // namespace

void appendDuration(QString& out, int seconds) {
    if (seconds < 0)
        return;
    const int h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) {
        appendNumber(out, h);
        out += QStringLiteral(" ч ");
        twoDigits(out, m);
    } else {
        appendNumber(out, m);
    }
    out += QStringLiteral(" мин ");
    twoDigits(out, s);
    out += QStringLiteral(" с");
}

const QString& Decimals::operator()(double value, int decimals) {
    quint64 bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    QString& text = m_texts[qMakePair(bits, decimals)];
    if (text.isNull())
        text = decimal(value, decimals);
    return text;
}

} // namespace results
