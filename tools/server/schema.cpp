#include "schema.h"

#include "teachersession.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace serverschema {
namespace {

using Kind = ServerError::Kind;

QList<Migration> load() {
    QList<Migration> list;
    const QDir dir(QStringLiteral(":/kviront/migrations"));
    static const QRegularExpression pattern(QStringLiteral("^(\\d{3})_[a-z0-9_]+\\.sql$"));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        QFile file(dir.filePath(name));
        file.open(QIODevice::ReadOnly);
        list.append({m.captured(1).toInt(), name, file.readAll()});
    }
    return list;
}

} // namespace

const QList<Migration>& migrations() {
    static const QList<Migration> list = load();
    return list;
}

int latestVersion() {
    return migrations().isEmpty() ? 0 : migrations().last().number;
}

int versionOf(pg::Connection& c) {
    const pg::Result exists = c.exec("SELECT to_regclass('kviront.schema_version') IS NOT NULL");
    if (!exists.flag(0, 0))
        return 0;
    const pg::Result r = c.exec("SELECT coalesce(max(version), 0) FROM kviront.schema_version");
    return int(r.integer(0, 0));
}

void requireCurrent(pg::Connection& c) {
    const int version = versionOf(c);
    if (version == 0)
        throw ServerError(Kind::SchemaMissing,
                          QStringLiteral("На сервере класса «%1» нет схемы kviront: выполните "
                                         "«kviront-bank server init».")
                              .arg(c.serverName()));
    if (version < latestVersion())
        throw ServerError(Kind::SchemaMissing,
                          QStringLiteral("Схема базы на сервере класса «%1» старее этой программы "
                                         "(версия %2, нужна %3): выполните «kviront-bank server "
                                         "init».")
                              .arg(c.serverName())
                              .arg(version)
                              .arg(latestVersion()));
    if (version > latestVersion())
        throw ServerError(Kind::SchemaTooNew,
                          QStringLiteral("Схема базы на сервере класса «%1» новее этой программы "
                                         "(версия %2, программа знает до %3): обновите "
                                         "программу.")
                              .arg(c.serverName())
                              .arg(version)
                              .arg(latestVersion()));
}

InitResult init(const QString& conninfo) {
    pg::Connection c(conninfo, teachersession::atTerminal());
    c.connect();
    if (!c.exec("SELECT current_setting('is_superuser') = 'on'").flag(0, 0))
        throw ServerError(Kind::AccessDenied,
                          QStringLiteral("Схему на сервере класса «%1» создаёт суперпользователь "
                                         "(например, postgres): пользователь «%2» им не является.")
                              .arg(c.serverName(), c.user()));
    InitResult result;
    QString current; // the migration being applied, for the message
    c.exec("BEGIN");
    try {
        // One init at a time: the version table, which only its owner and a superuser may
        // lock so (there is none before the first init).
        if (c.exec("SELECT to_regclass('kviront.schema_version') IS NOT NULL").flag(0, 0))
            teachersession::lock(c, "kviront.schema_version");
        result.from = versionOf(c);
        result.to = result.from;
        if (result.from > latestVersion())
            requireCurrent(c); // says the schema is newer
        for (const Migration& m : migrations()) {
            if (m.number <= result.from)
                continue;
            current = m.name;
            c.execScript(m.sql);
            c.exec("INSERT INTO kviront.schema_version (version, name) VALUES ($1, $2)",
                   {m.number, m.name});
            result.applied << m.name;
            result.to = m.number;
        }
        c.exec("COMMIT");
    } catch (const ServerError& e) {
        c.rollback();
        const QString where =
            current.isEmpty() ? QString() : QStringLiteral(" (при выполнении %1)").arg(current);
        throw ServerError(e.kind(), e.message() + where + QStringLiteral(" Схема не изменена."));
    }
    return result;
}

} // namespace serverschema
