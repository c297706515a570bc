// A run through the real test window while kviront-server goes away in every way it can: each
// answer and the end reach the server once, and the protocol is the file bank's, byte for byte.
#include "classapi.h"
#include "modal_watcher.h"
#include "run_fixture.h"
#include "server_window.h"
#include "serverresults.h"

#include <QProcess>
#include <csignal>

using namespace fx;

namespace {

enum Fault { BeforeAnswer, AfterRecorded, DuringEnd, ProgramKilled, Busy503 };

const QList<int> clicks{2, 1, 4, 4, 3}; // records 1, 4, 3, 2, 5
const QString recorded = QStringLiteral("1:2 4:1 3:4 2:4 5:3");
const QStringList classList{"Иванов Иван",     "Петрова Анна", "Сидоров Пётр",
                            "Кузнецова Ольга", "Смирнов Олег", "Попова Вера"};

bool isAwayNotice(const QString& text) {
    return text.startsWith(QStringLiteral("Нет связи с сервером класса"));
}

QString readLine(QProcess& p) {
    while (!p.canReadLine() && p.waitForReadyRead(30000)) {
    }
    return QString::fromUtf8(p.readLine()).trimmed();
}

// The trainee's program in a process of its own: the first answer given, then, once told, the
// second given while the server is away; then it waits to be killed.
int childRun() {
    TimerSeam::setManual(true);
    DelaySeam::setManual(true);
    createForms();
    freshWindow();
    ModalWatcher watcher;
    signIn(qEnvironmentVariable("KV_TRAINEE"));
    openServerBank(qEnvironmentVariable("KV_BANK"), qEnvironmentVariable("KV_CODE"));
    answerAndSettle(clicks[0]);
    QFile in, out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 2;
    out.write("ready\n");
    out.flush();
    in.readLine(); // the server is down now
    clickAnswer(clicks[1]);
    if (!QTest::qWaitFor([] { return !DelaySeam::running(Delay::Pause).isEmpty(); }, 30000))
        return 3;
    out.write("pending\n");
    out.flush();
    for (;;)
        QTest::qWait(1000);
}

} // namespace

class TestServerOutage : public ServerWindowTest {
    Q_OBJECT

    // Every run's answers but those of `trainee`.
    QString othersAnswers(const QString& trainee) const {
        return m_server->superValue(
            QStringLiteral("SELECT coalesce(string_agg(r.trainee || a.record || ':' || a.option, "
                           "' ' ORDER BY r.id, a.record), '') FROM kviront.answers a JOIN "
                           "kviront.runs r ON r.id = a.run_id WHERE r.trainee <> '%1'")
                .arg(trainee));
    }

    // How the class report shows the run of `trainee` as done.
    QString reported(const QString& trainee) const {
        results::Options o;
        o.server = m_server->teacher();
        results::ClassResults r;
        serverresults::read(o, &r);
        for (const results::RunRow& row : r.runs())
            if (row.name == trainee)
                return results::finishedText(row);
        return {};
    }

    // The program killed with its second answer pending, then started again with the server
    // back: the journal sends the answer, and the code takes the run up at its third question.
    void killedAndStartedAgain(const QString& trainee, const QString& code) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KV_OUTAGE_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("KV_TRAINEE"), trainee);
        env.insert(QStringLiteral("KV_BANK"), m_server->bankFile());
        env.insert(QStringLiteral("KV_CODE"), code);
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(m_dir->path());
        child.start(QCoreApplication::applicationFilePath(), {});
        QCOMPARE(readLine(child), QStringLiteral("ready"));
        m_server->kill();
        child.write("go\n");
        QCOMPARE(readLine(child), QStringLiteral("pending"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(30000));
        const auto kept = classjournal::Journal(classjournal::defaultFolder()).runs();
        QVERIFY(kept.size() == 1 && kept[0].answers.size() == 1 && kept[0].answers[0].record == 4);
        QVERIFY(m_server->start());
        // A new start of the program: it sends what the journal holds, with no one asking.
        destroyForms();
        createForms();
        QTRY_COMPARE_WITH_TIMEOUT(serverAnswers(*m_server, trainee), QStringLiteral("1:2 4:1"),
                                  30000);
        freshWindow();
        signIn(trainee);
        openServerBank(m_server->bankFile(), code);
        QVERIFY(dialogs::lastConfirmText().contains(QStringLiteral("ответов уже: 2")));
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 3"));
    }

