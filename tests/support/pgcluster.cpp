#include "pgcluster.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <csignal>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A socket path must fit in 107 bytes: a long TMPDIR is passed over for /tmp.
QString tempRoot() {
    const QString tmp = QDir::tempPath();
    return tmp.size() > 60 ? QStringLiteral("/tmp") : tmp;
}

QString quoted(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), "\\'");
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

} // namespace

PgCluster::PgCluster() : PgCluster(Options{}) {}

PgCluster::PgCluster(const Options& options) : m_dir(tempRoot() + QStringLiteral("/kv-pg-XXXXXX")) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return;
    }
    if (!initialise(options))
        return;
    if (!start())
        return;
    const QString e = superSql(QStringLiteral("CREATE DATABASE %1").arg(QLatin1String(database)),
                               QStringLiteral("postgres"));
    if (!e.isEmpty())
        m_error = QStringLiteral("CREATE DATABASE: ") + e;
}

PgCluster::~PgCluster() {
    stop();
}

QString PgCluster::binDir() {
    return QStringLiteral("/usr/lib/postgresql/15/bin");
}

QString PgCluster::socketDir() const {
    return m_dir.path();
}

QString PgCluster::conninfo(const QString& user, const QString& password, const QString& db) const {
    return QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password=%5")
        .arg(quoted(socketDir()), QString::number(m_port), quoted(db), quoted(user),
             quoted(password));
}

QString PgCluster::superConninfo(const QString& db) const {
    return conninfo(QLatin1String(superUser), QLatin1String(superPassword), db);
}

void PgCluster::configureChild(QProcess& process) const {
    process.setWorkingDirectory(m_dir.path());
    const pid_t parent = ::getpid();
    const int uid = m_uid, gid = m_gid;
    // Between fork and exec only raw system calls: the child may share the parent's memory,
    // so nothing that takes a lock or loads a library (user look-ups do both).
    process.setChildProcessModifier([uid, gid, parent] {
        if (uid >= 0) {
            const gid_t groups[] = {gid_t(gid)};
            if (::syscall(SYS_setgroups, 1, groups) != 0 ||
                ::syscall(SYS_setresgid, gid, gid, gid) != 0 ||
                ::syscall(SYS_setresuid, uid, uid, uid) != 0)
                ::_exit(126);
        }
        // After the change of user, which would clear it: the server quits with this process.
        ::syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGQUIT, 0, 0, 0);
        if (::syscall(SYS_getppid) != parent)
            ::_exit(126);
    });
}

