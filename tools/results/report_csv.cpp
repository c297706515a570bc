#include "report_csv.h"

#include "report_format.h"

#include <QDate>
#include <QStringList>
#include <QTime>
#include <cmath>

namespace results {
namespace {

// A text from a protocol: quoted when it holds a separator, a quote or a line break. A text
// that a spreadsheet would take for a formula (a tab or a carriage return before it counts as
// its start too) gets an apostrophe in front, so that opening the file never runs what a
// protocol holds.
QString text(const QString& value) {
    QString v = value;
    if (!v.isEmpty() && QStringLiteral("=+-@\t\r").contains(v.front()))
        v.prepend(QLatin1Char('\''));
    if (v.contains(QLatin1Char(';')) || v.contains(QLatin1Char('"')) ||
        v.contains(QLatin1Char('\n')) || v.contains(QLatin1Char('\r')))
        v = QLatin1Char('"') + v.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
            QLatin1Char('"');
    return v;
}

// A protocol's "8-12-2026" as "2026-12-08", which spreadsheets read as a date; a text that
// is no date stays as written.
QString date(const QString& value) {
    const QDate d = QDate::fromString(value, QStringLiteral("d-M-yyyy"));
    return d.isValid() ? d.toString(Qt::ISODate) : text(value);
}

// "9-05-03" (or "9:05:03") as "09:05:03".
QString time(const QString& value) {
    QTime t = QTime::fromString(value, QStringLiteral("H-m-s"));
    if (!t.isValid())
        t = QTime::fromString(value, QStringLiteral("H:m:s"));
    return t.isValid() ? t.toString(Qt::ISODate) : text(value);
}

// Seconds measured by the server; empty where it measured none.
QString seconds(double value) {
    return value < 0 ? QString() : decimal(value);
}

QByteArray document(const QList<QStringList>& rows) {
    QString out;
    for (const QStringList& row : rows)
        out += row.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

} // namespace

QByteArray classCsv(const ClassResults& r) {
    QList<QStringList> rows{
        {QStringLiteral("Файл"), QStringLiteral("Ученик"), QStringLiteral("Дата"),
         QStringLiteral("Начало"), QStringLiteral("Конец"), QStringLiteral("Закончен"),
         QStringLiteral("Вопросов"), QStringLiteral("Верно"), QStringLiteral("Неверно"),
         QStringLiteral("Время вышло"), QStringLiteral("Процент"), QStringLiteral("Время, с"),
         QStringLiteral("Итог")}};
    const bool server = r.hasServerSeconds();
    if (server)
        rows[0] << QStringLiteral("На ответы, с") << QStringLiteral("По серверу, с");
    if (r.hasGrades())
        rows[0] << QStringLiteral("Оценка");
    if (r.hasOrders())
        rows[0] << QStringLiteral("Порядок вопросов");
    for (const RunRow& row : r.runs()) {
        rows.append(
            {text(row.file), text(row.name), date(row.date), time(row.startTime), time(row.endTime),
             finishedText(row), QString::number(row.questions), QString::number(row.right),
             QString::number(row.wrong), QString::number(row.timeOuts),
             row.questions > 0 ? decimal(row.percent) : QString(),
             row.totalSeconds < 0 ? QString() : QString::number(row.totalSeconds),
             row.mismatch.isEmpty() ? QStringLiteral("сходится")
                                    : text(QStringLiteral("не сходится: ") + row.mismatch)});
        if (server)
            rows.last() << decimal(row.answerSeconds) << seconds(row.serverSeconds);
        if (r.hasGrades())
            rows.last() << (row.grade > 0 ? QString::number(row.grade) : QString());
        if (r.hasOrders())
            rows.last() << (row.order.isEmpty() ? QStringLiteral("общий") : text(row.order));
    }
    return document(rows);
}

QByteArray questionsCsv(const ClassResults& r) {
    QStringList head{QStringLiteral("№"), QStringLiteral("№ в базе"), QStringLiteral("Вопрос")};
    for (int k = 1; k <= 4; ++k)
        head << QStringLiteral("Вариант %1").arg(k);
    head << QStringLiteral("Верный вариант") << QStringLiteral("Показан") << QStringLiteral("Верно")
         << QStringLiteral("Трудность") << QStringLiteral("Различение");
    for (int k = 1; k <= 4; ++k)
        head << QStringLiteral("Выбран вариант %1").arg(k);
    head << QStringLiteral("Время вышло") << QStringLiteral("Медиана, с")
         << QStringLiteral("Вывод");
    const bool server = r.hasServerSeconds();
    if (server)
        head << QStringLiteral("Медиана по серверу, с");
    QList<QStringList> rows{head};
    int n = 0;
    for (const QuestionStats& q : r.questions()) {
        QStringList row{QString::number(++n), QString::number(q.record), text(q.question)};
        for (const QString& option : q.options)
            row << text(option);
        row << (q.rightNumber ? QString::number(q.rightNumber) : QString())
            << QString::number(q.shown) << QString::number(q.right) << decimal(q.difficulty, 3)
            << (std::isnan(q.discrimination) ? QString() : decimal(q.discrimination, 3));
        for (int k = 1; k <= 4; ++k)
            row << QString::number(q.chosen[k]);
        row << QString::number(q.chosen[0]) << decimal(q.medianSeconds)
            << text(q.verdicts.join(QStringLiteral("; ")));
        if (server)
            row << seconds(q.medianServerSeconds);
        rows.append(row);
    }
    return document(rows);
}

} // namespace results