private slots:
    void initTestCase() {
        ClassServer::Options o;
        o.trainees = classList;
        startClass(o);
    }
    void cleanupTestCase() { endClass(); }
    void init() { m_dir = std::make_unique<RunScope>(); }
    void cleanup() {
        classclient::setReplyFilter(nullptr);
        m_dir.reset();
        QVERIFY(m_server->start());
        QVERIFY(m_server->cluster.start());
    }

    void everyAnswerOnceWhateverTheServerDoes_data() {
        QTest::addColumn<int>("fault"); // also the trainee's place on the class list, for the code
        QTest::newRow("stopped before an answer") << int(BeforeAnswer);
        QTest::newRow("stopped after recording an answer, before its reply") << int(AfterRecorded);
        QTest::newRow("stopped during the run's end") << int(DuringEnd);
        QTest::newRow("program killed with an answer pending") << int(ProgramKilled);
        QTest::newRow("503 for 20 s, the database away") << int(Busy503);
    }
    void everyAnswerOnceWhateverTheServerDoes() {
        QFETCH(int, fault);
        const QString trainee = classList[fault];
        const QString code = m_server->namedCodes()[fault];
        freshWindow();
        signIn(trainee);
        const Taken onFile = takeRun(m_file, {}, clicks);
        freshWindow();
        const QString others = othersAnswers(trainee);

        ModalWatcher watcher;
        if (fault == ProgramKilled) {
            killedAndStartedAgain(trainee, code);
        } else {
            signIn(trainee);
            openServerBank(m_server->bankFile(), code);
            answerAndSettle(clicks[0]);
        }
        switch (fault) {
        case BeforeAnswer: {
            m_server->kill();
            // While the away notice is up (its loop runs the steps), the server comes back and
            // the answer is recorded; the verdict follows only the notice's acknowledgement.
            int stage = 0;
            qsizetype toldWhileHeld = -1;
            watcher.onNotice = [&](const QString& text) {
                if (!isAwayNotice(text) || stage == 3)
                    return true;
                if (stage == 0 && m_server->start())
                    stage = 1;
                if (stage == 1 && passPauses() > 0)
                    stage = 2;
                if (stage == 2 && serverAnswers(*m_server, trainee) == QStringLiteral("1:2 4:1")) {
                    QTest::qWait(50); // time for a verdict, were it to come too early
                    toldWhileHeld = watcher.notices.size();
                    stage = 3;
                }
                return false;
            };
            clickAnswer(clicks[1]);
            passNextPause();
            passNextPause(); // the third failed try raises the notice
            settle();
            QCOMPARE(stage, 3);
            QCOMPARE(toldWhileHeld, 1);          // the first verdict only
            QCOMPARE(watcher.notices.size(), 3); // then the away notice and the verdict
            QCOMPARE(watcher.notices[2], onFile.notices[1]);
            break;
        }
        case AfterRecorded: {
            bool lose = true;
            classclient::setReplyFilter([&](std::string_view path, const QByteArray&) {
                const bool lost = lose && path == classapi::path::answer;
                lose = lose && !lost;
                return lost;
            });
            clickAnswer(clicks[1]);
            QTRY_COMPARE_WITH_TIMEOUT(serverAnswers(*m_server, trainee), QStringLiteral("1:2 4:1"),
                                      30000);
            m_server->kill();
            passNextPause();
            QVERIFY(m_server->start());
            settleThroughPauses();
            break;
        }
        case Busy503:
            m_server->cluster.stop();
            clickAnswer(clicks[1]);
            for (int seconds = 0; seconds < 20;) { // the pauses of 20 s of a busy server
                QTRY_VERIFY_WITH_TIMEOUT(!DelaySeam::running(Delay::Pause).isEmpty(), 30000);
                seconds += passPauses();
            }
            QVERIFY(uozKontrol->waitsForServer());
            QVERIFY(m_server->cluster.start());
            settleThroughPauses();
            break;
        case ProgramKilled:
            break; // taken up again at the third question
        default:
            answerAndSettle(clicks[1]);
        }
        for (int i = 2; i < clicks.size(); ++i)
            answerAndSettle(clicks[i]);
        if (fault == DuringEnd) {
            m_server->kill();
            tick(uozKontrol->Timer1);
            QCOMPARE(menuState(), idle);
            passNextPause();
            // The end is in the journal with its run; the report counts the run as completed.
            QCOMPARE(serverEnds(*m_server, trainee), QStringLiteral("false false"));
            QCOMPARE(reported(trainee), QStringLiteral("закончен, не закрыт"));
            QVERIFY(m_server->start());
            // The next trainee's run on this computer: the end goes to its own run, first.
            const QString next = classList[5];
            signIn(next);
            openServerBank(m_server->bankFile(), m_server->namedCodes()[5]);
            QTRY_VERIFY_WITH_TIMEOUT(allSent(), 30000);
            QCOMPARE(serverEnds(*m_server, trainee), QStringLiteral("true true"));
            QCOMPARE(serverEnds(*m_server, next), QStringLiteral("false false"));
            QCOMPARE(reported(trainee), QStringLiteral("да"));
            uozKontrol->N9->trigger();
            for (const QString& f : protocolFiles())
                if (f.startsWith(QStringLiteral("_") + next))
                    QFile::remove(f);
        } else {
            tick(uozKontrol->Timer1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(allSent(), 30000);

        QCOMPARE(watcher.errors, QStringList());
        QStringList told = watcher.notices;
        told.removeIf(isAwayNotice);
        QCOMPARE(told, fault == ProgramKilled ? onFile.notices.mid(2) : onFile.notices);
        if (fault == Busy503) // told once it lasted
            QCOMPARE(watcher.notices.size() - told.size(), 1);
        QCOMPARE(protocolFiles().size(), 1);
        QCOMPARE(readFile(protocolFiles()[0]), onFile.protocol);
        QCOMPARE(serverAnswers(*m_server, trainee), recorded);
        QCOMPARE(serverEnds(*m_server, trainee), QStringLiteral("true true"));
        QCOMPARE(othersAnswers(trainee), others);
        QVERIFY(!QFile::exists(classjournal::Journal(classjournal::defaultFolder()).refusedPath()));
        QCOMPARE(classjournal::Journal(classjournal::defaultFolder()).runs().size(), 0);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("KV_OUTAGE_CHILD"))
        return childRun();
    TestServerOutage test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_server_outage.moc"
