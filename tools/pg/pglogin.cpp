// Connecting to the classroom server: the program's way, and the teacher's tools' way with
// their checked connection string, their own time limit and the password from the terminal.
#include "pgconnection.h"

#include "pgdetail.h"

#include <QStringList>
#include <cerrno>
#include <libpq-fe.h>
#include <poll.h>

namespace pg {
namespace {

using namespace detail;
using Kind = ServerError::Kind;

const QStringList teacherKeys{QStringLiteral("host"),        QStringLiteral("port"),
                              QStringLiteral("dbname"),      QStringLiteral("user"),
                              QStringLiteral("password"),    QStringLiteral("sslmode"),
                              QStringLiteral("sslrootcert"), QStringLiteral("connect_timeout")};

[[noreturn]] void refuseConninfo(const QString& why) {
    throw ServerError(
        Kind::Refused,
        QStringLiteral("Строка подключения к серверу класса не принята: %1.").arg(why));
}

// Waits until the socket is ready for what the login asked; false when the deadline passed.
bool waitFor(pg_conn* conn, PostgresPollingStatusType what, qint64 deadline) {
    pollfd fd{PQsocket(conn), short(what == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    for (;;) {
        const qint64 left = deadline - monotonicMs();
        if (left <= 0)
            return false;
        const int n = ::poll(&fd, 1, int(left));
        if (n != 0 && !(n < 0 && errno == EINTR))
            return true; // ready, or broken: the next poll of the login tells
    }
}

} // namespace

int checkTeacherConninfo(const QString& conninfo) {
    const Options o = parsed(conninfo);
    if (!o.ok)
        throw ServerError(
            Kind::Other,
            QStringLiteral("Строка подключения к серверу класса не читается: %1").arg(o.reason));
    QStringList keys = o.values.keys();
    keys.sort();
    for (const QString& key : keys)
        if (!teacherKeys.contains(key))
            refuseConninfo(QStringLiteral("ключ «%1» инструменты учителя не принимают (можно: %2)")
                               .arg(key, teacherKeys.join(QStringLiteral(", "))));
    for (const char* key : {"host", "port"}) {
        const QString value = o.values.value(QLatin1String(key));
        if (value.contains(QLatin1Char(',')))
            refuseConninfo(QStringLiteral("в ключе «%1» несколько серверов (%2), а подключаться "
                                          "можно только к одному")
                               .arg(QLatin1String(key), value));
    }
    if (!o.values.contains(QStringLiteral("connect_timeout")))
        return teacherConnectSeconds;
    bool number = false;
    const int seconds = o.values.value(QStringLiteral("connect_timeout")).trimmed().toInt(&number);
    if (!number)
        refuseConninfo(QStringLiteral("значение ключа «connect_timeout» — не число секунд"));
    // libpq takes less than 2 s as 2; none or more than ours as ours.
    return seconds <= 0 || seconds > teacherConnectSeconds ? teacherConnectSeconds
                                                           : qMax(2, seconds);
}

void Connection::connect() {
    if (connected())
        return;
    disconnect();
    const RussianMessages russian;
    if (m_teacher)
        connectAsTeacher();
    else
        connectAsProgram();
    m_serverName = nameOf(QString::fromUtf8(PQhost(m_conn)), QString::fromUtf8(PQport(m_conn)),
                          QString::fromUtf8(PQdb(m_conn)));
    m_user = QString::fromUtf8(PQuser(m_conn));
}

void Connection::connectAsProgram() {
    QString reason;
    if (!parseConninfo(QString::fromUtf8(m_conninfo), &reason))
        throw ServerError(
            Kind::Other,
            QStringLiteral("Строка подключения к серверу класса не читается: %1").arg(reason));
    // The connection string's own values win over ours, but for the encoding. With a call
    // timeout, the connecting is bounded alike (libpq counts whole seconds, at least 2), and on
    // TCP a peer that vanished is noticed within seconds rather than when TCP gives up.
    const QByteArray connectSeconds =
        QByteArray::number(m_callTimeoutMs > 0 ? qMax(2, (m_callTimeoutMs + 999) / 1000) : 10);
    const QByteArray userTimeout = QByteArray::number(m_callTimeoutMs > 0 ? m_callTimeoutMs : 0);
    const char* keys[] = {"connect_timeout",     "application_name",
                          "keepalives",          "keepalives_idle",
                          "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout",    "dbname",
                          "client_encoding",     nullptr};
    const char* values[] = {
        connectSeconds.constData(), "kviront", "1",    "5", "2", "3", userTimeout.constData(),
        m_conninfo.constData(),     "UTF8",    nullptr};
    QString why;
    // A server that answers a ping is there: then it was the login that failed, unless the
    // server was only starting up or shutting down at the first try (it then refuses logins
    // with a word of its own, and pings well a moment later): one more try tells.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const qint64 started = monotonicMs();
        m_conn = PQconnectdbParams(keys, values, 1);
        if (PQstatus(m_conn) == CONNECTION_OK)
            return;
        why = m_conn ? trimmed(PQerrorMessage(m_conn)) : QStringLiteral("нехватка памяти");
        disconnect();
        // A connect that ran out of time found no server: a ping would only wait as long again.
        const bool timedOut = monotonicMs() - started >= connectSeconds.toInt() * 1000 - 100;
        if (timedOut || PQpingParams(keys, values, 1) != PQPING_OK)
            throw ServerError(
                Kind::Unreachable,
                QStringLiteral("Нет связи с сервером класса «%1»: %2").arg(m_serverName, why));
    }
    throw ServerError(Kind::LoginRefused,
                      QStringLiteral("Сервер класса «%1» не пустил пользователя «%2»: %3")
                          .arg(m_serverName, m_user, why));
}

void Connection::connectAsTeacher() {
    // Refused before anything is sent anywhere.
    const int seconds = checkTeacherConninfo(QString::fromUtf8(m_conninfo));
    QByteArray password;
    for (;;) {
        QString timedOut;
        pg_conn* conn = tryTeacherLogin(seconds, password, &timedOut);
        if (PQstatus(conn) == CONNECTION_OK) {
            m_conn = conn;
            return;
        }
        if (!timedOut.isEmpty()) {
            PQfinish(conn);
            throw ServerError(
                Kind::Unreachable,
                QStringLiteral("Нет связи с сервером класса «%1»: %2").arg(m_serverName, timedOut));
        }
        // As psql does: the password is asked once, when the server wants one and none came
        // with the connection string or from ~/.pgpass.
        if (password.isEmpty() && PQconnectionNeedsPassword(conn) && m_teacher->askPassword) {
            const std::optional<QByteArray> typed = m_teacher->askPassword(
                QStringLiteral("Пароль пользователя «%1» на сервере класса «%2»: ")
                    .arg(QString::fromUtf8(PQuser(conn)), m_serverName));
            if (typed && !typed->isEmpty()) {
                PQfinish(conn);
                password = *typed;
                continue;
            }
        }
        refusedLogin(conn);
    }
}

pg_conn* Connection::tryTeacherLogin(int seconds, const QByteArray& password, QString* timedOut) {
    // Ours after the connection string's values, so that they win: the time, a bounded wait
    // for locks, and the password typed at the terminal.
    const QByteArray limit = QByteArray::number(seconds);
    const QByteArray lockWait = "-c lock_timeout=" + QByteArray::number(teacherLockSeconds * 1000);
    QVector<const char*> keys{"application_name",    "keepalives",       "keepalives_idle",
                              "keepalives_interval", "keepalives_count", "dbname",
                              "connect_timeout",     "client_encoding",  "options"};
    QVector<const char*> values{
        "kviront",           "1", "5", "2", "3", m_conninfo.constData(), limit.constData(), "UTF8",
        lockWait.constData()};
    if (!password.isEmpty()) {
        keys << "password";
        values << password.constData();
    }
    keys << nullptr;
    values << nullptr;
    // libpq's own timeout counts each address anew and is not kept by an asynchronous login:
    // the deadline here counts them all.
    const qint64 deadline = monotonicMs() + seconds * 1000LL;
    pg_conn* conn = PQconnectStartParams(keys.constData(), values.constData(), 1);
    if (!conn)
        throw ServerError(Kind::Unreachable, QStringLiteral("Нет памяти для подключения к "
                                                            "серверу класса «%1»")
                                                 .arg(m_serverName));
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE); // a server's refusal then carries its code
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    while (PQstatus(conn) != CONNECTION_BAD && status != PGRES_POLLING_OK &&
           status != PGRES_POLLING_FAILED) {
        if (!waitFor(conn, status, deadline)) {
            *timedOut = QStringLiteral("сервер не ответил за %1 с").arg(seconds);
            break;
        }
        status = PQconnectPoll(conn);
    }
    if (status == PGRES_POLLING_OK)
        PQsetErrorVerbosity(conn, PQERRORS_DEFAULT);
    return conn;
}

void Connection::refusedLogin(pg_conn* conn) {
    const LoginFailure failure = loginFailure(conn);
    const QString user = QString::fromUtf8(PQuser(conn));
    PQfinish(conn);
    if (failure.kind == Kind::Unreachable)
        throw ServerError(failure.kind, QStringLiteral("Нет связи с сервером класса «%1»: %2")
                                            .arg(m_serverName, failure.reason));
    throw ServerError(failure.kind, QStringLiteral("Сервер класса «%1» не пустил пользователя "
                                                   "«%2»: %3")
                                        .arg(m_serverName, user, failure.reason));
}

} // namespace pg
