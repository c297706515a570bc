#pragma once

#include "serverbankfile.h"

#include <QString>
#include <QStringList>

// Publishing a bank on the classroom server: its records in table order become a new,
// immutable version of the named bank; an unchanged bank makes no new version.
namespace serverpublish {

struct Options {
    QString bank;     // a bank file of the program's own or of the old (Jet) format
    QString conninfo; // the teacher's connection
    QString name;     // the bank's name on the server
    QString link;     // where to write the server bank file; empty: none
    // The trainee role's connection string for the link; empty: the teacher's server and
    // database with user kviront_trainee (and KVIRONT_TRAINEE_PASSWORD, when set).
    QString traineeConninfo;
};

struct Result {
    int version = 0;
    int records = 0;
    bool unchanged = false; // the newest version already holds exactly these records
};

// Throws Error (ServerError for the server's part) naming the bank, file or server. Nothing is
// stored unless the whole version is.
Result publish(const Options& options);

// The trainee conninfo a link gets when none is given (see Options::traineeConninfo).
QString traineeConninfoFor(const QString& teacherConninfo, const QString& password);

// Writes the server bank file for `link` after proving that the trainee role can log in with
// it and call the trainee functions. Throws Error.
void writeCheckedLink(const QString& path, const serverbank::BankLink& link);

} // namespace serverpublish
