#include "class_server.h"

#include "bankfixture.h"
#include "certificate.h"
#include "config.h"
#include "https_client.h"
#include "pgconnection.h"
#include "publish.h"
#include "schema.h"
#include "serverbankfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <tuple>
#include <unistd.h>

namespace {

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

ClassServer::ClassServer() : ClassServer(Options{}) {}

ClassServer::ClassServer(const Options& options) : cluster(options.cluster), m_options(options) {
    try {
        if (!cluster.ok())
            m_error = cluster.error();
        else if (!m_dir.isValid())
            m_error = QStringLiteral("no temporary folder");
        else
            prepare();
    } catch (const std::exception& e) {
        m_error = QString::fromUtf8(e.what());
    }
}

ClassServer::~ClassServer() {
    for (int i = 0; i < servers(); ++i)
        kill(i);
}

bool ClassServer::prepare() {
    serverschema::init(cluster.superConninfo());
    m_error =
        cluster.superSql(QStringLiteral("ALTER ROLE kviront_teacher PASSWORD '%1';"
                                        "ALTER ROLE kviront PASSWORD '%2';")
                             .arg(QLatin1String(teacherPassword), QLatin1String(daemonPassword)));
    if (!m_error.isEmpty())
        return false;
    if (m_options.questions.isEmpty())
        for (int n = 1; n <= m_options.records; ++n)
            m_options.questions << fixture::question(n);
    serverpublish::Options publish;
    // Right answers kept as typed ("+2" stays "+2"), as banks made by hand keep them.
    publish.bank = fixture::makeTextBank(m_dir, QStringLiteral("bank.mdb"), m_options.questions);
    publish.conninfo = teacher();
    publish.name = m_options.bank;
    serverpublish::publish(publish);

    const kvserver::KeyAndCertificate made = kvserver::makeSelfSigned({"127.0.0.1", "localhost"});
    m_certificate = QByteArray::fromStdString(made.certificatePem);
    if (!writeBytes(certificateFile(), m_certificate) ||
        !writeBytes(m_dir.filePath(QStringLiteral("server.key")),
                    QByteArray::fromStdString(made.keyPem))) {
        m_error = QStringLiteral("cannot write the certificate");
        return false;
    }
    m_daemons.resize(std::size_t(std::max(1, m_options.servers)));
    for (int i = 0; i < servers(); ++i)
        if (!writeConfig(i, 0) || !launch(i))
            return false;
    pg::Connection(cluster.superConninfo())
        .exec("INSERT INTO kviront.server_identity (url, certificate) VALUES ($1, $2)",
              {url(0), QString::fromLatin1(m_certificate)});
    m_opened = openSitting(m_options.sitting, m_options.trainees, m_options.unnamedCodes);
    return true;
}

serversitting::Opened
ClassServer::openSitting(const QString& name, const QStringList& trainees, int unnamed,
                         const std::function<void(serversitting::OpenOptions&)>& adjust) {
    const auto file = [&](const char* suffix) {
        return m_dir.filePath(serversitting::fileNameFor(name, QLatin1String(suffix)));
    };
    const ClassServer::Options& s = m_options;
    serversitting::OpenOptions o;
    o.conninfo = teacher();
    std::tie(o.bank, o.name, o.seconds, o.separator, o.grace, o.trainees, o.count) =
        std::tie(s.bank, name, s.seconds, s.separator, s.grace, trainees, unnamed);
    std::tie(o.grades, o.showGrade, o.ownOrder, o.hideAnswers) =
        std::tie(s.grades, s.showGrade, s.ownOrder, s.hideAnswers);
    o.link = file(".mdb");
    o.slips = file(".html");
    if (adjust)
        adjust(o);
    return serversitting::open(o);
}

bool ClassServer::writeConfig(int i, int port) {
    Daemon& d = m_daemons[std::size_t(i)];
    d.config = m_dir.filePath(QStringLiteral("server-%1.conf").arg(i));
    d.log = m_dir.filePath(QStringLiteral("server-%1.log").arg(i));
    const std::string database =
        "host=" + kvserver::quoteConninfoValue(cluster.socketDir().toStdString()) +
        " port=" + std::to_string(cluster.port()) +
        " dbname=kviront user=kviront password=" + kvserver::quoteConninfoValue(daemonPassword);
    QMap<QString, QString> values{{"listen", "127.0.0.1"},
                                  {"port", QString::number(port)},
                                  {"certificate", certificateFile()},
                                  {"key", m_dir.filePath(QStringLiteral("server.key"))},
                                  {"database", QString::fromStdString(database)},
                                  {"pool", "2"},
                                  {"threads", "2"}};
    for (const QString& line : m_options.config) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        values[line.left(equals).trimmed()] = line.mid(equals + 1).trimmed();
    }
    QByteArray text;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        text += (it.key() + QStringLiteral(" = ") + it.value() + QLatin1Char('\n')).toUtf8();
    if (!writeBytes(d.config, text)) {
        m_error = QStringLiteral("cannot write ") + d.config;
        return false;
    }
    return true;
}

