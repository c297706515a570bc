#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>

// Process-wide date, time and number text settings, taken from the host's locale at
// start and changed at run time by the clocks of the test and sign-in windows.
namespace formats {

struct Settings {
    QChar dateSeparator = QLatin1Char('/');
    QChar timeSeparator = QLatin1Char(':');
    QChar decimalSeparator = QLatin1Char('.');
    QString shortDateFormat = QStringLiteral("dd/mm/yyyy");
    QString longTimeFormat = QStringLiteral("hh:mm:ss"); // host hour form + ":mm:ss" [+ AMPM]
    QString timeAMString = QStringLiteral("AM");
    QString timePMString = QStringLiteral("PM");
};

Settings& settings();
// Resets the settings to what the host's locale says (start of the program, and of each test).
void resetFromHostLocale();
Settings fromLocaleFormats(const QString& qtTimeFormat, const QString& qtShortDate,
                           QChar decimalPoint, const QString& am, const QString& pm);

// Formats with the pattern letters the program uses: d dd m mm yyyy yy (date), h hh, n nn,
// mm/m after an hour (minutes), s ss, ampm / am/pm, "/" date separator, ":" time separator,
// quoted text copied as it stands.
QString formatDateTime(const QString& pattern, const QDateTime& when,
                       const Settings& s = settings());

} // namespace formats

// The current date and time; tests stop and move it (tests/support/seams).
namespace clock_ {

QDateTime now();

} // namespace clock_
