#include "numbers.h"

#include "error.h"
#include "formats.h"

#include <cmath>
#include <cstdlib>

namespace numbers {

QString floatToStr(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    QString text = QString::number(value, 'g', 15);
    // Exponent form as the number texts of the program show it: "1E15", "1E-5".
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        QString mantissa = text.left(e);
        QString exponent = text.mid(e + 1);
        const bool negative = exponent.startsWith(QLatin1Char('-'));
        exponent.remove(0, exponent.startsWith(QLatin1Char('+')) || negative ? 1 : 0);
        while (exponent.size() > 1 && exponent.startsWith(QLatin1Char('0')))
            exponent.remove(0, 1);
        text =
            mantissa + QLatin1Char('E') + (negative ? QStringLiteral("-") : QString()) + exponent;
    }
    const QChar sep = formats::settings().decimalSeparator;
    if (sep != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), sep);
    return text;
}

QString intToStr(long long value) {
    return QString::number(value);
}

bool tryStrToFloat(const QString& text, double* value) {
    const QChar sep = formats::settings().decimalSeparator;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    while (i < n && isBlank(text[i]))
        ++i;
    QByteArray c; // the number in C notation for strtod
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        c.append(char(text[i++].unicode()));
    int digits = 0;
    while (i < n && isDigit(text[i])) {
        c.append(char(text[i++].unicode()));
        ++digits;
    }
    if (i < n && text[i] == sep) {
        c.append('.');
        ++i;
        while (i < n && isDigit(text[i])) {
            c.append(char(text[i++].unicode()));
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        c.append('e');
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            c.append(char(text[i++].unicode()));
        int expDigits = 0;
        while (i < n && isDigit(text[i])) {
            c.append(char(text[i++].unicode()));
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        return false;
    const double v = std::strtod(c.constData(), nullptr);
    if (std::isinf(v))
        return false;
    if (value)
        *value = v;
    return true;
}

double strToFloat(const QString& text) {
    double v = 0.0;
    if (!tryStrToFloat(text, &v))
        throw Error(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}

} // namespace numbers
