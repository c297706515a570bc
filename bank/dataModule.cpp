#include "dataModule.h"

#include "error.h"

#include <QSqlDatabase>

TDataModule1* DataModule1 = nullptr;

TDataModule1::TDataModule1(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("DataModule1"));
    // The database access objects must exist before the message loop runs.
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        throw DatabaseError(QStringLiteral("Драйвер базы данных SQLite (QSQLITE) не найден"));
}
