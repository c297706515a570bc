// The teacher's tools as a hostile classroom meets them: connection strings that would send the
// password elsewhere or wait for ever, a lock someone else holds, a password asked at the
// terminal and every failed login said in Russian.
#include "bankfixture.h"
#include "file_bytes.h"
#include "server_test.h"
#include "terminal_run.h"
#include "tool_run.h"

#include <QRegularExpression>
#include <QTest>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// A free port of 127.0.0.1, listening or not. A listening one never says a word: the kernel
// completes connections into the backlog, and nobody accepts or reads; it tells whether anyone
// came.
struct Port {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), number = 0;
    explicit Port(bool listening) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), length) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0 &&
            (!listening || ::listen(fd, 16) == 0))
            number = ntohs(a.sin_port);
    }
    ~Port() { ::close(fd); }
    bool reached() const {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }
};

enum Command { Publish, Init, Results, CloseSitting, Withdraw };

} // namespace

Q_DECLARE_METATYPE(Command)

class TestServerHardening : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;
    QString m_bank;
    Port m_silent{true};

    QStringList argsFor(Command command, const QString& conninfo) const {
        switch (command) {
        case Publish:
            return {"publish", m_bank, conninfo, "--name", "Физика 9"};
        case Init:
            return {"server", "init", conninfo};
        case Results:
            return {"--server", conninfo, "-o", m_dir.filePath("report.html")};
        case CloseSitting:
            return {"sitting", "close", "9А", conninfo};
        case Withdraw:
            return {"withdraw", "Физика 9", conninfo};
        }
        return {};
    }
    static QString programFor(Command command) {
        return QString::fromUtf8(command == Results ? KV_RESULTS_TOOL : KV_BANK_TOOL);
    }
    toolrun::Result run(Command command, const QString& conninfo) {
        return toolrun::run(programFor(command), argsFor(command, conninfo));
    }
    QString silent(const QString& more) const {
        return QStringLiteral("host=127.0.0.1 port=%1 dbname=kviront user=kviront_teacher "
                              "password=x %2")
            .arg(m_silent.number)
            .arg(more);
    }

