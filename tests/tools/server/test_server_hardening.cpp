// The teacher's tools and the database's roles as a hostile classroom meets them: connection
// strings that would send the password elsewhere or wait for ever, a lock someone else holds,
// a password asked at the terminal and every failed login said in Russian; the server's login
// with no room of its own on the database, and the first schema's trainee role with no login.
#include "bankfixture.h"
#include "classroom_server.h"
#include "skip.h"
#include "teachersession.h"
#include "terminal_run.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// A port on 127.0.0.1 that takes connections and never says a word: the kernel completes them
// into the backlog, and nobody accepts or reads. Also tells whether anyone came.
class SilentListener {
public:
    SilentListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_port = bound(m_fd);
        if (m_port && ::listen(m_fd, 16) != 0)
            m_port = 0;
    }
    ~SilentListener() { ::close(m_fd); }
    int port() const { return m_port; }
    bool reached() const {
        pollfd fd{m_fd, POLLIN, 0};
        return ::poll(&fd, 1, 0) > 0;
    }
    // Binds the socket to a free port of 127.0.0.1; the port, 0 on failure.
    static int bound(int fd) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            return 0;
        return ntohs(a.sin_port);
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A port of 127.0.0.1 where nothing listens.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int port = SilentListener::bound(fd);
    ::close(fd);
    return port;
}

enum Command { Publish, Init, Results, CloseSitting, Withdraw };

struct Tool {
    int code = -1;
    QString err;
    qint64 ms = 0;
};

} // namespace

Q_DECLARE_METATYPE(Command)

