// The engine's failures in the program's own words: SQLite's messages are English, and a
// user who meets "attempt to write a readonly database" learns nothing about what to mend.
#include "sqlite.h"

#include "textfile.h"

#include <cerrno>
#include <sqlite3.h>

namespace sqlite {
namespace {

// What SQLite names after the colon: the field of a constraint, the table of "no such table".
QString subject(const QString& message) {
    const qsizetype colon = message.lastIndexOf(QLatin1String(": "));
    return colon < 0 ? message : message.mid(colon + 2);
}

QString withSystemReason(const QString& text, int error) {
    return error == 0 ? text : QStringLiteral("%1 (%2)").arg(text, textfile::systemReason(error));
}

QString constraintReason(int code, const QString& message) {
    switch (code) {
    case SQLITE_CONSTRAINT_NOTNULL:
        return QStringLiteral("поле %1 не может быть пустым").arg(subject(message));
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return QStringLiteral("значение поля %1 уже есть у другой записи").arg(subject(message));
    case SQLITE_CONSTRAINT_CHECK:
        return QStringLiteral("значение не проходит проверку, заданную в банке (%1)")
            .arg(subject(message));
    case SQLITE_CONSTRAINT_DATATYPE:
        return QStringLiteral("значение не того типа для поля %1").arg(subject(message));
    case SQLITE_CONSTRAINT_TRIGGER: // the bank's own words, from its trigger
        return QStringLiteral("запрещено триггером банка: %1").arg(message);
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return QStringLiteral("нарушена ссылка на другую таблицу");
    default:
        return QStringLiteral("нарушено ограничение таблицы: %1").arg(message);
    }
}

QString generalError(const QString& message) {
    if (message.startsWith(QLatin1String("no such table: ")))
        return QStringLiteral("нет таблицы %1").arg(subject(message));
    if (message.startsWith(QLatin1String("no such column: ")))
        return QStringLiteral("нет поля %1").arg(subject(message));
    return QStringLiteral("ошибка базы данных: %1").arg(message);
}

} // namespace

QString reason(int code, int systemError, const QString& message) {
    switch (code & 0xff) {
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return textfile::systemReason(EACCES);
    case SQLITE_READONLY:
        if (code == SQLITE_READONLY_DIRECTORY || code == SQLITE_READONLY_CANTINIT)
            return withSystemReason(QStringLiteral("в папку банка нельзя записывать, а без "
                                                   "этого банк не изменить"),
                                    systemError);
        if (code == SQLITE_READONLY_DBMOVED)
            return QStringLiteral("файл банка переместили или удалили, пока он был открыт");
        return withSystemReason(QStringLiteral("банк доступен только для чтения"), systemError);
    case SQLITE_BUSY:
        return QStringLiteral("банк занят: его держит другая программа");
    case SQLITE_LOCKED:
        return QStringLiteral("таблица занята другим действием программы");
    case SQLITE_NOMEM:
        return textfile::systemReason(ENOMEM);
    case SQLITE_IOERR:
        return systemError != 0 ? textfile::systemReason(systemError) : textfile::systemReason(EIO);
    case SQLITE_FULL:
        return textfile::systemReason(ENOSPC);
    case SQLITE_CANTOPEN:
        return withSystemReason(QStringLiteral("файл не открывается"), systemError);
    case SQLITE_CORRUPT:
        return QStringLiteral("файл банка повреждён");
    case SQLITE_NOTADB:
        return QStringLiteral("файл не является базой данных SQLite");
    case SQLITE_PROTOCOL:
        return QStringLiteral("сбой блокировки файла банка");
    case SQLITE_SCHEMA:
        return QStringLiteral("структура банка изменилась во время работы");
    case SQLITE_TOOBIG:
        return QStringLiteral("текст или рисунок слишком велик для банка");
    case SQLITE_CONSTRAINT:
        return constraintReason(code, message);
    case SQLITE_MISMATCH:
        return QStringLiteral("значение не того типа: %1").arg(message);
    case SQLITE_INTERRUPT:
        return QStringLiteral("действие прервано");
    case SQLITE_ERROR:
        return generalError(message);
    default:
        return QStringLiteral("внутренняя ошибка базы данных: %1").arg(message);
    }
}

QString lastError(sqlite3* db) {
    return reason(sqlite3_extended_errcode(db), sqlite3_system_errno(db),
                  QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace sqlite