bool PgCluster::runAsOwner(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    configureChild(p);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(binDir() + QLatin1Char('/') + program, args);
    const bool done = p.waitForFinished(120000);
    *output = QString::fromLocal8Bit(p.readAll());
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PgCluster::initialise(const Options& options) {
    for (const char* program : {"initdb", "postgres"})
        if (!QFile::exists(binDir() + QLatin1Char('/') + QLatin1String(program))) {
            m_error = QStringLiteral("PostgreSQL 15 is not installed: no %1/%2 (package "
                                     "postgresql-15)")
                          .arg(binDir(), QLatin1String(program));
            return false;
        }
    if (::geteuid() == 0) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw) {
            m_error = QStringLiteral("running as root, and there is no user postgres to run "
                                     "the server as");
            return false;
        }
        m_uid = int(pw->pw_uid);
        m_gid = int(pw->pw_gid);
        if (::chown(QFile::encodeName(m_dir.path()).constData(), m_uid, m_gid) != 0) {
            m_error = QStringLiteral("cannot hand the temporary folder to postgres");
            return false;
        }
    }
    const QString pwfile = m_dir.filePath(QStringLiteral("pw"));
    {
        QFile f(pwfile);
        if (!f.open(QIODevice::WriteOnly) || f.write(superPassword) < 0) {
            m_error = QStringLiteral("cannot write ") + pwfile;
            return false;
        }
    }
    if (m_uid >= 0 && ::chown(QFile::encodeName(pwfile).constData(), m_uid, m_gid) != 0) {
        m_error = QStringLiteral("cannot hand the password file to postgres");
        return false;
    }
    QString out;
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!runAsOwner(QStringLiteral("initdb"),
                    {QStringLiteral("-D"), data, QStringLiteral("-U"), QLatin1String(superUser),
                     QStringLiteral("--pwfile=") + pwfile, QStringLiteral("-E"),
                     QStringLiteral("UTF8"), QStringLiteral("--no-locale"),
                     QStringLiteral("--auth=scram-sha-256"), QStringLiteral("--no-sync")},
                    &out)) {
        m_error = QStringLiteral("initdb failed: ") + out;
        return false;
    }
    QFile::remove(pwfile);
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append)) {
        m_error = QStringLiteral("cannot append to postgresql.conf");
        return false;
    }
    QStringList lines{QStringLiteral("listen_addresses = ''"),
                      QStringLiteral("unix_socket_directories = ") + quoted(m_dir.path()),
                      QStringLiteral("port = %1").arg(m_port),
                      QStringLiteral("max_connections = %1").arg(options.maxConnections),
                      QStringLiteral("fsync = ") + (options.fsync ? "on" : "off"),
                      QStringLiteral("logging_collector = off"),
                      QStringLiteral("log_min_messages = fatal")};
    lines += options.settings;
    conf.write(("\n" + lines.join(QLatin1Char('\n')) + "\n").toUtf8());
    return true;
}

bool PgCluster::start() {
    if (m_server)
        return true;
    m_server = std::make_unique<QProcess>();
    configureChild(*m_server);
    m_server->setStandardOutputFile(m_dir.filePath(QStringLiteral("server.log")));
    m_server->setStandardErrorFile(m_dir.filePath(QStringLiteral("server.log")), QIODevice::Append);
    m_server->start(binDir() + QStringLiteral("/postgres"),
                    {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data"))});
    if (!m_server->waitForStarted(30000)) {
        m_error = QStringLiteral("postgres did not start: ") + m_server->errorString();
        m_server.reset();
        return false;
    }
    const QByteArray info = superConninfo(QStringLiteral("postgres")).toUtf8();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        if (PQping(info.constData()) == PQPING_OK)
            return true;
        if (m_server->state() == QProcess::NotRunning)
            break;
        QThread::msleep(20);
    }
    QFile log(m_dir.filePath(QStringLiteral("server.log")));
    log.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("postgres is not ready: ") + QString::fromLocal8Bit(log.readAll());
    stop();
    return false;
}

void PgCluster::stop() {
    if (!m_server)
        return;
    if (m_server->state() != QProcess::NotRunning) {
        ::kill(pid_t(m_server->processId()), SIGINT); // fast shutdown
        if (!m_server->waitForFinished(60000)) {
            ::kill(pid_t(m_server->processId()), SIGQUIT);
            if (!m_server->waitForFinished(10000))
                m_server->kill();
            m_server->waitForFinished(10000);
        }
    }
    m_server.reset();
}

QString PgCluster::superSql(const QString& sql, const QString& db) const {
    PGconn* c = PQconnectdb(superConninfo(db).toUtf8().constData());
    QString error;
    if (PQstatus(c) != CONNECTION_OK) {
        error = QString::fromUtf8(PQerrorMessage(c));
    } else {
        PGresult* r = PQexec(c, sql.toUtf8().constData());
        const ExecStatusType s = PQresultStatus(r);
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
            error = QString::fromUtf8(PQresultErrorMessage(r));
        PQclear(r);
    }
    PQfinish(c);
    return error;
}

int PgCluster::runClient(const QString& program, const QStringList& args, QByteArray* output,
                         int timeoutMs) const {
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), QLatin1String(superPassword));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(binDir() + QLatin1Char('/') + program, args);
    const bool done = p.waitForFinished(timeoutMs);
    if (output)
        *output = p.readAll();
    if (!done) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