class TestServerHardening : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;
    QString m_bank;
    SilentListener m_silent;

    QStringList argsFor(Command command, const QString& conninfo) const {
        switch (command) {
        case Publish:
            return {QStringLiteral("publish"), m_bank, conninfo, QStringLiteral("--name"),
                    QStringLiteral("Физика 9")};
        case Init:
            return {QStringLiteral("server"), QStringLiteral("init"), conninfo};
        case Results:
            return {QStringLiteral("--server"), conninfo, QStringLiteral("-o"),
                    m_dir.filePath(QStringLiteral("report.html"))};
        case CloseSitting:
            return {QStringLiteral("sitting"), QStringLiteral("close"), QStringLiteral("9А"),
                    conninfo};
        case Withdraw:
            return {QStringLiteral("withdraw"), QStringLiteral("Физика 9"), conninfo};
        }
        return {};
    }
    static QString programFor(Command command) {
        return QString::fromUtf8(command == Results ? KV_RESULTS_TOOL : KV_BANK_TOOL);
    }
    void start(QProcess& p, Command command, const QString& conninfo,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        p.setProcessEnvironment(env);
        p.start(programFor(command), argsFor(command, conninfo));
        p.closeWriteChannel(); // no terminal: nobody to ask
    }
    static Tool finish(QProcess& p, const QElapsedTimer& clock) {
        if (!p.waitForFinished(40000))
            p.kill();
        p.waitForFinished();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardError()), clock.elapsed()};
    }
    Tool run(Command command, const QString& conninfo) {
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        start(p, command, conninfo);
        return finish(p, clock);
    }
    // The teacher's connection without a password, over the cluster's socket.
    QString teacherWithoutPassword() const {
        return QStringLiteral("host=%1 port=%2 dbname=kviront user=kviront_teacher")
            .arg(pg::quoteValue(m_server->cluster.socketDir()))
            .arg(m_server->cluster.port());
    }
    QString silent(const QString& more) const {
        return QStringLiteral("host=127.0.0.1 port=%1 dbname=kviront user=kviront_teacher "
                              "password=x %2")
            .arg(m_silent.port())
            .arg(more);
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<ClassroomServer>();
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        QVERIFY(m_silent.port() > 0);
        m_bank = fixture::makeBank(m_dir, QStringLiteral("физика.mdb"), 3);
    }

    // Refused with the key named, before anything goes anywhere: the listener sees no one.
    void connectionStringsAreCheckedBeforeAnythingIsSent_data() {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QString>("said");
        const QString port = QString::number(m_silent.port());
        const auto row = [&](const char* name, Command c, const QString& conninfo,
                             const QString& said) { QTest::newRow(name) << c << conninfo << said; };
        const QString key = QStringLiteral("ключ «%1» инструменты учителя не принимают");
        row("hostaddr", Publish, silent(QStringLiteral("hostaddr=127.0.0.1")),
            key.arg(QStringLiteral("hostaddr")));
        row("service", Init, QStringLiteral("service=kviront"), key.arg(QStringLiteral("service")));
        row("hostaddr to sitting close", CloseSitting, silent(QStringLiteral("hostaddr=127.0.0.1")),
            key.arg(QStringLiteral("hostaddr")));
        row("service to withdraw", Withdraw, QStringLiteral("service=kviront"),
            key.arg(QStringLiteral("service")));
        row("passfile", Results, silent(QStringLiteral("passfile=/tmp/p")),
            key.arg(QStringLiteral("passfile")));
        row("options", Publish, silent(QStringLiteral("options='-c work_mem=1MB'")),
            key.arg(QStringLiteral("options")));
        row("host list", Results,
            QStringLiteral("host=127.0.0.1,127.0.0.1 port=%1 dbname=kviront").arg(port),
            QStringLiteral("в ключе «host» несколько серверов (127.0.0.1,127.0.0.1)"));
        row("port list", Init, QStringLiteral("host=127.0.0.1 port=%1,%1").arg(port),
            QStringLiteral("в ключе «port» несколько серверов"));
        row("URI with a host list", Publish,
            QStringLiteral("postgresql://127.0.0.1:%1,127.0.0.1:%1/kviront").arg(port),
            QStringLiteral("в ключе «host» несколько серверов"));
        row("time that is no number", Results, silent(QStringLiteral("connect_timeout=soon")),
            QStringLiteral("значение ключа «connect_timeout» — не число секунд"));
    }
    void connectionStringsAreCheckedBeforeAnythingIsSent() {
        QFETCH(Command, command);
        QFETCH(QString, conninfo);
        QFETCH(QString, said);
        const Tool t = run(command, conninfo);
        QCOMPARE(t.code, 1);
        QVERIFY2(t.err.contains(QStringLiteral("Строка подключения к серверу класса не принята: ") +
                                said),
                 qPrintable(t.err));
        QVERIFY(!m_silent.reached());
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("report.html"))));
    }

    // A server that takes the connection and never answers is given up within the tools' own
    // limit, whatever the connection string says; all three tools at once.
    void connectingIsCappedWhateverTheStringSays() {
        struct Case {
            Command command;
            const char* timeout;
            int seconds;
        };
        const Case cases[] = {{Publish, "connect_timeout=0", 10},
                              {Results, "connect_timeout=100000", 10},
                              {Init, "connect_timeout=3", 3}};
        QProcess processes[3];
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 3; ++i)
            start(processes[i], cases[i].command, silent(QLatin1String(cases[i].timeout)));
        // Each one's own time: the three are looked at in turn until all have ended.
        qint64 ended[3] = {-1, -1, -1};
        while (clock.elapsed() < 40000 && (ended[0] < 0 || ended[1] < 0 || ended[2] < 0))
            for (int i = 0; i < 3; ++i)
                if (ended[i] < 0 && processes[i].waitForFinished(20))
                    ended[i] = clock.elapsed();
        for (int i = 0; i < 3; ++i) {
            const Tool t = finish(processes[i], clock);
            const QString said =
                QStringLiteral("Нет связи с сервером класса «127.0.0.1:%1/kviront»: сервер не "
                               "ответил за %2 с")
                    .arg(m_silent.port())
                    .arg(cases[i].seconds);
            QVERIFY2(t.code == 1 && t.err.contains(said), qPrintable(t.err));
            QVERIFY2(ended[i] >= cases[i].seconds * 1000 - 500 &&
                         ended[i] < (cases[i].seconds + 3) * 1000,
                     qPrintable(QString::number(ended[i])));
        }
    }

    // Publishing and the schema's upgrade wait for a lock only a teacher (or the owner) may
    // take, and after a bounded wait say who holds it, from where and since when.
    void aHeldLockIsNamedWhenTheWaitRunsOut_data() {
        QTest::addColumn<Command>("command");
        QTest::addColumn<bool>("superuser");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("holder");
        QTest::newRow("publish") << Publish << false << QStringLiteral("kviront.publish_lock")
                                 << QStringLiteral("kviront_teacher");
        QTest::newRow("server init") << Init << true << QStringLiteral("kviront.schema_version")
                                     << QStringLiteral("postgres");
    }
    void aHeldLockIsNamedWhenTheWaitRunsOut() {
        QFETCH(Command, command);
        QFETCH(bool, superuser);
        QFETCH(QString, table);
        QFETCH(QString, holder);
        const QString conninfo =
            superuser ? m_server->cluster.superConninfo() : m_server->teacher();
        pg::Connection other(conninfo);
        other.exec("BEGIN");
        other.exec(
            QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(table).toUtf8().constData());
        const Tool t = run(command, conninfo);
        other.rollback();
        QCOMPARE(t.code, 1);
        const QRegularExpression said(
            QStringLiteral("занят: блокировку %1 дольше 5 с держит пользователь «%2» на самом "
                           "сервере, с \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d\\. ")
                .arg(QRegularExpression::escape(table), holder));
        QVERIFY2(said.match(t.err).hasMatch(), qPrintable(t.err));
        QVERIFY2(t.ms >= 4500, qPrintable(QString::number(t.ms)));
        QCOMPARE(run(command, conninfo).code, 0); // free again
    }

    // Whatever a failed login's reason, the teacher reads it in Russian; a password the
    // server wants comes from the terminal (not shown as it is typed) or ~/.pgpass.
    void teacherLoginsSayWhyInRussian_data() {
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QByteArray>("typed"); // at a terminal; empty: no terminal at all
        QTest::addColumn<bool>("passfile");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString bare = teacherWithoutPassword();
        const QString refused = QStringLiteral("Сервер класса «%1:%2/kviront» не пустил "
                                               "пользователя «kviront_teacher»: ")
                                    .arg(m_server->cluster.socketDir())
                                    .arg(m_server->cluster.port());
        QTest::newRow("no password and nobody to ask")
            << bare << QByteArray() << false << 1
            << refused + QStringLiteral("сервер требует пароль, а он не задан");
        QTest::newRow("password typed at the terminal")
            << bare << QByteArray("teacher pw\n") << false << 0
            << QStringLiteral("Пароль пользователя «kviront_teacher» на сервере класса «");
        QTest::newRow("password from the password file")
            << bare << QByteArray() << true << 0 << QString();
        QTest::newRow("wrong password")
            << bare + QStringLiteral(" password=wrong") << QByteArray() << false << 1
            << refused + QStringLiteral("пароль не подошёл");
        QTest::newRow("nothing listens")
            << QStringLiteral("host=127.0.0.1 port=%1 dbname=kviront user=kviront_teacher")
                   .arg(closedPort())
            << QByteArray() << false << 1
            << QStringLiteral("по этому адресу сервер не принимает подключений");
        QTest::newRow("unknown host")
            << QStringLiteral("host=nosuchhost.invalid dbname=kviront user=kviront_teacher")
            << QByteArray() << false << 1
            << QStringLiteral("Нет связи с сервером класса «nosuchhost.invalid:5432/kviront»: "
                              "компьютер «nosuchhost.invalid» в сети не найден");
    }
    void teacherLoginsSayWhyInRussian() {
        QFETCH(QString, conninfo);
        QFETCH(QByteArray, typed);
        QFETCH(bool, passfile);
        QFETCH(int, code);
        QFETCH(QString, said);
        Tool t;
        if (!typed.isEmpty()) {
            const terminalrun::Result r =
                terminalrun::run(programFor(Publish), argsFor(Publish, conninfo),
                                 QByteArray("Пароль пользователя"), typed);
            t = {r.code, QString::fromUtf8(r.screen)};
            QVERIFY2(!r.screen.contains(typed.trimmed()), r.screen.constData()); // not echoed
        } else {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            const QString file = m_dir.filePath(QStringLiteral("pgpass"));
            if (passfile) {
                QFile pass(file);
                QVERIFY(pass.open(QIODevice::WriteOnly));
                pass.write("*:*:*:kviront_teacher:teacher pw\n");
                pass.close();
                QVERIFY(pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
                env.insert(QStringLiteral("PGPASSFILE"), file);
            }
            QProcess p;
            QElapsedTimer clock;
            clock.start();
            start(p, Publish, conninfo, env);
            t = finish(p, clock);
        }
        QVERIFY2(t.code == code, qPrintable(t.err));
        QVERIFY2(t.err.contains(said), qPrintable(t.err));
        QVERIFY2(!t.err.contains(QLatin1String("fe_sendauth")), qPrintable(t.err));
    }

    // The server's role keeps nothing of its own on the database: no temporary tables, no large
    // objects, and not the lock publishing takes.
    void serversRoleHasNoRoomOfItsOwn_data() {
        QTest::addColumn<QString>("sql");
        QTest::newRow("temporary table") << QStringLiteral("CREATE TEMP TABLE t (x integer)");
        QTest::newRow("lo_creat") << QStringLiteral("SELECT lo_creat(-1)");
        QTest::newRow("lo_create") << QStringLiteral("SELECT lo_create(0)");
        QTest::newRow("lo_from_bytea") << QStringLiteral("SELECT lo_from_bytea(0, '\\x01')");
        QTest::newRow("the publishing lock")
            << QStringLiteral("LOCK TABLE kviront.publish_lock IN EXCLUSIVE MODE");
    }
    void serversRoleHasNoRoomOfItsOwn() {
        QFETCH(QString, sql);
        pg::Connection daemon(m_server->daemon());
        daemon.exec("BEGIN");
        ServerError::Kind kind = ServerError::Kind::Other;
        QString message;
        try {
            daemon.exec(sql.toUtf8().constData());
        } catch (const ServerError& e) {
            kind = e.kind();
            message = e.message();
        }
        daemon.rollback();
        QVERIFY2(kind == ServerError::Kind::AccessDenied, qPrintable(message));
    }

    // Trainees reach the database only through kviront-server: the first schema's trainee role
    // is refused even with its password right.
    void theTraineeRoleLogsInNoMore() {
        QVERIFY(
            m_server->cluster.superSql(QStringLiteral("ALTER ROLE kviront_trainee PASSWORD 'x'"))
                .isEmpty());
        pg::Connection trainee(
            m_server->cluster.conninfo(QStringLiteral("kviront_trainee"), QStringLiteral("x")));
        try {
            trainee.connect();
            QFAIL("the trainee role logged in");
        } catch (const ServerError& e) {
            QCOMPARE(e.kind(), ServerError::Kind::LoginRefused);
        }
        pg::Connection teacher(m_server->teacher(), teachersession::atTerminal());
        teacher.connect();
        QVERIFY(teacher.connected());
    }
};

QTEST_GUILESS_MAIN(TestServerHardening)
#include "test_server_hardening.moc"
