#pragma once

#include "pgconnection.h"
#include "results_output.h"

#include <QList>
#include <QString>

// The answer sheet of every run of a sitting, as kviront-results --sheets writes them: one
// printable page per run, named by the trainee's place on the class list and name, inside the
// folder asked for and never outside it.
namespace serversheets {

// Reads the sheets within the caller's transaction. Throws ServerError.
QList<results::OutputFile> read(pg::Connection& c, const QString& sitting, const QString& folder);

// "07 — Иванов Иван.html": a name of the folder's own, whatever the trainee's name holds.
QString fileName(int position, const QString& trainee);

} // namespace serversheets
