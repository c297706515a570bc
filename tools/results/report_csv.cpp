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
void text(QString& out, QStringView value) {
    const bool formula = !value.isEmpty() && QStringView(u"=+-@\t\r").contains(value.front());
    const bool quoted = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('"')) ||
                        value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
    if (quoted)
        out += QLatin1Char('"');
    if (formula)
        out += QLatin1Char('\'');
    if (!quoted) {
        out += value;
    } else {
        for (QChar c : value) {
            out += c;
            if (c == QLatin1Char('"'))
                out += c;
        }
        out += QLatin1Char('"');
    }
}

// Digits of a field "7" or "07" at `at`, up to `most` of them; -1 when none.
int digitsAt(QStringView value, qsizetype* at, int most) {
    int n = 0, count = 0;
    while (*at < value.size() && count < most && value[*at].unicode() >= '0' &&
           value[*at].unicode() <= '9') {
        n = n * 10 + (value[*at].unicode() - '0');
        ++*at, ++count;
    }
    return count == 0 ? -1 : n;
}

// Three numbers "a-b-c" of 1-2, 1-2 and 1-`lastDigits` digits, as the protocols write dates and
// times: read by hand, since a general date parser costs more than the rest of a row.
// False when the text is not of that plain form; it then goes the general way.
bool threeNumbers(QStringView value, QChar between, int lastDigits, int parts[3]) {
    qsizetype at = 0;
    for (int k = 0; k < 3; ++k) {
        if (k > 0 && (at >= value.size() || value[at++] != between))
            return false;
        const qsizetype from = at;
        parts[k] = digitsAt(value, &at, k < 2 ? 2 : lastDigits);
        if (parts[k] < 0 || (k == 2 && lastDigits == 4 && at - from != 4))
            return false;
    }
    return at == value.size();
}

void twoDigits(QString& out, int n) {
    out += QChar(char16_t(u'0' + n / 10));
    out += QChar(char16_t(u'0' + n % 10));
}

// A protocol's "8-12-2026" as "2026-12-08", which spreadsheets read as a date; a text that
// is no date stays as written.
void date(QString& out, const QString& value) {
    int p[3];
    if (threeNumbers(value, QLatin1Char('-'), 4, p) && p[2] >= 1 &&
        QDate(p[2], p[1], p[0]).isValid()) {
        appendNumber(out, p[2] / 1000);
        appendNumber(out, p[2] / 100 % 10);
        twoDigits(out, p[2] % 100);
        out += QLatin1Char('-');
        twoDigits(out, p[1]);
        out += QLatin1Char('-');
        twoDigits(out, p[0]);
        return;
    }
    const QDate d = QDate::fromString(value, QStringLiteral("d-M-yyyy"));
    if (d.isValid())
        out += d.toString(Qt::ISODate);
    else
        text(out, value);
}

// "9-05-03" (or "9:05:03") as "09:05:03".
void time(QString& out, const QString& value) {
    int p[3];
    if ((threeNumbers(value, QLatin1Char('-'), 2, p) ||
         threeNumbers(value, QLatin1Char(':'), 2, p)) &&
        p[0] < 24 && p[1] < 60 && p[2] < 60) {
        twoDigits(out, p[0]);
        out += QLatin1Char(':');
        twoDigits(out, p[1]);
        out += QLatin1Char(':');
        twoDigits(out, p[2]);
        return;
    }
    QTime t = QTime::fromString(value, QStringLiteral("H-m-s"));
    if (!t.isValid())
        t = QTime::fromString(value, QStringLiteral("H:m:s"));
    if (t.isValid())
        out += t.toString(Qt::ISODate);
    else
        text(out, value);
}

// Seconds measured by the server; empty where it measured none.
void seconds(QString& out, double value, Decimals& decimals) {
    if (value >= 0)
        out += decimals(value);
}

