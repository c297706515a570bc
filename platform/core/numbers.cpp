#include "numbers.h"

#include "error.h"
#include "formats.h"

#include <charconv>
#include <cmath>
#include <optional>

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

namespace {
// True when a number in C notation is less than 1 in magnitude: the decimal exponent of its
// first significant digit is negative.
bool belowOne(const QByteArray& c) {
    const qsizetype e = c.indexOf('e');
    const QByteArray mantissa = e < 0 ? c : c.left(e);
    long long exponent = 0;
    if (e >= 0) {
        const char* first = c.constData() + e + 1;
        if (*first == '+')
            ++first;
        // An exponent too long for the type is huge either way; its sign decides.
        if (std::from_chars(first, c.constData() + c.size(), exponent).ec != std::errc())
            return *first == '-';
    }
    const qsizetype point = mantissa.contains('.') ? mantissa.indexOf('.') : mantissa.size();
    for (qsizetype k = 0; k < mantissa.size(); ++k) {
        if (mantissa[k] >= '1' && mantissa[k] <= '9') {
            const long long place = k < point ? point - k - 1 : point - k;
            return place + exponent < 0;
        }
    }
    return true; // no significant digit: zero
}

// The number of `text` in C notation ("-12.5e3"), read as strToFloat reads it, or nothing
// when the text is no number.
std::optional<QByteArray> cNotation(const QString& text) {
    const QChar sep = formats::settings().decimalSeparator;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    while (i < n && isBlank(text[i]))
        ++i;
    QByteArray c; // the number in C notation, converted without the C library's locale
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        if (text[i++] == QLatin1Char('-'))
            c.append('-'); // from_chars takes no "+"
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
        return std::nullopt;
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
            return std::nullopt;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        return std::nullopt;
    return c;
}

} // namespace

bool tryStrToFloat(const QString& text, double* value) {
    const std::optional<QByteArray> number = cNotation(text);
    if (!number)
        return false;
    const QByteArray& c = *number;
    // strtod would follow the C library's numeric locale, which Qt sets from the
    // environment: under a Russian locale it stops at the ".".
    double v = 0.0;
    const char* end = c.constData() + c.size();
    const auto [stop, ec] = std::from_chars(c.constData(), end, v);
    if (ec == std::errc::result_out_of_range) {
        if (!belowOne(c))
            return false;                   // too large for a double
        v = c.startsWith('-') ? -0.0 : 0.0; // too small: zero, as the C library reads it
    } else if (ec != std::errc() || stop != end || std::isinf(v)) {
        return false;
    }
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

Whole readWhole(const QString& text, qint64* value) {
    const std::optional<QByteArray> number = cNotation(text);
    if (!number)
        return Whole::No;
    const QByteArray& c = *number;
    const bool negative = c.startsWith('-');
    const qsizetype e = c.indexOf('e');
    const QByteArray mantissa =
        c.mid(negative ? 1 : 0, (e < 0 ? c.size() : e) - (negative ? 1 : 0));
    // value = digits × 10^exponent, digits without leading zeros
    QByteArray digits = mantissa;
    long long exponent = 0;
    const qsizetype point = mantissa.indexOf('.');
    if (point >= 0) {
        digits.remove(point, 1);
        exponent = -(mantissa.size() - point - 1);
    }
    while (digits.startsWith('0'))
        digits.remove(0, 1);
    if (digits.isEmpty()) {
        *value = 0;
        return Whole::Yes;
    }
    if (e >= 0) {
        const char* first = c.constData() + e + 1;
        if (*first == '+')
            ++first;
        long long written = 0;
        if (std::from_chars(first, c.constData() + c.size(), written).ec != std::errc())
            return *first == '-' ? Whole::No : Whole::TooLarge;
        // A mantissa is shorter than the text; past this the sum cannot be whole and small.
        if (written > 1000000 || written < -1000000)
            return written < 0 ? Whole::No : Whole::TooLarge;
        exponent += written;
    }
    while (exponent < 0 && digits.endsWith('0')) {
        digits.chop(1);
        ++exponent;
    }
    if (exponent < 0)
        return Whole::No;
    if (digits.size() + exponent > 19)
        return Whole::TooLarge;
    digits.append(QByteArray(qsizetype(exponent), '0'));
    if (negative)
        digits.prepend('-');
    qint64 whole = 0;
    if (std::from_chars(digits.constData(), digits.constData() + digits.size(), whole).ec !=
        std::errc())
        return Whole::TooLarge;
    *value = whole;
    return Whole::Yes;
}

} // namespace numbers
