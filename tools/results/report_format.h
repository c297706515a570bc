#pragma once

#include <QString>

// Texts shared by the HTML and CSV reports: Russian number forms, durations, escaping.
namespace results {

// "72,5": a decimal comma, as Russian spreadsheets and readers expect; no trailing zeros.
QString decimal(double value, int decimals = 1);
// "12 мин 05 с", "1 ч 02 мин 05 с"; empty for a negative (unknown) duration.
QString duration(int seconds);
// Protocol text made safe for HTML: escaped, line breaks as <br>, control characters shown
// as U+FFFD.
QString html(const QString& text);

} // namespace results