// A row of fields: each one after a separator but the first.
class Row {
public:
    explicit Row(QString& out) : m_out(out) {}
    QString& field() {
        if (m_started)
            m_out += QLatin1Char(';');
        m_started = true;
        return m_out;
    }
    Row& operator<<(QStringView value) {
        field() += value;
        return *this;
    }
    Row& operator<<(qint64 value) {
        appendNumber(field(), value);
        return *this;
    }
    ~Row() { m_out += QStringView(u"\r\n"); }

private:
    QString& m_out;
    bool m_started = false;
};

QByteArray document(const QString& out) {
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

} // namespace

QByteArray classCsv(const ClassResults& r) {
    QString out;
    out.reserve(r.runs().size() * 160 + 256);
    const bool server = r.hasServerSeconds();
    {
        Row head(out);
        for (const char16_t* title :
             {u"Файл", u"Ученик", u"Дата", u"Начало", u"Конец", u"Закончен", u"Вопросов", u"Верно",
              u"Неверно", u"Время вышло", u"Процент", u"Время, с", u"Итог"})
            head << QStringView(title);
        if (server)
            head << u"На ответы, с" << u"По серверу, с";
        if (r.hasGrades())
            head << u"Оценка";
        if (r.hasOrders())
            head << u"Порядок вопросов";
    }
    Decimals decimals;
    for (const RunRow& row : r.runs()) {
        Row line(out);
        text(line.field(), row.file);
        text(line.field(), row.name);
        date(line.field(), row.date);
        time(line.field(), row.startTime);
        time(line.field(), row.endTime);
        line << finishedText(row) << row.questions << row.right << row.wrong << row.timeOuts;
        if (row.questions > 0)
            line.field() += decimals(row.percent);
        else
            line.field();
        if (row.totalSeconds < 0)
            line.field();
        else
            line << row.totalSeconds;
        if (row.mismatch.isEmpty())
            line << u"сходится";
        else
            text(line.field(), QStringLiteral("не сходится: ") + row.mismatch);
        if (server) {
            line << decimals(row.answerSeconds);
            seconds(line.field(), row.serverSeconds, decimals);
        }
        if (r.hasGrades()) {
            if (row.grade > 0)
                line << row.grade;
            else
                line.field();
        }
        if (r.hasOrders()) {
            if (row.order.isEmpty())
                line << u"общий";
            else
                text(line.field(), row.order);
        }
    }
    return document(out);
}

QByteArray questionsCsv(const ClassResults& r) {
    QString out;
    const bool server = r.hasServerSeconds();
    {
        Row head(out);
        head << u"№" << u"№ в базе" << u"Вопрос";
        for (int k = 1; k <= 4; ++k)
            head << QStringLiteral("Вариант %1").arg(k);
        head << u"Верный вариант" << u"Показан" << u"Верно" << u"Трудность" << u"Различение";
        for (int k = 1; k <= 4; ++k)
            head << QStringLiteral("Выбран вариант %1").arg(k);
        head << u"Время вышло" << u"Медиана, с" << u"Вывод";
        if (server)
            head << u"Медиана по серверу, с";
    }
    Decimals decimals;
    qint64 n = 0;
    for (const QuestionStats& q : r.questions()) {
        Row line(out);
        line << ++n << q.record;
        text(line.field(), q.question);
        for (const QString& option : q.options)
            text(line.field(), option);
        if (q.rightNumber)
            line << q.rightNumber;
        else
            line.field();
        line << q.shown << q.right << decimals(q.difficulty, 3);
        if (std::isnan(q.discrimination))
            line.field();
        else
            line << decimals(q.discrimination, 3);
        for (int k = 1; k <= 4; ++k)
            line << q.chosen[k];
        line << q.chosen[0] << decimals(q.medianSeconds);
        text(line.field(), q.verdicts.join(QStringLiteral("; ")));
        if (server)
            seconds(line.field(), q.medianServerSeconds, decimals);
    }
    return document(out);
}

} // namespace results
