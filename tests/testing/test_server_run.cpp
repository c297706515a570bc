// Test runs on a server bank through the real test window, against a throwaway cluster: the
// run looks exactly as on the same bank as a file, every answer reaches the server once, no
// right answer reaches the trainee's program before its answer is recorded, and a server that
// is away, refuses or has changed gives a message and loses nothing.
#include "bankfixture.h"
#include "classroom_server.h"
#include "modal_watcher.h"
#include "pg_seams.h"
#include "run_fixture.h"
#include "run_texts.h"
#include "serverbankfile.h"
#include "serverrows.h"
#include "skip.h"
#include "startup.h"
#include "ui_seams.h"
#include "uoz_kontrol_redaktor.h"

#include <QElapsedTimer>
#include <QThread>
#include <libpq-fe.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace fx;

namespace {

const QString trainee = QStringLiteral("Иванов Иван");

// Right answers that read as numbers, each with a "+" and zeros that no other text of the bank
// holds, so where one of them arrives tells which call gave it away.
const QStringList rightAnswers{QStringLiteral("+02"), QStringLiteral("+003"),
                               QStringLiteral(" +0001"), QStringLiteral("+00004"),
                               QStringLiteral("+000003 ")};

QVector<bankfile::Question> bankQuestions() {
    QVector<bankfile::Question> questions;
    for (int n = 1; n <= 5; ++n) {
        bankfile::Question q = fixture::question(n);
        q.prOtvet = rightAnswers[n - 1];
        if (n == 2)
            q.vopros += QStringLiteral("\nВторая строка вопроса");
        if (n == 3)
            q.graph = encodeBitmap(fixture::picture(40, 30, qRgb(10, 200, 30)));
        questions << q;
    }
    return questions;
}

// Every value of every result the trainee's program received, with the call that gave it.
struct Received {
    QByteArray sql;
    QByteArray column;
    QByteArray value;
};

ADOConnection* connection() {
    return DataModule1->ADOConnectionControl;
}

QString token() {
    return connection()->serverRows()->session().token();
}

// What one run showed and said.
struct Taken {
    QStringList shown; // question text and picture size, in the order shown
    QStringList notices;
    QStringList errors;
    QByteArray protocol;
};

} // namespace

