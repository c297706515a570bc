#include "sqlite.h"

#include "error.h"

#include <sqlite3.h>

namespace sqlite {

Statement::Statement(sqlite3* db, const QString& sql) {
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK) {
        const QString reason = lastError(db);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw DatabaseError(reason);
    }
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_stmt = other.m_stmt;
        other.m_stmt = nullptr;
    }
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString reason = lastError(sqlite3_db_handle(m_stmt));
    sqlite3_reset(m_stmt);
    throw DatabaseError(reason);
}

void Statement::reset() {
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

void checkEngine() {
    // The defensive settings the engine asks for came with 3.31, the table list with 3.37.
    constexpr int oldestVersion = 3037000;
    const int started = sqlite3_initialize();
    if (started != SQLITE_OK)
        throw DatabaseError(QStringLiteral("Библиотека базы данных SQLite не запускается: %1")
                                .arg(QString::fromUtf8(sqlite3_errstr(started))));
    if (sqlite3_libversion_number() < oldestVersion)
        throw DatabaseError(QStringLiteral("Библиотека базы данных SQLite %1 слишком стара: "
                                           "нужна версия 3.37 или новее")
                                .arg(QString::fromUtf8(sqlite3_libversion())));
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr);
    QString reason;
    if (rc != SQLITE_OK)
        reason = db ? lastError(db) : sqlite::reason(rc, 0, QString::fromUtf8(sqlite3_errstr(rc)));
    else if (sqlite3_exec(db, "SELECT 1", nullptr, nullptr, nullptr) != SQLITE_OK)
        reason = lastError(db);
    sqlite3_close_v2(db);
    if (!reason.isEmpty())
        throw DatabaseError(
            QStringLiteral("Библиотека базы данных SQLite не работает: %1").arg(reason));
}

void exec(sqlite3* db, const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        sqlite3_free(message); // the same text as the connection's last error, worded below
        throw DatabaseError(lastError(db));
    }
}

QString quoted(const QString& name) {
    QString text = name;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void bind(sqlite3_stmt* stmt, int at, const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::LongLong:
        sqlite3_bind_int64(stmt, at, value.toLongLong());
        break;
    case QMetaType::Double:
        sqlite3_bind_double(stmt, at, value.toDouble());
        break;
    case QMetaType::QString: {
        const QByteArray text = value.toString().toUtf8();
        sqlite3_bind_text(stmt, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(stmt, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default:
        sqlite3_bind_null(stmt, at);
    }
}

} // namespace sqlite