private slots:
    void initTestCase() {
        KV_START_SERVER(m_server);
        QVERIFY(m_silent.number > 0);
        m_bank = fixture::makeBank(m_dir, "физика.mdb", 3);
    }

    // Every teacher's login: a connection string that would send the password elsewhere is
    // refused with the key named, before anything goes anywhere (the listener sees no one), by
    // every command; whatever a failed login's reason, the teacher reads it in Russian; a
    // password the server wants comes from the terminal (not shown as typed) or ~/.pgpass.
    void teacherLoginsAreCheckedAndSayWhyInRussian_data() {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        const QString port = QString::number(m_silent.number);
        const QString hostaddr = silent("hostaddr=127.0.0.1"), service = "service=kviront";
        const QString notTaken = "Строка подключения к серверу класса не принята: ";
        const auto key = [&](const char* name) {
            return notTaken +
                   QStringLiteral("ключ «%1» инструменты учителя не принимают").arg(name);
        };
        QTest::newRow("hostaddr") << Publish << hostaddr << 1 << key("hostaddr");
        QTest::newRow("service") << Init << service << 1 << key("service");
        QTest::newRow("hostaddr to sitting close")
            << CloseSitting << hostaddr << 1 << key("hostaddr");
        QTest::newRow("service to withdraw") << Withdraw << service << 1 << key("service");
        QTest::newRow("passfile") << Results << silent("passfile=/tmp/p") << 1 << key("passfile");
        QTest::newRow("options") << Publish << silent("options='-c work_mem=1MB'") << 1
                                 << key("options");
        QTest::newRow("host list")
            << Results
            << QStringLiteral("host=127.0.0.1,127.0.0.1 port=%1 dbname=kviront").arg(port) << 1
            << notTaken + "в ключе «host» несколько серверов (127.0.0.1,127.0.0.1)";
        QTest::newRow("port list") << Init << QStringLiteral("host=127.0.0.1 port=%1,%1").arg(port)
                                   << 1 << notTaken + "в ключе «port» несколько серверов";
        QTest::newRow("URI with a host list")
            << Publish << QStringLiteral("postgresql://127.0.0.1:%1,127.0.0.1:%1/kviront").arg(port)
            << 1 << notTaken + "в ключе «host» несколько серверов";
        QTest::newRow("time that is no number")
            << Results << silent("connect_timeout=soon") << 1
            << notTaken + "значение ключа «connect_timeout» — не число секунд";
        // The teacher's connection without a password, over the cluster's socket.
        const QString bare = QStringLiteral("host=%1 port=%2 dbname=kviront user=kviront_teacher")
                                 .arg(pg::quoteValue(m_server->cluster.socketDir()))
                                 .arg(m_server->cluster.port());
        const QString refused = QStringLiteral("Сервер класса «%1:%2/kviront» не пустил "
                                               "пользователя «kviront_teacher»: ")
                                    .arg(m_server->cluster.socketDir())
                                    .arg(m_server->cluster.port());
        QTest::newRow("no password and nobody to ask")
            << Publish << bare << 1 << refused + "сервер требует пароль, а он не задан";
        QTest::newRow("password typed at the terminal")
            << Publish << bare << 0 << "Пароль пользователя «kviront_teacher» на сервере класса «";
        QTest::newRow("password from the password file") << Publish << bare << 0 << QString();
        QTest::newRow("wrong password")
            << Publish << bare + " password=wrong" << 1 << refused + "пароль не подошёл";
        QTest::newRow("nothing listens")
            << Publish
            << QStringLiteral("host=127.0.0.1 port=%1 dbname=kviront user=kviront_teacher")
                   .arg(Port(false).number)
            << 1 << "по этому адресу сервер не принимает подключений";
        QTest::newRow("unknown host")
            << Publish << "host=nosuchhost.invalid dbname=kviront user=kviront_teacher" << 1
            << "Нет связи с сервером класса «nosuchhost.invalid:5432/kviront»: компьютер "
               "«nosuchhost.invalid» в сети не найден";
    }
    void teacherLoginsAreCheckedAndSayWhyInRussian() {
        QFETCH(Command, command);
        QFETCH(QString, conninfo);
        QFETCH(int, code);
        QFETCH(QString, said);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        toolrun::Result t;
        if (tag == "password typed at the terminal") {
            const terminalrun::Result r =
                terminalrun::run(programFor(command), argsFor(command, conninfo),
                                 QByteArray("Пароль пользователя"), "teacher pw\n");
            t = {r.code, QString(), QString::fromUtf8(r.screen)};
            QVERIFY2(!r.screen.contains("teacher pw"), r.screen.constData()); // not echoed
        } else {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (tag == "password from the password file") {
                const QString file = m_dir.filePath("pgpass");
                writeFile(file, "*:*:*:kviront_teacher:teacher pw\n");
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
                env.insert("PGPASSFILE", file);
            }
            t = toolrun::run(programFor(command), argsFor(command, conninfo), QString(), env);
        }
        QVERIFY2(t.code == code, qPrintable(t.err));
        QVERIFY2(t.err.contains(said), qPrintable(t.err));
        QVERIFY2(!t.err.contains(QLatin1String("fe_sendauth")), qPrintable(t.err));
        QVERIFY(!m_silent.reached());
        QVERIFY(!QFile::exists(m_dir.filePath("report.html")));
    }

    // A server that takes the connection and never answers is given up within the tools' own
    // limit, whatever the connection string says; all three tools at once.
    void connectingIsCappedWhateverTheStringSays() {
        const struct {
            Command command;
            const char* timeout;
            int seconds;
        } cases[] = {{Publish, "connect_timeout=0", 10},
                     {Results, "connect_timeout=100000", 10},
                     {Init, "connect_timeout=3", 3}};
        QProcess processes[3];
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 3; ++i)
            toolrun::start(processes[i], programFor(cases[i].command),
                           argsFor(cases[i].command, silent(QLatin1String(cases[i].timeout))));
        // Each one's own time: the three are looked at in turn until all have ended.
        qint64 ended[3] = {-1, -1, -1};
        while (clock.elapsed() < 40000 && (ended[0] < 0 || ended[1] < 0 || ended[2] < 0))
            for (int i = 0; i < 3; ++i)
                if (ended[i] < 0 && processes[i].waitForFinished(20))
                    ended[i] = clock.elapsed();
        for (int i = 0; i < 3; ++i) {
            const toolrun::Result t = toolrun::finish(processes[i], clock, 40000);
            const QString said =
                QStringLiteral("Нет связи с сервером класса «127.0.0.1:%1/kviront»: сервер не "
                               "ответил за %2 с")
                    .arg(m_silent.number)
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
        QTest::newRow("publish") << Publish << false << "kviront.publish_lock"
                                 << "kviront_teacher";
        QTest::newRow("server init") << Init << true << "kviront.schema_version"
                                     << "postgres";
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
        other.exec(("LOCK TABLE " + table + " IN EXCLUSIVE MODE").toUtf8().constData());
        const toolrun::Result t = run(command, conninfo);
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
};

QTEST_GUILESS_MAIN(TestServerHardening)
#include "test_server_hardening.moc"
