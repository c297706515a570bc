// The schema on a real (throwaway) server: made and upgraded by the tool in one transaction,
// a second run changes nothing, a failure changes nothing, and every refusal names the server
// and says what to do.
#include "classroom_server.h"
#include "error_of.h"
#include "pgconnection.h"
#include "schema.h"
#include "skip.h"

#include <QProcess>
#include <QTest>

namespace {

// Everything init makes, with its rights: equal fingerprints mean nothing changed.
const char* fingerprint =
    "SELECT concat_ws(' | ',"
    " (SELECT string_agg(nspname || coalesce(nspacl::text, ''), ',' ORDER BY nspname)"
    "  FROM pg_namespace WHERE nspname LIKE 'kviront%'),"
    " (SELECT string_agg(c.oid::text || relname || coalesce(relacl::text, ''), ',' ORDER BY "
    "relname)"
    "  FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE nspname LIKE "
    "'kviront%'),"
    " (SELECT string_agg(p.oid::text || proname || coalesce(proacl::text, '') || prosecdef::text"
    "  || coalesce(proconfig::text, ''), ',' ORDER BY proname)"
    "  FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace WHERE nspname LIKE 'kviront%'),"
    " (SELECT string_agg(oid::text || rolname || rolcanlogin::text || rolinherit::text, ','"
    "  ORDER BY rolname) FROM pg_roles WHERE rolname LIKE 'kviront%'),"
    " (SELECT string_agg(version || name || applied_at::text, ',') FROM kviront.schema_version))";

QString fingerprintOf(const QString& conninfo) {
    pg::Connection c(conninfo);
    return c.exec(fingerprint).text(0, 0);
}

ServerError::Kind kindOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ServerError& e) {
        return e.kind();
    }
    return ServerError::Kind::Other;
}

} // namespace

class TestServerSchema : public QObject {
    Q_OBJECT
    std::unique_ptr<PgCluster> m_cluster;

private slots:
    void initTestCase() {
        m_cluster = std::make_unique<PgCluster>();
        KV_REQUIRE_CLUSTER(*m_cluster);
        QVERIFY2(m_cluster->ok(), qPrintable(m_cluster->error()));
    }

    void initMakesTheSchemaOnceAndASecondRunChangesNothing() {
        const serverschema::InitResult first = serverschema::init(m_cluster->superConninfo());
        QCOMPARE(first.from, 0);
        QCOMPARE(first.to, serverschema::latestVersion());
        QCOMPARE(first.applied.first(), QStringLiteral("001_schema.sql"));
        const QString before = fingerprintOf(m_cluster->superConninfo());
        // The server's calls, and none of the first schema's trainee role, which logs in no more.
        QVERIFY(before.contains(QStringLiteral("sitting_start")));
        QVERIFY(!before.contains(QStringLiteral("start_run")));
        QVERIFY(before.contains(QStringLiteral("kviront_traineefalse")));

        // The installed tool, as an administrator runs it a second time.
        QProcess tool;
        tool.start(QStringLiteral(KV_BANK_TOOL),
                   {QStringLiteral("server"), QStringLiteral("init"), m_cluster->superConninfo()});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY2(QString::fromUtf8(tool.readAllStandardOutput())
                     .contains(QStringLiteral("ничего не изменено")),
                 qPrintable(tool.readAllStandardError()));
        QCOMPARE(fingerprintOf(m_cluster->superConninfo()), before);
    }

    void onlyASuperuserMakesTheSchema() {
        QVERIFY(m_cluster->superSql(QStringLiteral("ALTER ROLE kviront_teacher PASSWORD 'x'"))
                    .isEmpty());
        const QString before = fingerprintOf(m_cluster->superConninfo());
        const QString message = errorOf([&] {
            serverschema::init(
                m_cluster->conninfo(QStringLiteral("kviront_teacher"), QStringLiteral("x")));
        });
        QVERIFY2(message.contains(QStringLiteral("суперпользователь")), qPrintable(message));
        QCOMPARE(fingerprintOf(m_cluster->superConninfo()), before);
    }

