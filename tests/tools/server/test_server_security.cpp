// The trainee role against the real server: no table can be read or written, no call gives a
// right answer before its answer is recorded, and every made-up, foreign or stale request is
// refused, or answered with what was recorded first.
#include "bankfixture.h"
#include "classroom_server.h"
#include "skip.h"
#include "traineeclient.h"

#include <QTest>
#include <QUuid>
#include <cmath>

using Kind = ServerError::Kind;

namespace {

// The right answers of the bank: numbers as the program reads them, each with a "+" that no
// other text of the bank (nor a token) holds, so any "+" a call returns is a leak.
const QStringList rightAnswers{QStringLiteral("+2"), QStringLiteral(" +0003 "),
                               QStringLiteral("+1e0"), QStringLiteral("+4")};

Kind kindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ServerError& e) {
        return e.kind();
    }
    return Kind::Other;
}

} // namespace

class TestServerSecurity : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;
    QStringList m_received; // every text a trainee call returned, but answer()'s right answer

    serverbank::TraineeClient client() { return serverbank::TraineeClient(m_server->trainee()); }

    serverbank::RunStart start(serverbank::TraineeClient& c,
                               const QString& name = QStringLiteral("Ученик")) {
        const serverbank::RunStart r = c.startRun(QStringLiteral("Секреты"), name,
                                                  QStringLiteral("pc-01"), 35, QLatin1Char(','));
        m_received << r.token << QString::number(r.version) << QString::number(r.recordCount);
        return r;
    }
    serverbank::ServerQuestion fetch(serverbank::TraineeClient& c, const QString& token,
                                     int record) {
        const serverbank::ServerQuestion q = c.question(token, record);
        m_received << q.name << q.vopros << q.otvet[0] << q.otvet[1] << q.otvet[2] << q.otvet[3]
                   << QString::fromLatin1(q.graph);
        return q;
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<ClassroomServer>();
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        QVector<bankfile::Question> questions;
        for (int n = 1; n <= 4; ++n) {
            bankfile::Question q = fixture::question(n);
            q.prOtvet = rightAnswers[n - 1];
            questions << q;
        }
        m_server->publish(fixture::makeTextBank(m_dir, QStringLiteral("s.mdb"), questions),
                          QStringLiteral("Секреты"));
    }

    void noTableOfAnySchemaCanBeReadOrWritten() {
        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result granted = super.exec(
            "SELECT c.oid::regclass::text FROM pg_class c JOIN pg_namespace n ON n.oid = "
            "c.relnamespace WHERE c.relkind IN ('r','v','m','p','f','S') AND n.nspname NOT IN "
            "('pg_catalog','information_schema') AND n.nspname NOT LIKE 'pg_toast%' AND "
            "has_table_privilege('kviront_trainee', c.oid, "
            "'SELECT,INSERT,UPDATE,DELETE,TRUNCATE,REFERENCES,TRIGGER')");
        QCOMPARE(granted.rows(), 0);

        pg::Connection trainee(m_server->trainee());
        const pg::Result tables =
            super.exec("SELECT tablename FROM pg_tables WHERE schemaname = 'kviront' ORDER BY 1");
        QVERIFY(tables.rows() >= 6);
        for (int i = 0; i < tables.rows(); ++i) {
            const QByteArray t = "kviront." + tables.text(i, 0).toUtf8();
            for (const QByteArray& sql :
                 {"SELECT * FROM " + t, "INSERT INTO " + t + " DEFAULT VALUES",
                  "UPDATE " + t + " SET ctid = ctid", "DELETE FROM " + t, "TRUNCATE " + t})
                QVERIFY2(kindOf([&] { trainee.exec(sql.constData()); }) == Kind::AccessDenied,
                         sql.constData());
        }
        // Nor the owner's rights by another road.
        QCOMPARE(kindOf([&] { trainee.exec("SET ROLE kviront_owner"); }), Kind::AccessDenied);
        QCOMPARE(kindOf([&] { trainee.exec("SELECT kviront.verdict('2', 2, '.')"); }),
                 Kind::AccessDenied);
    }

    void onlyTheFourCallsAndOnlyAnswerNamesTheRightAnswer() {
        pg::Connection super(m_server->cluster.superConninfo());
        // A call's result columns: its OUT parameters, or the fields of the row type it returns.
        const pg::Result r = super.exec(
            "SELECT p.proname, concat(pg_get_function_result(p.oid), ' ', "
            "array_to_string(p.proargnames, ','), ' ', (SELECT string_agg(a.attname, "
            "',') FROM pg_type t JOIN pg_attribute a ON a.attrelid = t.typrelid AND "
            "a.attnum > 0 WHERE t.oid = p.prorettype)) FROM pg_proc p JOIN pg_namespace n "
            "ON n.oid = p.pronamespace WHERE n.nspname NOT IN ('pg_catalog', "
            "'information_schema') AND has_function_privilege('kviront_trainee', p.oid, "
            "'EXECUTE') ORDER BY 1");
        QStringList names;
        for (int i = 0; i < r.rows(); ++i) {
            names << r.text(i, 0);
            QCOMPARE(r.text(i, 1).contains(QStringLiteral("pr_otvet")),
                     r.text(i, 0) == QStringLiteral("answer"));
        }
        QCOMPARE(names, (QStringList{QStringLiteral("answer"), QStringLiteral("finish_run"),
                                     QStringLiteral("question"), QStringLiteral("start_run")}));
    }

    void aRightAnswerComesOnlyWithItsRecordedAnswer() {
        serverbank::TraineeClient c = client();
        const serverbank::RunStart run = start(c);
        QCOMPARE(run.recordCount, 4);
        for (int record = 1; record <= 4; ++record) {
            fetch(c, run.token, record);
            fetch(c, run.token, record); // shown again: still nothing more
            QVERIFY(!m_received.join(QString()).contains(QLatin1Char('+')));
            const serverbank::RecordedAnswer a = c.answer(run.token, record, 2, 4.5);
            QCOMPARE(a.prOtvet, rightAnswers[record - 1]);
            QCOMPARE(a.right, std::optional<bool>(record == 1));
        }
        QVERIFY(c.finishRun(run.token, true));
        QVERIFY(!m_received.join(QString()).contains(QLatin1Char('+')));
    }

    void madeUpForeignAndStaleRequestsAreRefused() {
        serverbank::TraineeClient c = client();
        const serverbank::RunStart a = start(c), b = start(c);
        const QString madeUp = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QCOMPARE(kindOf([&] { c.question(madeUp, 1); }), Kind::RunUnknown);
        QCOMPARE(kindOf([&] { c.answer(madeUp, 1, 2, 3); }), Kind::RunUnknown);
        QCOMPARE(kindOf([&] { c.finishRun(madeUp, false); }), Kind::RunUnknown);
        QCOMPARE(kindOf([&] { c.question(QStringLiteral("'; DROP TABLE kviront.runs; --"), 1); }),
                 Kind::Other);
        // Record 2 handed out in run a only: run b may not answer it, nor a record never shown.
        fetch(c, a.token, 2);
        QCOMPARE(kindOf([&] { c.answer(b.token, 2, 2, 3); }), Kind::NotHandedOut);
        QCOMPARE(kindOf([&] { c.answer(a.token, 3, 2, 3); }), Kind::NotHandedOut);
        QCOMPARE(kindOf([&] { fetch(c, a.token, 0); }), Kind::NoSuchRecord);
        QCOMPARE(kindOf([&] { fetch(c, a.token, 5); }), Kind::NoSuchRecord);
        // Values the program never sends.
        for (const auto& [option, seconds] :
             QList<QPair<int, double>>{{5, 3}, {-1, 3}, {2, -1}, {2, NAN}, {2, INFINITY}})
            QCOMPARE(kindOf([&] { c.answer(a.token, 2, option, seconds); }), Kind::Refused);
        QCOMPARE(kindOf([&] {
                     c.startRun(QStringLiteral("Секреты"), QStringLiteral("x"), QString(), 0,
                                QLatin1Char(','));
                 }),
                 Kind::Refused);
        QCOMPARE(kindOf([&] {
                     c.startRun(QStringLiteral("Секреты"), QStringLiteral("x"), QString(), 35,
                                QLatin1Char('e'));
                 }),
                 Kind::Refused);
        QCOMPARE(kindOf([&] {
                     c.startRun(QStringLiteral("Нет такого"), QStringLiteral("x"), QString(), 35,
                                QLatin1Char(','));
                 }),
                 Kind::BankUnknown);
        // A completed run needs every answer.
        QCOMPARE(kindOf([&] { c.finishRun(a.token, true); }), Kind::Refused);
    }

    void aSecondAnswerGetsTheFirstAndAFinishedRunTakesNoMore() {
        serverbank::TraineeClient c = client();
        const serverbank::RunStart run = start(c);
        fetch(c, run.token, 1);
        fetch(c, run.token, 2);
        const serverbank::RecordedAnswer first = c.answer(run.token, 1, 2, 7);
        const serverbank::RecordedAnswer again = c.answer(run.token, 1, 3, 1);
        QCOMPARE(again.option, 2);
        QCOMPARE(again.seconds, 7.0);
        QCOMPARE(again.serverSeconds, first.serverSeconds);
        QCOMPARE(again.right, first.right);
        QVERIFY(!c.finishRun(run.token, false));
        QVERIFY(!c.finishRun(run.token, true)); // ended already: how it ended
        QCOMPARE(kindOf([&] { c.answer(run.token, 2, 1, 1); }), Kind::RunFinished);
        QCOMPARE(kindOf([&] { fetch(c, run.token, 3); }), Kind::RunFinished);
        QCOMPARE(c.answer(run.token, 1, 4, 2).option, 2); // a late resend still gets the first

        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result r = super.exec(
            "SELECT count(*), bool_and(r.ended_at IS NOT NULL AND NOT r.finished) FROM "
            "kviront.answers a JOIN kviront.runs r ON r.id = a.run_id WHERE r.token = $1",
            {run.token});
        QCOMPARE(r.integer(0, 0), 1);
        QVERIFY(r.flag(0, 1));
    }

    void namesAreStoredAndReturnedExactly_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("quotes") << QStringLiteral("O'Brien \"Дж.\" `x`");
        QTest::newRow("backslashes") << QStringLiteral("C:\\Users\\ученик\\ \\x41 \\\\");
        QTest::newRow("sql") << QStringLiteral("100%; DROP TABLE kviront.runs; -- _%");
        QTest::newRow("unicode") << QStringLiteral(
            "Ёлкин 🦔 עברית e\u0301 \u200b 日本語 \U0001F600");
        QTest::newRow("blanks") << QStringLiteral("  Иванов  Иван  ");
    }
    void namesAreStoredAndReturnedExactly() {
        QFETCH(QString, name);
        // As a bank's name, through publishing and the bank file.
        const QString link = m_dir.filePath(QStringLiteral("%1.mdb").arg(QTest::currentDataTag()));
        m_server->publish(
            fixture::makeBank(m_dir, QStringLiteral("%1-src.mdb").arg(QTest::currentDataTag()), 2),
            name, link);
        QCOMPARE(serverbank::readLink(link).bank, name);
        // As a trainee's and a host's name, through a run.
        serverbank::TraineeClient c(serverbank::readLink(link).conninfo);
        const serverbank::RunStart run = c.startRun(name, name, name, 35, QLatin1Char('.'));
        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result r = super.exec(
            "SELECT r.trainee, r.host, b.name FROM kviront.runs r JOIN kviront.bank_versions v "
            "ON v.id = r.version_id JOIN kviront.banks b ON b.id = v.bank_id WHERE r.token = $1",
            {run.token});
        QCOMPARE(r.rows(), 1);
        for (int column = 0; column < 3; ++column)
            QCOMPARE(r.text(0, column), name);
    }
};

QTEST_GUILESS_MAIN(TestServerSecurity)
#include "test_server_security.moc"
