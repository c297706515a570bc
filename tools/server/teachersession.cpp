#include "teachersession.h"

#include "terminal.h"

#include <QDateTime>
#include <QStringList>

namespace teachersession {
namespace {

using Kind = ServerError::Kind;

// Each session holding the table's lock: "пользователь «…» (адрес …, с …)". Empty when the
// holder is gone meanwhile, or the server cannot tell (a schema before the function).
QStringList holders(pg::Connection& c, const char* table) {
    QStringList who;
    try {
        const pg::Result r = c.exec("SELECT user_name, address, extract(epoch FROM since)::bigint "
                                    "FROM kviront.lock_holders($1::regclass)",
                                    {table});
        for (int i = 0; i < r.rows(); ++i) {
            const QString address = r.isNull(i, 1)
                                        ? QStringLiteral("на самом сервере")
                                        : QStringLiteral("с адреса %1").arg(r.text(i, 1));
            const QString since = r.isNull(i, 2)
                                      ? QStringLiteral("неизвестно когда")
                                      : QDateTime::fromSecsSinceEpoch(r.integer(i, 2))
                                            .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
            who << QStringLiteral("пользователь «%1» %2, с %3").arg(r.text(i, 0), address, since);
        }
    } catch (const ServerError&) {
    }
    return who;
}

} // namespace

pg::TeacherLogin atTerminal() {
    return {cli::askSecret};
}

void lock(pg::Connection& c, const char* table) {
    try {
        c.exec(QByteArray("LOCK TABLE ").append(table).append(" IN EXCLUSIVE MODE").constData());
    } catch (const ServerError& e) {
        if (e.kind() != Kind::Busy)
            throw;
        c.rollback();
        const QStringList who = holders(c, table);
        throw ServerError(
            Kind::Busy,
            who.isEmpty()
                ? QStringLiteral("Сервер класса «%1» занят: другой сеанс держал блокировку %2 "
                                 "дольше %3 с; попробуйте ещё раз.")
                      .arg(c.serverName(), QLatin1String(table))
                      .arg(pg::teacherLockSeconds)
                : QStringLiteral("Сервер класса «%1» занят: блокировку %2 дольше %3 с держит %4.")
                      .arg(c.serverName(), QLatin1String(table))
                      .arg(pg::teacherLockSeconds)
                      .arg(who.join(QStringLiteral("; "))));
    }
}

} // namespace teachersession