    void aFailedMigrationLeavesNothingBehind() {
        // A database where something already holds one of the schema's names.
        QVERIFY(m_cluster->superSql(QStringLiteral("CREATE DATABASE clash")).isEmpty());
        const QString clash = m_cluster->superConninfo(QStringLiteral("clash"));
        QVERIFY(m_cluster
                    ->superSql(QStringLiteral("CREATE SCHEMA kviront_api"), QStringLiteral("clash"))
                    .isEmpty());
        const QString message = errorOf([&] { serverschema::init(clash); });
        QVERIFY2(message.contains(QStringLiteral("001_schema.sql")), qPrintable(message));
        QVERIFY2(message.endsWith(QStringLiteral("Схема не изменена.")), qPrintable(message));
        pg::Connection c(clash);
        QVERIFY(!c.exec("SELECT to_regnamespace('kviront') IS NOT NULL").flag(0, 0));
    }

    void teacherToolsNameTheSchemaProblem() {
        // No schema at all, then one newer than the tool.
        QVERIFY(m_cluster->superSql(QStringLiteral("CREATE DATABASE bare")).isEmpty());
        pg::Connection bare(m_cluster->superConninfo(QStringLiteral("bare")));
        QString message = errorOf([&] { serverschema::requireCurrent(bare); });
        QVERIFY2(message.contains(QStringLiteral("нет схемы kviront")) &&
                     message.contains(QStringLiteral("server init")) &&
                     message.contains(QStringLiteral("/bare")),
                 qPrintable(message));

        pg::Connection c(m_cluster->superConninfo());
        c.exec("INSERT INTO kviront.schema_version (version, name) VALUES (999, 'future')");
        QCOMPARE(kindOf([&] { serverschema::requireCurrent(c); }), ServerError::Kind::SchemaTooNew);
        message = errorOf([&] { serverschema::init(m_cluster->superConninfo()); });
        QVERIFY2(message.contains(QStringLiteral("новее этой программы")) &&
                     message.contains(QStringLiteral("обновите программу")),
                 qPrintable(message));
        c.exec("DELETE FROM kviront.schema_version WHERE version = 999");
        serverschema::requireCurrent(c);
    }

