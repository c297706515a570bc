#pragma once

#include <QString>
#include <QStringList>

// Publishing a bank on the classroom server: its records in table order become a new,
// immutable version of the named bank; an unchanged bank makes no new version.
namespace serverpublish {

struct Options {
    QString bank;     // a bank file of the program's own or of the old (Jet) format
    QString conninfo; // the teacher's connection
    QString name;     // the bank's name on the server
};

struct Result {
    int version = 0;
    int records = 0;
    bool unchanged = false; // the newest version already holds exactly these records
};

// Throws Error (ServerError for the server's part) naming the bank, file or server. Nothing is
// stored unless the whole version is.
Result publish(const Options& options);

} // namespace serverpublish
