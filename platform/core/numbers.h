#pragma once

#include <QChar>
#include <QString>

// Number texts as the whole program writes and reads them.
namespace numbers {

// Shortest general decimal form: 35.0 -> "35", 0.5 -> "0.5" (15 significant digits).
QString floatToStr(double value);
QString intToStr(long long value);

// Reads a decimal number written with the process-wide decimal separator, blanks around
// it allowed. Throws Error("'<text>' is not a valid floating point value") otherwise.
double strToFloat(const QString& text);
bool tryStrToFloat(const QString& text, double* value);

} // namespace numbers
