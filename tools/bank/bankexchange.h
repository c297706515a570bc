#pragma once

#include "question.h"

#include <QString>
#include <QStringList>
#include <functional>

// The bank tool's exchange commands: import from another system's file, export to one, and
// check a bank. Each returns the tool's exit code and leaves its report in `out` / `err`.
namespace bankexchange {

enum class Format { Guess, MoodleXml, Gift, Aiken, Csv };

// "moodle", "xml", "gift", "aiken", "csv"; Guess for anything else.
Format formatNamed(const QString& name);

struct Report {
    QStringList out;
    QStringList err;
};

struct ImportOptions {
    QString source;
    QString bank;
    Format format = Format::Guess;
    bool skipBad = false; // import the rest when some questions are refused
    bool dryRun = false;  // report only
};

// 0: the bank was written (or would be); 1: nothing written.
int importBank(const ImportOptions& options, Report& report);

// Moodle XML (".xml") or CSV (".csv", pictures beside it as .bmp files). 0 when written.
int exportBank(const QString& bank, const QString& target, Format format, bool skipBad,
               Report& report);

// 0 when no record would misbehave in a test, 1 otherwise.
int checkBank(const QString& bank, Report& report);

// Walks a bank's records (of any kind the program opens) as the program reads them: texts in
// their text form as stored, `line` the record number. Throws Error.
void readBank(const QString& path, const std::function<void(const exchange::Question&)>& visit);

} // namespace bankexchange
