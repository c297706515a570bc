#include "pgbouncer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <libpq-fe.h>

namespace {

QString quotedUser(const QString& value) {
    QString v = value;
    return QLatin1Char('"') + v.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

bool write(const QString& path, const QString& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0;
}

// "name" "secret" lines of the users' SCRAM secrets on the cluster; empty when not all are there.
QStringList secrets(const PgCluster& cluster, const QStringList& users) {
    QStringList lines;
    PGconn* c = PQconnectdb(cluster.superConninfo().toUtf8().constData());
    const QByteArray names = users.join(QLatin1Char(',')).toUtf8();
    const char* values[] = {names.constData()};
    PGresult* r = PQexecParams(c,
                               "SELECT rolname, rolpassword FROM pg_authid WHERE rolname = ANY "
                               "(string_to_array($1, ',')) AND rolpassword LIKE 'SCRAM-SHA-256$%'",
                               1, nullptr, values, nullptr, nullptr, 0);
    for (int i = 0; i < PQntuples(r); ++i)
        lines << quotedUser(QString::fromUtf8(PQgetvalue(r, i, 0))) + QLatin1Char(' ') +
                     quotedUser(QString::fromUtf8(PQgetvalue(r, i, 1)));
    PQclear(r);
    PQfinish(c);
    return lines.size() == users.size() ? lines : QStringList();
}

} // namespace

PgBouncer::PgBouncer(const PgCluster& cluster, const QStringList& users, int maxClients,
                     int poolSize)
    : m_dir(QStringLiteral("/tmp/kv-pgb-XXXXXX")) {
    const QStringList list = secrets(cluster, users);
    if (list.isEmpty()) {
        m_error = QStringLiteral("no SCRAM secrets on the cluster for ") + users.join(", ");
        return;
    }
    // No listen_addr: no TCP at all, the socket in the folder only. A class connects at once:
    // the backlog takes them all.
    const QString ini =
        QStringLiteral("[databases]\n%1 = host=%2 port=%3 dbname=%1\n"
                       "[pgbouncer]\nunix_socket_dir = %4\nlisten_port = %5\n"
                       "auth_type = scram-sha-256\nauth_file = %4/users.txt\n"
                       "pool_mode = transaction\nmax_client_conn = %6\nlisten_backlog = %6\n"
                       "default_pool_size = %7\n"
                       "logfile = %4/pgbouncer.log\nlog_connections = 0\n"
                       "log_disconnections = 0\n")
            .arg(QLatin1String(PgCluster::database), cluster.socketDir())
            .arg(cluster.port())
            .arg(m_dir.path())
            .arg(port)
            .arg(maxClients)
            .arg(poolSize);
    if (!m_dir.isValid() || !write(m_dir.filePath(QStringLiteral("users.txt")), list.join('\n')) ||
        !write(m_dir.filePath(QStringLiteral("pgbouncer.ini")), ini) ||
        !cluster.adopt(m_process, m_dir.path())) {
        m_error = QStringLiteral("cannot prepare pgbouncer's folder");
        return;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/sbin/pgbouncer"),
                    {QStringLiteral("-q"), m_dir.filePath(QStringLiteral("pgbouncer.ini"))});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("pgbouncer did not start: ") + m_process.errorString();
        return;
    }
    const QByteArray ping = conninfo(users.value(0), QString()).toUtf8();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (PQping(ping.constData()) == PQPING_OK)
            return;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QThread::msleep(20);
    }
    QFile log(m_dir.filePath(QStringLiteral("pgbouncer.log")));
    log.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("pgbouncer is not ready: ") +
              QString::fromLocal8Bit(m_process.readAll()) + QString::fromLocal8Bit(log.readAll());
}

PgBouncer::~PgBouncer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString PgBouncer::conninfo(const QString& user, const QString& password) const {
    auto quoted = [](QString v) {
        v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), "\\'");
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    };
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password=%5")
        .arg(quoted(m_dir.path()), QString::number(port), QLatin1String(PgCluster::database),
             quoted(user), quoted(password));
}
