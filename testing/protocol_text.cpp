#include "protocol_text.h"

#include "numbers.h"

namespace protocol {

QString separator() {
    return QStringLiteral("\\\\") + QString(63, QLatin1Char('-'));
}

QString headerLine(const QString& name, const QString& dateText, const QString& timeText) {
    return name + QStringLiteral("  ") + dateText + QStringLiteral("  ") + timeText;
}

QStringList header(const QString& headerLine, const QString& clockText) {
    return {headerLine, QString(), QStringLiteral("Тест начат в ") + clockText, QString()};
}

QStringList questionBlock(const ShownQuestion& q) {
    QStringList lines{separator(), QStringLiteral("Вопрос № ") + numbers::intToStr(q.record),
                      QStringLiteral("Содержание вопроса:"), q.question};
    for (int k = 0; k < 4; ++k)
        lines << numbers::intToStr(k + 1) + QStringLiteral(". ") + q.options[k];
    lines << QStringLiteral("Ваш ответ № ") + numbers::intToStr(q.answerNumber)
          << QStringLiteral("Правильный ответ:") + q.rightAnswer
          << QStringLiteral("Вы отвечали на вопрос: ") + numbers::floatToStr(q.secondsUsed) +
                 QStringLiteral(" сек. из ") + q.allowedText
          << QString();
    return lines;
}

QStringList timeOutLines() {
    return {QStringLiteral("Вы не успели ответить на вопрос!"), QString()};
}

QString unfinishedText() {
    return QStringLiteral("Тест до конца не пройден.");
}

QStringList footer(const QString& firstLine, const QString& clockText) {
    return {firstLine, separator(), QStringLiteral("Тест окончен в ") + clockText};
}

QString fileName(const QString& name, const QString& dateText, const QString& timeText,
                 bool unfinished) {
    QString safeName = name;
    safeName.replace(QLatin1Char('/'), QLatin1Char('_'));
    return (unfinished ? QStringLiteral("_") : QString()) +
           headerLine(safeName, dateText, timeText) + QStringLiteral(".usr");
}

} // namespace protocol
