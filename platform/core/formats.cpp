#include "formats.h"

#include "core_hook.h"

#include <QLocale>
#include <optional>

namespace formats {
namespace {
Settings hostSettings() {
    const QLocale l = QLocale::system();
    const QString point = l.decimalPoint();
    return fromLocaleFormats(l.timeFormat(QLocale::LongFormat), l.dateFormat(QLocale::ShortFormat),
                             point.isEmpty() ? QLatin1Char('.') : point.at(0), l.amText(),
                             l.pmText());
}
} // namespace

Settings& settings() {
    static Settings s = hostSettings();
    return s;
}

Settings fromLocaleFormats(const QString& qtTimeFormat, const QString& qtShortDate,
                           QChar decimalPoint, const QString& am, const QString& pm) {
    Settings s;
    // Hour form: leading zero when the host writes "HH"/"hh", 12-hour when it shows AM/PM.
    const bool twelveHour = qtTimeFormat.contains(QLatin1Char('a'), Qt::CaseInsensitive) ||
                            qtTimeFormat.contains(QLatin1String("AP"));
    const bool leadingZero =
        qtTimeFormat.contains(QLatin1String("HH")) || qtTimeFormat.contains(QLatin1String("hh"));
    QString hour = leadingZero ? QStringLiteral("hh") : QStringLiteral("h");
    s.longTimeFormat = hour + QStringLiteral(":mm:ss");
    if (twelveHour) {
        const qsizetype ap = qtTimeFormat.indexOf(QLatin1Char('a'), 0, Qt::CaseInsensitive);
        const qsizetype h = qtTimeFormat.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
        s.longTimeFormat = ap >= 0 && ap < h ? QStringLiteral("AMPM ") + s.longTimeFormat
                                             : s.longTimeFormat + QStringLiteral(" AMPM");
    }
    for (QChar c : qtTimeFormat) {
        if (!c.isLetter() && !c.isSpace()) {
            s.timeSeparator = c;
            break;
        }
    }
    for (QChar c : qtShortDate) {
        if (!c.isLetter() && !c.isSpace()) {
            s.dateSeparator = c;
            break;
        }
    }
    s.shortDateFormat = QStringLiteral("dd/mm/yyyy");
    s.decimalSeparator = decimalPoint;
    if (!am.isEmpty())
        s.timeAMString = am;
    if (!pm.isEmpty())
        s.timePMString = pm;
    return s;
}

void resetFromHostLocale() {
    settings() = hostSettings();
}

namespace {
QString pad2(int v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

int runLength(const QString& p, qsizetype i) {
    const QChar c = p[i].toLower();
    int n = 0;
    while (i + n < p.size() && p[i + n].toLower() == c)
        ++n;
    return n;
}
} // namespace

QString formatDateTime(const QString& pattern, const QDateTime& when, const Settings& s) {
    const QDate date = when.date();
    const QTime time = when.time();
    const bool twelve = pattern.contains(QLatin1String("ampm"), Qt::CaseInsensitive) ||
                        pattern.contains(QLatin1String("am/pm"), Qt::CaseInsensitive);
    QString out;
    bool afterHour = false; // "m" right after an hour means minutes
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = pattern.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (pattern.mid(i, 4).compare(QLatin1String("ampm"), Qt::CaseInsensitive) == 0) {
            out += time.hour() < 12 ? s.timeAMString : s.timePMString;
            i += 4;
            continue;
        }
        if (pattern.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
            out += time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
            i += 5;
            continue;
        }
        if (c == QLatin1Char('/')) {
            out += s.dateSeparator;
            ++i;
            continue;
        }
        if (c == QLatin1Char(':')) {
            out += s.timeSeparator;
            ++i;
            continue;
        }
        if (lc == QLatin1Char('d') || lc == QLatin1Char('y') || lc == QLatin1Char('h') ||
            lc == QLatin1Char('n') || lc == QLatin1Char('s') || lc == QLatin1Char('m')) {
            const int n = runLength(pattern, i);
            if (lc == QLatin1Char('d')) {
                out += n >= 2 ? pad2(date.day()) : QString::number(date.day());
                afterHour = false;
            } else if (lc == QLatin1Char('y')) {
                out += n >= 3 ? QString::number(date.year()).rightJustified(4, QLatin1Char('0'))
                              : pad2(date.year() % 100);
                afterHour = false;
            } else if (lc == QLatin1Char('h')) {
                int h = time.hour();
                if (twelve) {
                    h %= 12;
                    if (h == 0)
                        h = 12;
                }
                out += n >= 2 ? pad2(h) : QString::number(h);
                afterHour = true;
            } else if (lc == QLatin1Char('n') || (lc == QLatin1Char('m') && afterHour)) {
                out += n >= 2 ? pad2(time.minute()) : QString::number(time.minute());
                afterHour = false;
            } else if (lc == QLatin1Char('m')) {
                out += n >= 2 ? pad2(date.month()) : QString::number(date.month());
            } else {
                out += n >= 2 ? pad2(time.second()) : QString::number(time.second());
            }
            i += n;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace formats

namespace corehook {
std::optional<QDateTime> fixedNow;
}

namespace clock_ {

QDateTime now() {
    return corehook::fixedNow ? *corehook::fixedNow : QDateTime::currentDateTime();
}

} // namespace clock_
