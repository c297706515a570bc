#include "protocol_text.h"

#include "numbers.h"

#include <QFile>
#include <QTextBoundaryFinder>

namespace protocol {

QString separator() {
    return QStringLiteral("\\\\") + QString(63, QLatin1Char('-'));
}

QString headerLine(const QString& name, const QString& dateText, const QString& timeText) {
    QString kept = name;
    kept.remove(QChar(0)); // a NUL would end the text for many a reader of the file
    return kept + QStringLiteral("  ") + dateText + QStringLiteral("  ") + timeText;
}

QStringList header(const QString& headerLine, const QString& clockText) {
    return {headerLine, QString(), QStringLiteral("Тест начат в ") + clockText, QString()};
}

QStringList questionBlock(const ShownQuestion& q) {
    // Read first, so that a text that is no number leaves no half-written block.
    const double used = numbers::strToFloat(q.allowedText) - numbers::strToFloat(q.shownText);
    QStringList lines{separator(), QStringLiteral("Вопрос № ") + numbers::intToStr(q.record),
                      QStringLiteral("Содержание вопроса:"), q.question};
    for (int k = 0; k < 4; ++k)
        lines << numbers::intToStr(k + 1) + QStringLiteral(". ") + q.options[k];
    lines << QStringLiteral("Ваш ответ № ") + numbers::intToStr(q.answerNumber)
          << QStringLiteral("Правильный ответ:") + q.rightAnswer
          << QStringLiteral("Вы отвечали на вопрос: ") + numbers::floatToStr(used) +
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

namespace {
// The longest start of `text` that ends between two characters (as a reader sees them) and
// whose file-system encoding takes at most `room` bytes.
QString fitInBytes(const QString& text, qsizetype room) {
    if (QFile::encodeName(text).size() <= room)
        return text;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    qsizetype used = 0;
    for (qsizetype next = characters.toNextBoundary(); next > 0;
         next = characters.toNextBoundary()) {
        used += QFile::encodeName(text.mid(end, next - end)).size();
        if (used > room)
            break;
        end = next;
    }
    return text.left(end);
}
} // namespace

QString fileName(const QString& name, const QString& dateText, const QString& timeText,
                 bool unfinished, int copy) {
    // The name is only ever a file name: a "/" would make it a path, a NUL would end it early
    // (so "bank.mdb" NUL "x" would name the bank), and line breaks and other control
    // characters make names no one can type.
    QString safeName = name;
    for (QChar& c : safeName)
        if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('_');
    const QString prefix = unfinished ? QStringLiteral("_") : QString();
    const QString rest = QStringLiteral("  ") + dateText + QStringLiteral("  ") + timeText +
                         (copy > 1 ? QStringLiteral(" (%1)").arg(copy) : QString()) +
                         QStringLiteral(".usr");
    const qsizetype room = maxFileNameBytes - QFile::encodeName(prefix + rest).size();
    return prefix + fitInBytes(safeName, room) + rest;
}

} // namespace protocol
