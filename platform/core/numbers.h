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

// Whether a number text, read as strToFloat reads it, names a whole number ("12", "2,0",
// "1,5E3"), exactly as written: a whole number needs no double, whose 53 bits would change
// 12345678901234567 into 12345678901234568. TooLarge: whole, but beyond 64 bits.
enum class Whole { No, Yes, TooLarge };
Whole readWhole(const QString& text, qint64* value);

} // namespace numbers
