#pragma once

#include "class_stats.h"

#include <QString>

// The class report as one self-contained HTML page (styles and charts inline, no scripts),
// in Russian, laid out to print on A4. Every text that comes from a protocol is escaped.
namespace results {

// What the report's first lines say, so that a printed page can be matched to its test.
struct Heading {
    QString madeAt; // when the report was made
    QString source; // where its runs come from: the folders and files, or the server
    QString tally;  // what was read ("Прочитано протоколов: …")
};

QString htmlReport(const ClassResults& results, const Heading& heading);
// A report over protocol files whose sources go unnamed.
QString htmlReport(const ClassResults& results, const QString& madeAt);
// "Прочитано протоколов: N, пропущено файлов: M.": what a report over files read.
QString filesTally(const ClassResults& results);

} // namespace results
