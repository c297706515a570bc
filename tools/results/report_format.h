#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringView>

// Texts shared by the HTML and CSV reports: Russian number forms, durations, escaping.
namespace results {

// "72,5": a decimal comma, as Russian spreadsheets and readers expect; no trailing zeros.
QString decimal(double value, int decimals = 1);
// "12 мин 05 с", "1 ч 02 мин 05 с"; empty for a negative (unknown) duration.
QString duration(int seconds);
// Protocol text made safe for HTML: escaped, line breaks as <br>, control characters shown
// as U+FFFD.
QString html(const QString& text);

// The same, appended to a report being written: its long tables take no string per cell.
void appendHtml(QString& out, QStringView text);
void appendNumber(QString& out, qint64 value);
void appendDuration(QString& out, int seconds);

// decimal(), remembered: a report writes the same few shares and seconds thousands of times.
class Decimals {
public:
    const QString& operator()(double value, int decimals = 1);

private:
    QHash<QPair<quint64, int>, QString> m_texts;
};

} // namespace results
