#include "report_html.h"

#include "report_charts.h"
#include "report_format.h"

#include <algorithm>
#include <cmath>

namespace results {
namespace {

const char* style = R"(
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 10pt;
       color: #111; margin: 1.5em auto; max-width: 75em; }
h1 { font-size: 16pt; margin: 0 0 .3em; }
h2 { font-size: 12.5pt; margin: 1.4em 0 .4em; }
table { border-collapse: collapse; width: 100%; margin: .3em 0 1em; }
div.wide { overflow-x: auto; margin: .3em 0 1em; }
div.wide table { margin: 0; }
th, td { border: 1px solid #999; padding: 2px 4px; vertical-align: top; text-align: left; }
th { background: #eee; font-weight: bold; }
td.n { text-align: right; white-space: nowrap; }
tr.flag td { background: #fbe3e3; }
ol.options { margin: .2em 0 0; padding-left: 1.6em; }
li.right { font-weight: bold; }
.verdict { color: #9a1c12; }
.note { color: #555; font-size: 9pt; }
svg { max-width: 100%; height: auto; display: block; }
@page { size: A4; margin: 14mm 12mm; }
@media print {
  body { margin: 0; max-width: none; font-size: 8.5pt; }
  div.wide { overflow: visible; }
  h2 { break-after: avoid; page-break-after: avoid; }
  tr, svg, li { break-inside: avoid; page-break-inside: avoid; }
  thead { display: table-header-group; }
  th { background: none; }
  tr.flag td { background: none; font-style: italic; }
}
)";

QString cell(const QString& text, bool number = false) {
    return (number ? QStringLiteral("<td class=\"n\">") : QStringLiteral("<td>")) + text +
           QStringLiteral("</td>");
}

QString header(const QStringList& titles) {
    QString row = QStringLiteral("<thead><tr>");
    for (const QString& t : titles)
        row += QStringLiteral("<th>") + t + QStringLiteral("</th>");
    return row + QStringLiteral("</tr></thead>\n");
}

// Columns of the server's own times, only in a report that has runs from the server.
QStringList serverTitles(const ClassResults& r, const QStringList& titles) {
    return r.hasServerSeconds() ? titles : QStringList();
}

// Seconds measured by the server; "—" where it measured none (a run from a protocol file).
QString seconds(double value) {
    return value < 0 ? QStringLiteral("—") : decimal(value);
}

QString summary(const ClassResults& r) {
    std::vector<double> scores;
    int mismatched = 0;
    for (const RunRow& row : r.runs()) {
        if (row.finished)
            scores.push_back(row.percent);
        mismatched += row.mismatch.isEmpty() ? 0 : 1;
    }
    QString s = QStringLiteral("<p>Попыток: %1, из них закончено: %2, прервано: %3.")
                    .arg(r.runs().size())
                    .arg(scores.size())
                    .arg(r.runs().size() - qsizetype(scores.size()));
    if (!scores.empty()) {
        double mean = 0;
        for (double v : scores)
            mean += v;
        mean /= double(scores.size());
        std::sort(scores.begin(), scores.end());
        const size_t m = scores.size() / 2;
        const double med = scores.size() % 2 ? scores[m] : (scores[m - 1] + scores[m]) / 2;
        s += QStringLiteral(" Средний результат законченных попыток: %1 %, медиана: %2 %.")
                 .arg(decimal(mean), decimal(med));
    }
    if (mismatched > 0)
        s += QStringLiteral(" <b>Итог не сходится с ответами: %1.</b>").arg(mismatched);
    return s + QStringLiteral("</p>\n");
}

// A cell appended to the page being written; the text is what the caller appends after it.
QString& cellStart(QString& out, bool number = false) {
    out += number ? QStringView(u"<td class=\"n\">") : QStringView(u"<td>");
    return out;
}

void cellEnd(QString& out) {
    out += QStringView(u"</td>");
}

void numberCell(QString& out, qint64 value) {
    appendNumber(cellStart(out, true), value);
    cellEnd(out);
}

void textCell(QString& out, QStringView text, bool number = false) {
    cellStart(out, number) += text;
    cellEnd(out);
}

void htmlCell(QString& out, QStringView text) {
    appendHtml(cellStart(out), text);
    cellEnd(out);
}

// The class table has more columns than a narrow window has room for: on a screen it scrolls
// in a box of its own, so that the page and its last column ("Примечание") stay whole.
void classTable(QString& t, const ClassResults& r) {
    t += QStringLiteral("<div class=\"wide\"><table>\n") +
         header(QStringList{
                    QStringLiteral("№"), QStringLiteral("Ученик"), QStringLiteral("Дата"),
                    QStringLiteral("Начало"), QStringLiteral("Конец"), QStringLiteral("Закончен"),
                    QStringLiteral("Вопросов"), QStringLiteral("Верно"), QStringLiteral("Неверно"),
                    QStringLiteral("Время вышло"), QStringLiteral("%"), QStringLiteral("Время")} +
                serverTitles(r, {QStringLiteral("На ответы, с"), QStringLiteral("По серверу, с")}) +
                (r.hasGrades() ? QStringList{QStringLiteral("Оценка")} : QStringList()) +
                (r.hasOrders() ? QStringList{QStringLiteral("Порядок вопросов")} : QStringList()) +
                QStringList{QStringLiteral("Примечание")});
    Decimals decimals;
    int n = 0;
    for (const RunRow& row : r.runs()) {
        const bool flag = !row.mismatch.isEmpty();
        t += flag ? QStringView(u"<tr class=\"flag\">") : QStringView(u"<tr>");
        numberCell(t, ++n);
        htmlCell(t, row.name);
        htmlCell(t, row.date);
        htmlCell(t, row.startTime);
        htmlCell(t, row.endTime);
        textCell(t, finishedText(row));
        numberCell(t, row.questions);
        numberCell(t, row.right);
        numberCell(t, row.wrong);
        numberCell(t, row.timeOuts);
        textCell(t, row.questions > 0 ? QStringView(decimals(row.percent)) : QStringView(u"—"),
                 true);
        appendDuration(cellStart(t, true), row.totalSeconds);
        cellEnd(t);
        if (r.hasServerSeconds()) {
            textCell(t, decimals(row.answerSeconds), true);
            textCell(t,
                     row.serverSeconds < 0 ? QStringView(u"—")
                                           : QStringView(decimals(row.serverSeconds)),
                     true);
        }
        if (r.hasGrades()) {
            cellStart(t, true);
            if (row.grade > 0)
                appendNumber(t, row.grade);
            cellEnd(t);
        }
        if (r.hasOrders()) {
            if (row.order.isEmpty())
                textCell(t, u"общий");
            else
                htmlCell(t, row.order);
        }
        cellStart(t);
        if (flag) {
            t += QStringLiteral("<b>не сходится</b>: ");
            appendHtml(t, row.mismatch);
        }
        cellEnd(t);
        t += QStringView(u"</tr>\n");
    }
    t += QStringView(u"</table></div>\n");
}

void optionList(QString& out, const QuestionStats& q, Decimals& decimals) {
    out += QStringView(u"<ol class=\"options\">");
    for (int k = 1; k <= 4; ++k) {
        const int times = q.chosen[k];
        out += k == q.rightNumber ? QStringView(u"<li class=\"right\">") : QStringView(u"<li>");
        appendHtml(out, q.options[k - 1]);
        out += QStringLiteral(" <span class=\"note\">— выбран ");
        appendNumber(out, times);
        out += QStringLiteral(" раз (");
        if (q.shown > 0) {
            out += decimals(100.0 * times / q.shown, 0);
            out += QStringView(u" %");
        }
        out += QLatin1Char(')');
        if (k == q.rightNumber)
            out += QStringLiteral(", верный");
        out += QStringView(u"</span></li>");
    }
    out += QStringView(u"</ol>");
}

void questionTable(QString& t, const ClassResults& r) {
    t += QStringLiteral("<table>\n") +
         header(QStringList{QStringLiteral("№"), QStringLiteral("№ в базе"),
                            QStringLiteral("Вопрос и варианты"), QStringLiteral("Показан"),
                            QStringLiteral("Трудность"), QStringLiteral("Различение"),
                            QStringLiteral("Время вышло"), QStringLiteral("Медиана, с")} +
                serverTitles(r, {QStringLiteral("Медиана по серверу, с")}) +
                QStringList{QStringLiteral("Вывод")});
    Decimals decimals;
    int n = 0;
    for (const QuestionStats& q : r.questions()) {
        t += QStringView(u"<tr>");
        numberCell(t, ++n);
        numberCell(t, q.record);
        appendHtml(cellStart(t), q.question);
        optionList(t, q, decimals);
        if (q.rightNumber == 0)
            t += QStringLiteral("<span class=\"note\">Верный ответ в протоколе не указывает на "
                                "вариант.</span>");
        cellEnd(t);
        numberCell(t, q.shown);
        textCell(t, decimals(q.difficulty, 2), true);
        textCell(t, decimals(q.discrimination, 2), true);
        numberCell(t, q.chosen[0]);
        textCell(t, decimals(q.medianSeconds), true);
        if (r.hasServerSeconds())
            textCell(t, seconds(q.medianServerSeconds), true);
        cellStart(t) += QStringView(u"<span class=\"verdict\">");
        t += q.verdicts.join(QStringLiteral("; "));
        t += QStringView(u"</span>");
        cellEnd(t);
        t += QStringView(u"</tr>\n");
    }
    t += QStringView(u"</table>\n");
}

QString skippedTable(const ClassResults& r) {
    if (r.skipped().isEmpty())
        return {};
    QString t = QStringLiteral("<h2>Пропущенные файлы</h2>\n<table>\n") +
                header({QStringLiteral("Файл"), QStringLiteral("Причина")});
    for (const SkippedFile& s : r.skipped())
        t += QStringLiteral("<tr>") + cell(html(s.file)) + cell(html(s.reason)) +
             QStringLiteral("</tr>\n");
    return t + QStringLiteral("</table>\n");
}

QString definitions(const ClassResults& r) {
    return QStringLiteral(
               "<h2>Как считаются показатели</h2>\n<ul class=\"note\">"
               "<li>Результат попытки — доля верных ответов среди заданных в ней вопросов; "
               "вопрос, на который не успели ответить, считается неверным, как и в итоговой "
               "строке протокола.</li>"
               "<li>Трудность вопроса — доля верных ответов среди всех его показов (чем "
               "больше, тем вопрос легче).</li>"
               "<li>Различение — доля верных ответов в сильной группе минус доля в слабой. "
               "Группы — %1 лучших и %1 худших законченных попыток по результату (27 %); "
               "прерванные попытки в группы не входят. «—»: групп нет или вопрос им не "
               "встречался.</li>"
               "<li>Выводы: «слишком лёгкий» — трудность не меньше %2; «слишком трудный» — не "
               "больше %3; «не различает» — у вопроса средней трудности различение меньше %4; "
               "«вариант N выбирают чаще "
               "верного» — неверный вариант выбран больше раз, чем верный; «мало ответов» — "
               "вопрос показан меньше %5 раз, выводы не делаются.</li>"
               "<li>Оценка — по границам тестирования (или --grades) в процентах верных "
               "ответов: «5», «4», «3» от своей границы, ниже — «2»; только у законченных "
               "попыток.</li>"
               "<li>Время ответа по серверу — от выдачи вопроса сервером класса до записи "
               "ответа; оно стоит рядом со временем, которое насчитала программа ученика "
               "(только для попыток с сервера).</li>"
               "<li>«Не сходится» — итоговая строка протокола не совпадает с его ответами "
               "(например, протокол исправлен после теста); в расчёт идут ответы.</li></ul>\n")
        .arg(r.groupSize())
        .arg(decimal(easyFrom, 2), decimal(hardUpTo, 2), decimal(discriminatesFrom, 2))
        .arg(minShownForVerdict);
}

} // namespace

QString htmlReport(const ClassResults& r, const Heading& heading) {
    QString page;
    // The class table's rows are the most of the page.
    page.reserve(r.runs().size() * 320 + r.questions().size() * 900 + 16384);
    page += QStringLiteral("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta "
                           "charset=\"utf-8\">\n<title>Результаты класса</title>\n<style>") +
            QLatin1String(style) + QStringLiteral("</style>\n</head>\n<body>\n");
    page +=
        QStringLiteral("<h1>Результаты класса</h1>\n<p class=\"note\">") +
        (heading.source.isEmpty() ? QString()
                                  : QStringLiteral("Источник: %1.<br>").arg(html(heading.source))) +
        QStringLiteral("Отчёт составлен %1. %2</p>\n")
            .arg(html(heading.madeAt), html(heading.tally));
    page += summary(r);
    page += QStringLiteral("<h2>Распределение результатов</h2>\n") + scoreChart(r) +
            QStringLiteral("\n<p class=\"note\">Число законченных попыток по долям верных "
                           "ответов.</p>\n");
    if (r.hasGrades())
        page += QStringLiteral("<h2>Оценки</h2>\n") + gradeChart(r) +
                QStringLiteral("\n<p class=\"note\">Число законченных попыток с каждой "
                               "оценкой.</p>\n");
    page += QStringLiteral("<h2>Таблица класса</h2>\n");
    classTable(page, r);
    page += QStringLiteral("<h2>Трудность вопросов</h2>\n") + difficultyChart(r) +
            QStringLiteral("\n<p class=\"note\">Доля верных ответов; пунктир — границы "
                           "«слишком трудный» и «слишком лёгкий».</p>\n");
    page += QStringLiteral("<h2>Анализ вопросов</h2>\n");
    questionTable(page, r);
    page += skippedTable(r) + definitions(r);
    return page + QStringLiteral("</body>\n</html>\n");
}

QString htmlReport(const ClassResults& r, const QString& madeAt) {
    return htmlReport(r, {madeAt, {}, filesTally(r)});
}

QString filesTally(const ClassResults& r) {
    return QStringLiteral("Прочитано протоколов: %1, пропущено файлов: %2.")
        .arg(r.runs().size())
        .arg(r.skipped().size());
}

} // namespace results
