#pragma once

#include "class_stats.h"
#include "commandline.h"
#include "results_output.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

// The command kviront-results: reads protocol files, writes the class report. Protocol files
// are only ever opened for reading.
namespace results {

struct Options {
    QStringList inputs; // folders and files
    QString output = QStringLiteral("results.html");
    QString csvPrefix; // empty: no CSV
    // Runs from the classroom server: its connection string (empty: none), only one bank's
    // runs (empty: all), only runs started on or after a day (null: all).
    QString server;
    QString bank;
    QDate since;
    QString sitting;    // only one sitting's runs (empty: all)
    QString sheets;     // a folder for an answer sheet of every run of the sitting (empty: none)
    bool report = true; // with --sheets, the report only when -o or --csv asks for it
    std::optional<classapi::Grades> grades; // in place of the sittings' own thresholds
};

// What a read of the server's runs gives beyond the runs: how the server is named in messages,
// what the report's heading says of the selection (empty: the options' bank and days), and
// the answer sheets to write.
struct ServerRead {
    QString name;
    QString selection;
    QList<OutputFile> sheets;
};

// Reads the server's runs into `results` (not finished); throws Error with the reason.
using ServerReader = std::function<ServerRead(const Options&, ClassResults*)>;

// The command line: its options and arguments, and the report they ask for. `madeAt` is the
// time shown in the report; `server` reads runs from the classroom server (--server).
cli::Tool commandLine(const QString& madeAt, const ServerReader& server = {});

// Reads every protocol of the inputs into `results` (then finished): a folder gives its
// "*.usr" files in name order; a damaged file, and an input that is missing or refused, is
// listed as skipped with the system's reason.
void readInputs(const QStringList& inputs, ClassResults* results);
// The same, and every file it read or skipped appended to `files` (as inputFiles() lists them,
// without listing the folders a second time).
void readInputs(const QStringList& inputs, ClassResults* results, QStringList* files);

// The whole command (arguments without the program's name); returns the exit code (0 done,
// 1 no protocol file could be read, an output could not be written or the server could not be
// read, 2 wrong arguments).
int runTool(const QStringList& args, const QString& madeAt, QTextStream& out, QTextStream& err,
            const ServerReader& server = {});

// The report the options ask for, written; returns the exit code.
int writeReport(const Options& options, const QString& madeAt, QTextStream& out, QTextStream& err,
                const ServerReader& server = {});

} // namespace results