    void aRunUnderWayGoesOnAcrossAnUpgrade() {
        // A server of the first schema with sittings (4), trainees' logins still allowed, in a
        // database of its own, with a sitting open on a bank of two records.
        QVERIFY(m_cluster->superSql(QStringLiteral("CREATE DATABASE older")).isEmpty());
        const QString conninfo = m_cluster->superConninfo(QStringLiteral("older"));
        pg::Connection c(conninfo);
        const QList<serverschema::Migration>& all = serverschema::migrations();
        constexpr int sittingsVersion = 4;
        c.exec("BEGIN");
        for (const serverschema::Migration& m : all) {
            if (m.number > sittingsVersion)
                break;
            c.execScript(m.sql);
            c.exec("INSERT INTO kviront.schema_version (version, name) VALUES ($1, $2)",
                   {m.number, m.name});
        }
        c.exec("INSERT INTO kviront.banks (name) VALUES ('Старый')");
        c.exec("INSERT INTO kviront.bank_versions (bank_id, version, content_hash, record_count, "
               "source) SELECT id, 1, '\\x00', 2, 'old.mdb' FROM kviront.banks");
        // Right answers: "2" for record 1, "3" for record 2.
        c.exec("INSERT INTO kviront.questions SELECT v.id, r, 'n' || r, 'q', '1', '2', '3', '4', "
               "(r + 1)::text, '' FROM kviront.bank_versions v, generate_series(1, 2) g(r)");
        c.exec("INSERT INTO kviront.sittings (name, version_id, allowed_seconds, "
               "decimal_separator) SELECT 'Старый 9А', id, 30, ',' FROM kviront.bank_versions");
        c.exec("INSERT INTO kviront.codes (sitting_id, position, code_hash) SELECT id, 1, "
               "sha256('K7QXM2PDW9') FROM kviront.sittings");
        c.exec("COMMIT");

        // A trainee half-way through when the administrator upgrades, through the server's
        // calls, each in its own transaction as the server makes them.
        const auto answer = [&](const QString& token, int record, int option, double seconds) {
            c.exec("SELECT repeated FROM kviront_api.record_answer($1, $2, $3, $4)",
                   {token, record, option, seconds});
            return c.exec("SELECT option, verdict, client_seconds FROM "
                          "kviront_api.answer_result($1, $2)",
                          {token, record});
        };
        const QString token = c.exec("SELECT token FROM kviront_api.sitting_start('Старый 9А', "
                                     "sha256('K7QXM2PDW9'), 'pc-1', 'Ученик')")
                                  .text(0, 0);
        c.exec("SELECT name FROM kviront_api.hand_out($1, 1)", {token});
        QVERIFY(answer(token, 1, 2, 4).flag(0, 1));
        c.exec("SELECT name FROM kviront_api.hand_out($1, 2)", {token});
        const serverschema::InitResult upgrade = serverschema::init(conninfo);
        QCOMPARE(upgrade.from, sittingsVersion);
        QCOMPARE(upgrade.to, serverschema::latestVersion());

        // The run goes on: its answer is still the one recorded, the question handed out
        // before is answered, and the run ends complete.
        const pg::Result resent = answer(token, 1, 4, 9);
        QCOMPARE(resent.integer(0, 0), 2);
        QCOMPARE(resent.number(0, 2), 4.0);
        QVERIFY(answer(token, 2, 3, 5).flag(0, 1));
        QCOMPARE(answer(token, 2, 1, 5).integer(0, 0), 3);
        QVERIFY(c.exec("SELECT finished FROM kviront_api.sitting_finish($1, true)", {token})
                    .flag(0, 0));
        QCOMPARE(c.exec("SELECT string_agg(record || ':' || option || ':' || verdict, ' ' ORDER BY "
                        "record) FROM kviront.answers")
                     .text(0, 0),
                 QStringLiteral("1:2:true 2:3:true"));
        // Only options 0 … 4 are held, as before.
        QCOMPARE(kindOf([&] { c.exec("UPDATE kviront.answers SET option = 5 WHERE record = 1"); }),
                 ServerError::Kind::Other);
    }

    void refusedLoginIsToldFromAnUnreachableServer() {
        pg::Connection wrong(
            m_cluster->conninfo(QStringLiteral("kviront_teacher"), QStringLiteral("nope")));
        try {
            wrong.connect();
            QFAIL("a wrong password was let in");
        } catch (const ServerError& e) {
            QCOMPARE(e.kind(), ServerError::Kind::LoginRefused);
            QVERIFY2(
                e.message().contains(QStringLiteral("не пустил пользователя «kviront_teacher»")),
                qPrintable(e.message()));
            QVERIFY2(e.message().contains(m_cluster->socketDir()), qPrintable(e.message()));
        }
        // The same server stopped: now it is the connection that fails.
        m_cluster->stop();
        QCOMPARE(kindOf([&] { wrong.connect(); }), ServerError::Kind::Unreachable);
        const QString message = errorOf<ServerError>([&] { wrong.connect(); });
        QVERIFY2(
            message.startsWith(QStringLiteral("Нет связи с сервером класса «%1:5432/kviront»: ")
                                   .arg(m_cluster->socketDir())),
            qPrintable(message));
        QVERIFY(m_cluster->start());
    }
};

QTEST_GUILESS_MAIN(TestServerSchema)
#include "test_server_schema.moc"
