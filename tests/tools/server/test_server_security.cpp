// The database's own wall under kviront-server, as its role kviront meets it on the real
// server: no table can be read or written, only the server's functions may be called, no call
// gives a right answer inside the transaction that recorded its answer (nor after a rollback),
// and every made-up, foreign or stale request is refused or answered with what was recorded
// first. The role keeps nothing of its own there; the trainee role of the first schema neither
// logs in nor reads a table.
#include "bankfixture.h"
#include "error_of.h"
#include "server_test.h"
#include "serverbankfile.h"
#include "sitting_calls.h"
#include "teachersession.h"

#include <QTest>
#include <QUuid>
#include <cmath>

using Kind = ServerError::Kind;
using servertest::kindOf;

// The right answers of the bank: numbers as the program reads them, each with a "+" that no
// other text of the bank (nor a token) holds, so any "+" a call returns is a leak.
static const QStringList rightAnswers{"+2", " +0003 ", "+1e0", "+4"};

class TestServerSecurity : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;
    QList<serversitting::Code> m_codes;

    sittingcalls::Run start(pg::Connection& c, const QString& host = QStringLiteral("pc-01")) {
        return sittingcalls::start(c, "Секреты 9А", m_codes.takeFirst().code, host);
    }
    QString held() {
        return servertest::superValue(*m_server,
                                      "SELECT (SELECT count(*) FROM kviront.runs) || ' ' || "
                                      "(SELECT count(*) FROM kviront.handouts) || ' ' || (SELECT "
                                      "count(*) FROM kviront.answers)");
    }

