#include "question.h"

namespace exchange {

void Result::take(Question& question) {
    ++taken;
    if (sink)
        sink(question);
    else
        questions.append(std::move(question));
}

void Result::breakOff(int line, const QString& text) {
    refuse(line, text);
    broken = true;
}

QVariant nameFrom(const QString& text, const Result& result) {
    bool ok = false;
    const qint64 number = text.trimmed().toLongLong(&ok);
    if (ok)
        return number;
    return qint64(result.taken + 1);
}

QString unifyLineEnds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace exchange
