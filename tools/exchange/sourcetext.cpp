#include "sourcetext.h"

#include <QStringDecoder>

namespace exchange {

QStringList sourceLines(const QByteArray& source, Result& result) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(source);
    if (utf8.hasError()) {
        // The first line holding a byte that is no UTF-8.
        const QList<QByteArray> lines = source.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            QStringDecoder check(QStringDecoder::Utf8);
            (void)check.decode(lines[i]);
            if (check.hasError()) {
                result.breakOff(i + 1, QStringLiteral("текст не в кодировке UTF-8 (сохраните "
                                                      "файл в UTF-8)"));
                return {};
            }
        }
        result.breakOff(1, QStringLiteral("текст не в кодировке UTF-8"));
        return {};
    }
    return unifyLineEnds(text).split(QLatin1Char('\n'));
}

} // namespace exchange