private slots:
    void initTestCase() {
        KV_START_SERVER(m_server);
        QVector<bankfile::Question> questions;
        for (int n = 1; n <= 4; ++n) {
            bankfile::Question q = fixture::question(n);
            q.prOtvet = rightAnswers[n - 1];
            questions << q;
        }
        m_server->publish(fixture::makeTextBank(m_dir, "s.mdb", questions),
                          QStringLiteral("Секреты"));
        m_codes = m_server->openSitting("Секреты", "Секреты 9А", 20).codes;
    }

    void noTableOfAnySchemaCanBeReadOrWritten() {
        pg::Connection super(m_server->cluster.superConninfo());
        for (const char* role : {"kviront", "kviront_trainee"}) {
            const pg::Result granted = super.exec(
                "SELECT c.oid::regclass::text FROM pg_class c JOIN pg_namespace n ON n.oid = "
                "c.relnamespace WHERE c.relkind IN ('r','v','m','p','f','S') AND n.nspname NOT IN "
                "('pg_catalog','information_schema') AND n.nspname NOT LIKE 'pg_toast%' AND "
                "has_table_privilege($1, c.oid, "
                "'SELECT,INSERT,UPDATE,DELETE,TRUNCATE,REFERENCES,TRIGGER')",
                {QString::fromLatin1(role)});
            QCOMPARE(granted.rows(), 0);
        }
        pg::Connection daemon(m_server->daemon());
        const pg::Result tables =
            super.exec("SELECT tablename FROM pg_tables WHERE schemaname = 'kviront' ORDER BY 1");
        QVERIFY(tables.rows() >= 9);
        for (int i = 0; i < tables.rows(); ++i) {
            const QByteArray t = "kviront." + tables.text(i, 0).toUtf8();
            for (const QByteArray& sql :
                 {"SELECT * FROM " + t, "INSERT INTO " + t + " DEFAULT VALUES",
                  "UPDATE " + t + " SET ctid = ctid", "DELETE FROM " + t, "TRUNCATE " + t})
                QVERIFY2(kindOf([&] { daemon.exec(sql.constData()); }) == Kind::AccessDenied,
                         sql.constData());
        }
        // Nor anything of its own: no temporary tables, no large objects, not publishing's lock.
        for (const char* sql : {"CREATE TEMP TABLE t (x integer)", "SELECT lo_creat(-1)",
                                "SELECT lo_create(0)", "SELECT lo_from_bytea(0, '\\x01')",
                                "LOCK TABLE kviront.publish_lock IN EXCLUSIVE MODE"}) {
            daemon.exec("BEGIN");
            QVERIFY2(kindOf([&] { daemon.exec(sql); }) == Kind::AccessDenied, sql);
            daemon.rollback();
        }
        // Nor the owner's rights by another road.
        QCOMPARE(kindOf([&] { daemon.exec("SET ROLE kviront_owner"); }), Kind::AccessDenied);
        QCOMPARE(kindOf([&] { daemon.exec("SELECT kviront.verdict('2', 2, '.')"); }),
                 Kind::AccessDenied);
    }

    void onlyTheServersFunctionsAndFewNameTheRightAnswer() {
        pg::Connection super(m_server->cluster.superConninfo());
        // A call's result columns: its OUT parameters, or the fields of the row type it returns.
        const pg::Result r = super.exec(
            "SELECT p.proname, concat(pg_get_function_result(p.oid), ' ', "
            "array_to_string(p.proargnames, ','), ' ', (SELECT string_agg(a.attname, "
            "',') FROM pg_type t JOIN pg_attribute a ON a.attrelid = t.typrelid AND "
            "a.attnum > 0 WHERE t.oid = p.prorettype)) FROM pg_proc p JOIN pg_namespace n "
            "ON n.oid = p.pronamespace WHERE n.nspname NOT IN ('pg_catalog', "
            "'information_schema') AND has_function_privilege('kviront', p.oid, "
            "'EXECUTE') ORDER BY 1");
        QStringList names;
        for (int i = 0; i < r.rows(); ++i) {
            names << r.text(i, 0);
            // The class page's sheet names it too, for the holder of the sitting's teacher key.
            QCOMPARE(r.text(i, 1).contains(QStringLiteral("pr_otvet")),
                     r.text(i, 0) == QStringLiteral("answer_result") ||
                         r.text(i, 0) == QStringLiteral("run_answers") ||
                         r.text(i, 0) == QStringLiteral("teacher_sheet_lines"));
        }
        QCOMPARE(names, (QStringList{"answer_result", "hand_out", "record_answer", "run_answers",
                                     "sitting_finish", "sitting_start", "teacher_close",
                                     "teacher_rehost", "teacher_rows", "teacher_sheet_head",
                                     "teacher_sheet_lines", "teacher_sitting"}));
    }

    void aRightAnswerComesOnlyAfterItsAnswerIsCommitted() {
        pg::Connection c(m_server->daemon());
        const sittingcalls::Run run = start(c);
        QCOMPARE(run.records, 4);
        // A handing-out rolled back leaves nothing to answer.
        c.exec("BEGIN");
        sittingcalls::handOut(c, run.token, 1);
        c.exec("ROLLBACK");
        QCOMPARE(kindOf([&] { sittingcalls::answer(c, run.token, 1, 2, 3); }), Kind::NotHandedOut);
        // Inside the transaction that recorded it, the answer's right answer is not given, by
        // either call; rolled back, nothing was recorded.
        const QString before = held();
        sittingcalls::handOut(c, run.token, 1);
        c.exec("BEGIN");
        c.exec("SELECT kviront_api.record_answer($1, 1, 2, 3)", {run.token});
        QCOMPARE(kindOf([&] {
                     c.exec("SELECT pr_otvet FROM kviront_api.answer_result($1, 1)", {run.token});
                 }),
                 Kind::NotHandedOut);
        c.exec("ROLLBACK");
        c.exec("BEGIN");
        c.exec("SELECT kviront_api.record_answer($1, 1, 2, 3)", {run.token});
        QCOMPARE(
            c.exec("SELECT count(*) FROM kviront_api.run_answers($1)", {run.token}).integer(0, 0),
            0);
        c.exec("ROLLBACK");
        QCOMPARE(held(), QStringLiteral("%1 %2 %3")
                             .arg(before.section(' ', 0, 0))
                             .arg(before.section(' ', 1, 1).toInt() + 1)
                             .arg(before.section(' ', 2, 2)));
        // Each in its own transaction, as the server calls them: recorded, then told.
        for (int record = 1; record <= 4; ++record) {
            if (record > 1)
                sittingcalls::handOut(c, run.token, record);
            const sittingcalls::Answer a = sittingcalls::answer(c, run.token, record, 2, 4.5);
            QCOMPARE(a.prOtvet, rightAnswers[record - 1]);
            QCOMPARE(a.right, std::optional<bool>(record == 1));
        }
        QVERIFY(sittingcalls::finish(c, run.token, true));
    }

    void madeUpForeignAndStaleRequestsAreRefused() {
        pg::Connection c(m_server->daemon());
        const sittingcalls::Run a = start(c), b = start(c, "pc-02");
        const QString madeUp = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QCOMPARE(kindOf([&] { sittingcalls::handOut(c, madeUp, 1); }), Kind::RunUnknown);
        QCOMPARE(kindOf([&] { sittingcalls::answer(c, madeUp, 1, 2, 3); }), Kind::RunUnknown);
        QCOMPARE(kindOf([&] { sittingcalls::finish(c, madeUp, false); }), Kind::RunUnknown);
        // Record 2 handed out in run a only: run b may not answer it, nor a record never shown.
        sittingcalls::handOut(c, a.token, 2);
        QCOMPARE(kindOf([&] { sittingcalls::answer(c, b.token, 2, 2, 3); }), Kind::NotHandedOut);
        QCOMPARE(kindOf([&] { sittingcalls::answer(c, a.token, 3, 2, 3); }), Kind::NotHandedOut);
        QCOMPARE(kindOf([&] { sittingcalls::handOut(c, a.token, 0); }), Kind::NoSuchRecord);
        QCOMPARE(kindOf([&] { sittingcalls::handOut(c, a.token, 5); }), Kind::NoSuchRecord);
        // Values the server never sends.
        for (const auto& [option, seconds] :
             QList<QPair<int, double>>{{5, 3}, {-1, 3}, {2, -1}, {2, NAN}, {2, INFINITY}})
            QCOMPARE(kindOf([&] { sittingcalls::answer(c, a.token, 2, option, seconds); }),
                     Kind::Refused);
        const QString sitting = QStringLiteral("Секреты 9А"), code = m_codes.first().code;
        QCOMPARE(kindOf([&] { sittingcalls::start(c, sitting, code, QString()); }), Kind::Refused);
        // A code of no sitting, a sitting that is not there; a completed run needs every answer.
        QVERIFY(errorOf([&] {
                    sittingcalls::start(c, sitting, "2222222222", "pc");
                }).contains("такого кода нет"));
        QCOMPARE(kindOf([&] { sittingcalls::start(c, "Нет такого", code, "pc"); }),
                 Kind::BankUnknown);
        QVERIFY(errorOf([&] {
                    sittingcalls::finish(c, a.token, true);
                }).contains("тест не закончен: ответов 0 из 4"));
    }

    void aSecondAnswerGetsTheFirstAndAFinishedRunTakesNoMore() {
        pg::Connection c(m_server->daemon());
        const sittingcalls::Run run = start(c);
        sittingcalls::handOut(c, run.token, 1);
        sittingcalls::handOut(c, run.token, 2);
        const sittingcalls::Answer first = sittingcalls::answer(c, run.token, 1, 2, 7);
        const sittingcalls::Answer again = sittingcalls::answer(c, run.token, 1, 3, 1);
        QVERIFY(!first.repeated && again.repeated);
        QCOMPARE(again.option, 2);
        QCOMPARE(again.seconds, 7.0);
        QCOMPARE(again.serverSeconds, first.serverSeconds);
        QCOMPARE(again.right, first.right);
        QVERIFY(!sittingcalls::finish(c, run.token, false));
        QVERIFY(!sittingcalls::finish(c, run.token, true)); // ended already: how it ended
        QCOMPARE(kindOf([&] { sittingcalls::answer(c, run.token, 2, 1, 1); }), Kind::RunFinished);
        QCOMPARE(kindOf([&] { sittingcalls::handOut(c, run.token, 3); }), Kind::RunFinished);
        QCOMPARE(sittingcalls::answer(c, run.token, 1, 4, 2).option, 2); // a late resend

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
        QTest::newRow("backslashes") << "C:\\Users\\ученик\\ \\x41 \\\\";
        QTest::newRow("sql") << "100%; DROP TABLE kviront.runs; -- _%";
        QTest::newRow("unicode")
            << "Ёлкин 🦔 עברית e\u0301 \u200b 日本語 \U0001F600";
        QTest::newRow("blanks") << "  Иванов  Иван  ";
    }
    void namesAreStoredAndReturnedExactly() {
        QFETCH(QString, name);
        // As a bank's and a sitting's name, through publishing and opening.
        m_server->publish(
            fixture::makeBank(m_dir, QStringLiteral("%1-src.mdb").arg(QTest::currentDataTag()), 2),
            name);
        const serversitting::Opened sitting = m_server->openSitting(name, name, 1);
        QCOMPARE(serverbank::readSitting(sitting.link).sitting, name);
        // As a trainee's and a host's name, through a run.
        pg::Connection c(m_server->daemon());
        const sittingcalls::Run run =
            sittingcalls::start(c, name, sitting.codes[0].code, name, name);
        QCOMPARE(run.trainee, name);
        pg::Connection super(m_server->cluster.superConninfo());
        const pg::Result r = super.exec(
            "SELECT r.trainee, r.host, b.name, s.name FROM kviront.runs r JOIN "
            "kviront.bank_versions v ON v.id = r.version_id JOIN kviront.banks b ON b.id = "
            "v.bank_id JOIN kviront.sittings s ON s.id = r.sitting_id WHERE r.token = $1",
            {run.token});
        QCOMPARE(r.rows(), 1);
        for (int column = 0; column < 4; ++column)
            QCOMPARE(r.text(0, column), name);
    }

    // Trainees reach the database only through kviront-server: the first schema's trainee role
    // is refused even with its password right, while the teacher's still logs in.
    void theTraineeRoleLogsInNoMore() {
        QCOMPARE(m_server->cluster.superSql("ALTER ROLE kviront_trainee PASSWORD 'x'"), QString());
        pg::Connection trainee(m_server->cluster.conninfo("kviront_trainee", "x"));
        QCOMPARE(kindOf([&] { trainee.connect(); }), ServerError::Kind::LoginRefused);
        pg::Connection teacher(m_server->teacher(), teachersession::atTerminal());
        teacher.connect();
        QVERIFY(teacher.connected());
    }
};

QTEST_GUILESS_MAIN(TestServerSecurity)
#include "test_server_security.moc"