class TestServerRun : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_banks;
    QString m_source, m_link;
    std::unique_ptr<RunScope> m_dir;

    // Option clicked per question shown, 0 for letting the time run out.
    Taken takeRun(const QString& bank, const QList<int>& clicks) {
        Taken t;
        ModalWatcher watcher;
        signIn(trainee);
        openBank(bank);
        for (int click : clicks) {
            const QSize picture = uozKontrol->DBImage1->picture().size();
            t.shown << uozKontrol->DBMemo1->shownText() +
                           QStringLiteral(" [%1x%2]").arg(picture.width()).arg(picture.height());
            if (click == 0)
                tick(uozKontrol->Timer3, 35);
            else
                clickAnswer(click);
        }
        tick(uozKontrol->Timer1);
        t.notices = watcher.notices;
        t.errors = watcher.errors;
        const QStringList files = protocolFiles();
        if (files.size() == 1) {
            t.protocol = readFile(files[0]);
            QFile::remove(files[0]);
        }
        return t;
    }

    // record -> option, as the server holds the run's answers; a record answered twice
    // appears twice.
    QList<QPair<int, int>> answersOf(const QString& runToken) const {
        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result r = super.exec("SELECT a.record, a.option FROM kviront.answers a JOIN "
                                        "kviront.runs r ON r.id = a.run_id WHERE r.token = $1 "
                                        "ORDER BY a.answered_at",
                                        {runToken});
        QList<QPair<int, int>> out;
        for (int i = 0; i < r.rows(); ++i)
            out << qMakePair(int(r.integer(i, 0)), int(r.integer(i, 1)));
        return out;
    }

    // "ended finished" of a run, e.g. "t f".
    QString runEnd(const QString& runToken) const {
        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result r = super.exec(
            "SELECT (ended_at IS NOT NULL)::text || ' ' || finished::text FROM kviront.runs "
            "WHERE token = $1",
            {runToken});
        return r.rows() == 1 ? r.text(0, 0) : QString();
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<ClassroomServer>();
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        m_source = fixture::makeTextBank(m_banks, QStringLiteral("source.mdb"), bankQuestions());
        m_link = m_banks.filePath(QStringLiteral("Класс.mdb"));
        m_server->publish(m_source, QStringLiteral("Класс"), m_link);
        startProgram();
    }
    void cleanupTestCase() {
        destroyForms();
        m_server.reset();
    }
    void init() { m_dir = std::make_unique<RunScope>(); }
    void cleanup() {
        pg::setTestHooks(nullptr);
        m_dir.reset();
        QVERIFY(m_server->cluster.start()); // a test that stopped it has it back
    }

    void wholeRunIsTheSameAsOnTheFileAndEveryAnswerReachesTheServerOnce() {
        const QList<int> clicks{2, 1, 0, 4, 3}; // records 1, 4, 3, 2, 5
        const Taken onFile = takeRun(m_source, clicks);
        QCOMPARE(onFile.errors, QStringList());
        QCOMPARE(onFile.notices.size(), 6);

        std::vector<Received> received;
        pg::TestHooks hooks;
        hooks.received = [&](const char* sql, pg_result* r) {
            for (int row = 0; row < PQntuples(r); ++row)
                for (int c = 0; c < PQnfields(r); ++c)
                    received.push_back({sql, PQfname(r, c),
                                        QByteArray(PQgetvalue(r, row, c), PQgetlength(r, row, c))});
        };
        pg::setTestHooks(&hooks);
        resetAll(QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3)));
        tick(uozKontrol->Timer2);
        const Taken onServer = takeRun(m_link, clicks);
        pg::setTestHooks(nullptr);

        QCOMPARE(onServer.errors, QStringList());
        QCOMPARE(onServer.shown, onFile.shown);
        QCOMPARE(onServer.notices, onFile.notices);
        QVERIFY(!onServer.protocol.isEmpty());
        QCOMPARE(onServer.protocol, onFile.protocol);

        // The server holds each answer once, with the window's verdict.
        const QString run = token();
        QCOMPARE(answersOf(run), (QList<QPair<int, int>>{{1, 2}, {4, 1}, {3, 0}, {2, 4}, {5, 3}}));
        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result verdicts = super.exec(
            "SELECT string_agg(coalesce(a.verdict::text, '-'), ' ' ORDER BY a.answered_at) FROM "
            "kviront.answers a JOIN kviront.runs r ON r.id = a.run_id WHERE r.token = $1",
            {run});
        QStringList window;
        for (int i = 0; i < 5; ++i)
            window << (onServer.notices[i] == rightNotice ? "true" : "false");
        QCOMPARE(verdicts.text(0, 0), window.join(QLatin1Char(' ')));
        QCOMPARE(runEnd(run), QStringLiteral("true true"));

        // A right answer arrived only as the right answer of an answer call: never with a
        // question, nor before the answer to its record.
        QStringList seen;
        for (const Received& r : received)
            for (const QString& right : rightAnswers)
                if (r.value.contains(right.trimmed().toUtf8())) {
                    QVERIFY2(r.sql.contains("kviront_api.answer(") && r.column == "pr_otvet",
                             r.sql.constData());
                    seen << right;
                }
        QCOMPARE(seen.size(), 5); // one for each answer: the hook saw them all
        // Each record was handed out once, when shown: not while the table was counted.
        QCOMPARE(int(std::count_if(received.begin(), received.end(),
                                   [](const Received& r) {
                                       return r.sql.contains("kviront_api.question(") &&
                                              r.column == "vopros";
                                   })),
                 5);
    }

    // Cut while the answer is on its way: the server stops before it could record it, or
    // after it has (the reply lost). Either way the window waits, resending, and the answer
    // arrives once.
    void anAnswerWithoutConnectionIsResentAndRecordedOnce_data() {
        QTest::addColumn<bool>("afterRecorded");
        QTest::newRow("before the server recorded it") << false;
        QTest::newRow("after the server recorded it") << true;
    }
    void anAnswerWithoutConnectionIsResentAndRecordedOnce() {
        QFETCH(bool, afterRecorded);
        ModalWatcher watcher;
        signIn(trainee);
        openBank(m_link);
        const QString run = token();
        const QString server = connection()->serverRows()->session().serverName();
        pg::TestHooks hooks;
        bool armed = true;
        hooks.afterSend = [&](const char* sql, pg_conn* c) {
            if (!armed || !QByteArray(sql).contains("kviront_api.answer("))
                return;
            armed = false;
            QElapsedTimer clock;
            clock.start();
            while (answersOf(run).isEmpty() && clock.elapsed() < 20000)
                QThread::msleep(10);
            // The reply is lost: the connection now reads as closed, whatever had arrived.
            int pair[2];
            QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
            ::dup2(pair[0], PQsocket(c));
            ::close(pair[0]);
            ::close(pair[1]);
            m_server->cluster.stop();
        };
        if (afterRecorded)
            pg::setTestHooks(&hooks);
        else
            m_server->cluster.stop();
        clickAnswer(2);
        pg::setTestHooks(nullptr);
        QCOMPARE(watcher.notices, QStringList{runtexts::serverLost(server, true)});
        QCOMPARE(uozKontrol->Edit1->text(), runtexts::serverWaiting(true));
        QVERIFY(!uozKontrol->Timer3->enabled());
        QVERIFY(answerFieldsDisabled());

        tick(uozKontrol->serverResendTimer()); // still away: the next try comes later
        QCOMPARE(uozKontrol->serverResendTimer()->interval(), 2000);
        QCOMPARE(watcher.notices.size(), 1);
        QVERIFY(m_server->cluster.start());
        tick(uozKontrol->serverResendTimer());
        QVERIFY(!uozKontrol->serverResendTimer()->enabled());
        QCOMPARE(watcher.notices.value(1), rightNotice); // record 1 holds "+02"
        QCOMPARE(uozKontrol->DBMemo1->shownText(), QStringLiteral("Вопрос 4"));
        QVERIFY(answerFieldsEnabled());
        QVERIFY(uozKontrol->Timer3->enabled());
        QCOMPARE(uozKontrol->Edit1->text(),
                 QStringLiteral("Вы отвечаете на вопрос номер: 2.   Всего вопросов в тесте:5"));
        QCOMPARE(answersOf(run), (QList<QPair<int, int>>{{1, 2}}));
        QCOMPARE(watcher.errors, QStringList());
    }

    void closingWhileTheServerIsAwayWritesTheUnfinishedProtocol() {
        ModalWatcher watcher;
        signIn(trainee);
        openBank(m_link);
        const QString run = token();
        clickAnswer(2);
        m_server->cluster.stop();
        clickAnswer(1); // record 4: waits for the server
        QCOMPARE(watcher.notices.size(), 2);
        closeTestWindow();
        QVERIFY(!uozKontrol->serverResendTimer()->enabled());
        QCOMPARE(watcher.errors, QStringList());
        QCOMPARE(protocolFiles(),
                 QStringList{QStringLiteral("_Иванов Иван  7-12-2026  9-05-03.usr")});
        const QString protocol = readText(protocolFiles().constFirst());
        QCOMPARE(protocol.count(QStringLiteral("Вопрос № ")), 1);
        QVERIFY(protocol.contains(QStringLiteral("Правильный ответ:+02\r\n")));
        QVERIFY(protocol.contains(QStringLiteral("Тест до конца не пройден.\r\n")));
        QVERIFY(m_server->cluster.start());
        QCOMPARE(runEnd(run), QStringLiteral("false false")); // unfinished on the server too
        QCOMPARE(answersOf(run), (QList<QPair<int, int>>{{1, 2}}));
    }

    void aServerThatRefusesOrHasChangedIsAMessage_data() {
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QString>("bank");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("undo");
        QTest::addColumn<QString>("reason");
        const QString ok = m_server->trainee();
        QTest::newRow("unreachable")
            << QStringLiteral("host=/nonexistent-kv port=5999 dbname=kviront user=kviront_trainee")
            << QStringLiteral("Класс") << QString() << QString()
            << QStringLiteral("Нет связи с сервером класса");
        QTest::newRow("login refused")
            << m_server->cluster.conninfo(QStringLiteral("kviront_trainee"), QStringLiteral("x"))
            << QStringLiteral("Класс") << QString() << QString()
            << QStringLiteral("не пустил пользователя «kviront_trainee»");
        QTest::newRow("bank withdrawn") << ok << QStringLiteral("Снятый") << QString() << QString()
                                        << QStringLiteral("нет банка вопросов «Снятый»");
        const QString startRun =
            QStringLiteral("kviront_api.start_run(text, text, text, integer, text)");
        QTest::newRow("schema too old")
            << ok << QStringLiteral("Класс")
            << QStringLiteral("ALTER FUNCTION %1 RENAME TO start_run_old").arg(startRun)
            << QStringLiteral("ALTER FUNCTION kviront_api.start_run_old(text, text, text, "
                              "integer, text) RENAME TO start_run")
            << QStringLiteral("нет функций теста");
        QTest::newRow("schema too new")
            << ok << QStringLiteral("Класс")
            << QStringLiteral(
                   "ALTER FUNCTION %1 RENAME TO start_run_old;"
                   "CREATE FUNCTION %1 RETURNS TABLE (token uuid, version integer, record_count "
                   "integer, api_version integer) LANGUAGE sql SECURITY DEFINER AS $$ SELECT "
                   "token, version, record_count, 2 FROM kviront_api.start_run_old($1, $2, $3, "
                   "$4, $5) $$; GRANT EXECUTE ON FUNCTION %1 TO kviront_trainee")
                   .arg(startRun)
            << QStringLiteral("DROP FUNCTION %1; ALTER FUNCTION kviront_api.start_run_old(text, "
                              "text, text, integer, text) RENAME TO start_run")
                   .arg(startRun)
            << QStringLiteral("новее этой программы");
    }
    void aServerThatRefusesOrHasChangedIsAMessage() {
        QFETCH(QString, conninfo);
        QFETCH(QString, bank);
        QFETCH(QString, setup);
        QFETCH(QString, undo);
        QFETCH(QString, reason);
        const QString link = m_dir->filePath(QStringLiteral("ссылка.mdb"));
        serverbank::writeLink(link, {conninfo, bank});
        if (!setup.isEmpty())
            QCOMPARE(m_server->cluster.superSql(setup), QString());
        ModalWatcher watcher;
        signIn(trainee);
        openBank(link);
        if (!undo.isEmpty())
            QCOMPARE(m_server->cluster.superSql(undo), QString());
        QCOMPARE(watcher.errors.size(), 1);
        const QString message = watcher.errors[0];
        QVERIFY2(message.contains(QStringLiteral("«%1»").arg(pg::describe(conninfo))),
                 qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
        QCOMPARE(menuState(), ready); // as after a cancelled dialog: pick again
        QVERIFY(!connection()->connected());
        QCOMPARE(protocolFiles(), QStringList());
    }

    void aQuestionWithdrawnDuringTheRunIsAMessage() {
        const QString link = m_dir->filePath(QStringLiteral("снимаемый.mdb"));
        m_server->publish(m_source, QStringLiteral("Снимаемый"), link);
        ModalWatcher watcher;
        signIn(trainee);
        openBank(link);
        QCOMPARE(m_server->cluster.superSql(QStringLiteral(
                     "DELETE FROM kviront.questions q USING kviront.bank_versions v, "
                     "kviront.banks b WHERE q.version_id = v.id AND v.bank_id = b.id AND b.name "
                     "= 'Снимаемый' AND q.record = 4")),
                 QString());
        clickAnswer(2);
        QCOMPARE(watcher.notices, QStringList{rightNotice});
        QCOMPARE(watcher.errors.size(), 1);
        QVERIFY2(watcher.errors[0].contains(QStringLiteral("нет такого вопроса")),
                 qPrintable(watcher.errors[0]));
        QCOMPARE(menuState(), idle); // the run ended, its protocol saved
        QCOMPARE(protocolFiles().size(), 1);
        QVERIFY(protocolFiles()[0].startsWith(QLatin1Char('_')));
    }

    void theEditorNeitherOpensNorChangesAServerBank() {
        const QByteArray before = fixture::readAll(m_link);
        ModalWatcher watcher;
        dialogs::queueFileAnswer(m_link);
        uozKontrol_redaktor->N6->trigger();
        QCOMPARE(dialogs::pendingAnswers(), 0);
        QCOMPARE(watcher.errors.size(), 1);
        QVERIFY2(watcher.errors[0].contains(QStringLiteral("опубликуйте его заново")),
                 qPrintable(watcher.errors[0]));
        QVERIFY(!DataModule1->ADOTableControl->active());
        QVERIFY(!connection()->connected());
        QCOMPARE(fixture::readAll(m_link), before);
    }
};

QTEST_MAIN(TestServerRun)
#include "test_server_run.moc"
