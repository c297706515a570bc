#include "textfile.h"

#include <QHash>
#include <QStringDecoder>

namespace textfile {
namespace {

// The byte for every character of the code page, read off Qt's own decoder once.
struct Cp1251Table {
    QHash<char16_t, char> encode;
    char16_t decode[256];
    Cp1251Table() {
        QStringDecoder dec("windows-1251");
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            const QString s = dec.decode(QByteArrayView(&byte, 1));
            decode[b] = s.size() == 1 ? s.at(0).unicode() : char16_t(0xFFFD);
            if (s.size() == 1 && !encode.contains(decode[b]))
                encode.insert(decode[b], byte);
        }
    }
};

const Cp1251Table& table() {
    static const Cp1251Table t;
    return t;
}

} // namespace

QByteArray toCp1251(const QString& text) {
    const Cp1251Table& t = table();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        // A surrogate pair is one character outside the code page.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode()))
            ++i;
        const auto it = t.encode.constFind(c);
        out.append(it == t.encode.constEnd() ? '?' : *it);
    }
    return out;
}

QString fromCp1251(const QByteArray& bytes) {
    const Cp1251Table& t = table();
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        d[i] = QChar(t.decode[uchar(bytes[i])]);
    return out;
}

QByteArray encodeLines(const QString& text) {
    if (text.isEmpty())
        return {};
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normal.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    normal += QLatin1String("\r\n");
    return toCp1251(normal);
}

QString decodeLines(const QByteArray& bytes) {
    QString text = fromCp1251(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

} // namespace textfile
