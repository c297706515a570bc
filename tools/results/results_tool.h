#pragma once

#include "class_stats.h"
#include "commandline.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

// The command kviront-results: reads protocol files, writes the class report. Protocol files
// are only ever opened for reading.
namespace results {

struct Options {
    QStringList inputs; // folders and files
    QString output = QStringLiteral("results.html");
    QString csvPrefix; // empty: no CSV
};

// The command line: its options and arguments, and the report they ask for. `madeAt` is the
// time shown in the report.
cli::Tool commandLine(const QString& madeAt);

// Reads every protocol of the inputs into `results` (then finished): a folder gives its
// "*.usr" files in name order; a damaged file or a missing input is listed as skipped.
void readInputs(const QStringList& inputs, ClassResults* results);

// The whole command (arguments without the program's name); returns the exit code (0 done,
// 1 a file could not be written, 2 wrong arguments).
int runTool(const QStringList& args, const QString& madeAt, QTextStream& out, QTextStream& err);

// The report the options ask for, written; returns the exit code.
int writeReport(const Options& options, const QString& madeAt, QTextStream& out, QTextStream& err);

} // namespace results
