#include "report_charts.h"

#include "report_format.h"

#include <algorithm>

namespace results {
namespace {

constexpr double width = 680, height = 240;
constexpr double left = 44, right = 10, top = 14, bottom = 36;
constexpr double plotW = width - left - right, plotH = height - top - bottom;

QString num(double v) {
    return QString::number(v, 'f', 1);
}

QString svgStart(const QString& title) {
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                          "viewBox=\"0 0 %1 %2\" role=\"img\" font-size=\"11\" "
                          "font-family=\"sans-serif\"><title>%3</title>")
        .arg(num(width), num(height), title);
}

QString axisLine(double y, const QString& label, bool dashed) {
    return QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#888\"%4/>"
                          "<text x=\"%5\" y=\"%6\" text-anchor=\"end\">%7</text>")
        .arg(num(left), num(y), num(width - right),
             dashed ? QStringLiteral(" stroke-dasharray=\"4 3\"") : QString(), num(left - 4),
             num(y + 4), label);
}

QString bar(double x, double w, double h, const char* colour) {
    return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>")
        .arg(num(x), num(top + plotH - h), num(w), num(h), QLatin1String(colour));
}

QString label(double x, double y, const QString& text) {
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>")
        .arg(num(x), num(y), text);
}

} // namespace

QString scoreChart(const ClassResults& results) {
    int bands[10] = {};
    for (const RunRow& r : results.runs())
        if (r.finished)
            ++bands[std::clamp(int(r.percent / 10), 0, 9)];
    const int most = std::max(1, *std::max_element(std::begin(bands), std::end(bands)));
    QString svg = svgStart(QStringLiteral("Распределение результатов законченных попыток"));
    svg += axisLine(top + plotH, QStringLiteral("0"), false);
    svg += axisLine(top, QString::number(most), true);
    const double slot = plotW / 10;
    for (int i = 0; i < 10; ++i) {
        const double x = left + i * slot;
        const double h = plotH * bands[i] / most;
        svg += bar(x + 4, slot - 8, h, "#4a7ab5");
        if (bands[i] > 0)
            svg += label(x + slot / 2, top + plotH - h - 3, QString::number(bands[i]));
        svg += label(x + slot / 2, height - bottom + 14,
                     QStringLiteral("%1–%2").arg(i * 10).arg(i == 9 ? 100 : i * 10 + 9));
    }
    svg += label(left + plotW / 2, height - 4, QStringLiteral("результат, %"));
    return svg + QStringLiteral("</svg>");
}

QString gradeChart(const ClassResults& results) {
    int counts[4] = {}; // grades 5, 4, 3, 2
    for (const RunRow& r : results.runs())
        if (r.grade >= 2)
            ++counts[5 - r.grade];
    const int most = std::max(1, *std::max_element(std::begin(counts), std::end(counts)));
    QString svg = svgStart(QStringLiteral("Оценки законченных попыток"));
    svg += axisLine(top + plotH, QStringLiteral("0"), false);
    svg += axisLine(top, QString::number(most), true);
    const double slot = plotW / 4;
    const char* colours[4] = {"#3f8f4f", "#4a7ab5", "#c9a227", "#d0685c"};
    for (int i = 0; i < 4; ++i) {
        const double x = left + i * slot;
        const double h = plotH * counts[i] / most;
        svg += bar(x + 12, slot - 24, h, colours[i]);
        svg += label(x + slot / 2, top + plotH - h - 3, QString::number(counts[i]));
        svg += label(x + slot / 2, height - bottom + 14, QStringLiteral("«%1»").arg(5 - i));
    }
    svg += label(left + plotW / 2, height - 4, QStringLiteral("оценка"));
    return svg + QStringLiteral("</svg>");
}

QString difficultyChart(const ClassResults& results) {
    const QList<QuestionStats>& questions = results.questions();
    const int n = int(questions.size());
    QString svg = svgStart(QStringLiteral("Доля верных ответов по вопросам"));
    svg += axisLine(top + plotH, QStringLiteral("0"), false);
    svg += axisLine(top + plotH * (1 - hardUpTo), decimal(hardUpTo, 2), true);
    svg += axisLine(top + plotH * (1 - easyFrom), decimal(easyFrom, 2), true);
    svg += axisLine(top, QStringLiteral("1"), false);
    if (n == 0)
        return svg + QStringLiteral("</svg>");
    const double slot = plotW / n;
    const int every = std::max(1, int(28 / slot) + 1); // labels that do not overlap
    for (int i = 0; i < n; ++i) {
        const QuestionStats& q = questions[i];
        const char* colour = q.difficulty >= easyFrom   ? "#9bbf8a"
                             : q.difficulty <= hardUpTo ? "#d0685c"
                                                        : "#4a7ab5";
        const double gap = slot > 6 ? 2 : 0;
        svg += bar(left + i * slot + gap, slot - 2 * gap, plotH * q.difficulty, colour);
        if ((i + 1) % every == 0 || i == 0)
            svg += label(left + (i + 0.5) * slot, height - bottom + 14, QString::number(i + 1));
    }
    svg += label(left + plotW / 2, height - 4, QStringLiteral("вопрос (номер в таблице ниже)"));
    return svg + QStringLiteral("</svg>");
}

} // namespace results