bool ClassServer::launch(int i) {
    Daemon& d = m_daemons[std::size_t(i)];
    d.process = std::make_unique<QProcess>();
    QProcess& p = *d.process;
    p.setStandardErrorFile(d.log, QIODevice::Append);
    const pid_t parent = ::getpid();
    p.setChildProcessModifier([parent] {
        ::syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
        if (::syscall(SYS_getppid) != parent)
            ::_exit(126);
    });
    p.start(QStringLiteral(KV_SERVER_DAEMON), {QStringLiteral("--config"), d.config});
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!out.contains('\n') && clock.elapsed() < 20000 && p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(200);
        out += p.readAllStandardOutput();
    }
    const auto failed = [&](const char* what) {
        m_error = QStringLiteral("kviront-server %1 %2: ").arg(i).arg(what) + log(i);
        return false;
    };
    if (!out.startsWith("port="))
        return failed("did not start");
    const int port = out.mid(5).trimmed().toInt();
    if (d.port == 0) {
        d.port = port;
        writeConfig(i, port); // a restart takes the same port: the bank files name it
    }
    HttpsClient health(d.port, m_certificate.toStdString());
    while (clock.elapsed() < 30000) {
        if (health.get("/api/v1/health", HttpsClient::Timeout(2000)).status == 200)
            return true;
        QThread::msleep(50);
    }
    return failed("is not healthy");
}

bool ClassServer::running(int i) const {
    const auto& p = m_daemons[std::size_t(i)].process;
    return p && p->state() != QProcess::NotRunning;
}

void ClassServer::kill(int i) {
    if (running(i))
        signal(i, SIGKILL);
    m_daemons[std::size_t(i)].process.reset();
}

bool ClassServer::start(int i) {
    m_error.clear();
    return running(i) || launch(i);
}

int ClassServer::stop(int i) {
    auto& p = m_daemons[std::size_t(i)].process;
    if (!running(i) || !signal(i, SIGTERM))
        return -1;
    const int code = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    p.reset();
    return code;
}

bool ClassServer::signal(int i, int number) {
    QProcess& p = *m_daemons[std::size_t(i)].process;
    ::kill(pid_t(p.processId()), number);
    return p.waitForFinished(30000);
}

QByteArray ClassServer::log(int i) const {
    QFile f(m_daemons[std::size_t(i)].log);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString ClassServer::bankFile(int i) const {
    if (i == 0)
        return m_opened.link;
    const QString path = m_dir.filePath(QStringLiteral("sitting-%1.mdb").arg(i));
    if (!QFile::exists(path))
        serverbank::writeSitting(path, {url(i), m_opened.name, m_certificate});
    return path;
}

QStringList ClassServer::codesNamed(bool named) const {
    QStringList out;
    for (const serversitting::Code& c : m_opened.codes)
        if (c.trainee.isEmpty() != named)
            out << c.code;
    return out;
}

QString ClassServer::teacher() const {
    return cluster.conninfo(QStringLiteral("kviront_teacher"), QLatin1String(teacherPassword));
}

QString ClassServer::superValue(const QString& sql) const {
    pg::Connection c(cluster.superConninfo());
    const pg::Result r = c.exec(sql.toUtf8().constData());
    return r.rows() > 0 ? r.text(0, 0) : QString();
}
