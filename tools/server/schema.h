#pragma once

#include "pgconnection.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The classroom server's schema: numbered migration files built into the tool, applied in one
// transaction and recorded in kviront.schema_version, so that an installed tool needs no
// source folder and a second run changes nothing.
namespace serverschema {

struct Migration {
    int number = 0;
    QString name; // the file name, "001_schema.sql"
    QByteArray sql;
};

// Every migration, in order of number.
const QList<Migration>& migrations();
int latestVersion();

struct InitResult {
    int from = 0; // the version found (0: no schema)
    int to = 0;
    QStringList applied; // names of the files applied
};

// Creates or upgrades the schema; run by a superuser (it creates roles). Nothing changes on
// any failure. Throws ServerError (SchemaTooNew for a schema newer than this tool) or Error.
InitResult init(const QString& conninfo);

// The version of the schema on the server: 0 when there is none.
int versionOf(pg::Connection& connection);
// Throws ServerError (SchemaMissing or SchemaTooNew) unless the server's schema is the one
// this tool knows.
void requireCurrent(pg::Connection& connection);

} // namespace serverschema
