// Publishing and the class report from the server: a bank published as versions (an unchanged
// bank makes none), the server bank file, and a hand-computed class run through the trainee
// calls whose report from the server gives the same figures as from protocol files.
#include "bankexchange.h"
#include "bankfixture.h"
#include "classroom_server.h"
#include "error_of.h"
#include "hand_class.h"
#include "serverresults.h"
#include "sitting_calls.h"

#include <QProcess>
#include <QTest>

namespace {

QVector<bankfile::Question> handBank() {
    QVector<bankfile::Question> questions;
    for (int n = 1; n <= 5; ++n) {
        bankfile::Question q;
        q.name = n;
        q.vopros = QStringLiteral("Вопрос %1?").arg(n);
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = QStringLiteral("Ответ %1.%2").arg(n).arg(k + 1);
        q.prOtvet = sample::rightOf[n];
        questions << q;
    }
    return questions;
}

struct Tool {
    int code = -1;
    QString out, err;
};

Tool runTool(const char* program, const QStringList& args) {
    QProcess p;
    p.start(QString::fromUtf8(program), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

class TestServerResults : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;

    int versions(const QString& bank) {
        pg::Connection c(m_server->teacher());
        return int(c.exec("SELECT count(*) FROM kviront.bank_versions v JOIN kviront.banks b ON "
                          "b.id = v.bank_id WHERE b.name = $1",
                          {bank})
                       .integer(0, 0));
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<ClassroomServer>();
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
    }

    void anUnchangedBankMakesNoNewVersion() {
        const QString bank = fixture::makeBank(m_dir, QStringLiteral("p.mdb"), 3);
        const serverpublish::Result first = m_server->publish(bank, QStringLiteral("Версии"));
        QCOMPARE(first.version, 1);
        QCOMPARE(first.records, 3);
        QVERIFY(!first.unchanged);
        const Tool again =
            runTool(KV_BANK_TOOL, {QStringLiteral("publish"), bank, m_server->teacher(),
                                   QStringLiteral("--name"), QStringLiteral("Версии")});
        QCOMPARE(again.code, 0);
        QVERIFY2(again.out.contains(QStringLiteral("не изменился: его версия 1")),
                 qPrintable(again.out));
        QCOMPARE(versions(QStringLiteral("Версии")), 1);
        // One changed byte of one picture is a new version.
        fixture::sql(bank,
                     QStringLiteral("UPDATE kontrol SET Vopros = Vopros || '.' WHERE rowid = 3"));
        QCOMPARE(m_server->publish(bank, QStringLiteral("Версии")).version, 2);
        QCOMPARE(versions(QStringLiteral("Версии")), 2);
    }

    void anOldFormatBankIsPublishedRecordForRecord() {
        const QString jet = QStringLiteral(KV_JET_FIXTURES "/bank5_jet4.mdb");
        QStringList local;
        bankexchange::readBank(jet, [&](const exchange::Question& q) {
            local << q.vopros + q.otvet[3] + q.prOtvet.toString() +
                         QString::fromLatin1(q.graph.toHex());
        });
        QCOMPARE(m_server->publish(jet, QStringLiteral("Старый")).records, local.size());
        pg::Connection c(m_server->teacher());
        const pg::Result r =
            c.exec("SELECT q.vopros || q.otvet4 || q.pr_otvet || encode(q.graph, 'hex') FROM "
                   "kviront.questions q JOIN kviront.bank_versions v ON v.id = q.version_id JOIN "
                   "kviront.banks b ON b.id = v.bank_id WHERE b.name = $1 ORDER BY q.record",
                   {QStringLiteral("Старый")});
        QStringList stored;
        for (int i = 0; i < r.rows(); ++i)
            stored << r.text(i, 0);
        QCOMPARE(stored, local);
    }

    void whatCannotBePublishedSaysWhyAndStoresNothing() {
        const QString bank = fixture::makeBank(m_dir, QStringLiteral("bad.mdb"), 2);
        fixture::sql(bank,
                     QStringLiteral("UPDATE kontrol SET Graph = x'ffd8ffe0' WHERE rowid = 2"));
        QString message = errorOf([&] { m_server->publish(bank, QStringLiteral("Плохой")); });
        QVERIFY2(message.contains(QStringLiteral("запись 2")), qPrintable(message));
        const QString empty = m_dir.filePath(QStringLiteral("empty.mdb"));
        bankfile::create(empty);
        message = errorOf([&] { m_server->publish(empty, QStringLiteral("Плохой")); });
        QVERIFY2(message.contains(QStringLiteral("нет вопросов")), qPrintable(message));
        message = errorOf([&] { m_server->publish(bank, QStringLiteral("две\nстроки")); });
        QVERIFY2(message.contains(QStringLiteral("управляющие")), qPrintable(message));
        QCOMPARE(versions(QStringLiteral("Плохой")), 0);
    }

    void theBankFileIsWrittenOnlyWhenATraineeCanUseIt() {
        const QString bank = fixture::makeBank(m_dir, QStringLiteral("l.mdb"), 2);
        const QString link = m_dir.filePath(QStringLiteral("класс.mdb"));
        serverpublish::Options o{
            bank, m_server->teacher(), QStringLiteral("Ссылка"), link,
            m_server->cluster.conninfo(QStringLiteral("kviront_trainee"), QStringLiteral("wrong"))};
        QString message = errorOf([&] { serverpublish::publish(o); });
        QVERIFY2(message.contains(QStringLiteral("не записана")), qPrintable(message));
        QVERIFY(!QFile::exists(link));
        o.traineeConninfo = m_server->teacher(); // a teacher's link would show every answer
        message = errorOf([&] { serverpublish::publish(o); });
        QVERIFY2(message.contains(QStringLiteral("не ученик")), qPrintable(message));
        QVERIFY(!QFile::exists(link));
        // Without --trainee: the teacher's server, the trainee's user and password.
        qputenv("KVIRONT_TRAINEE_PASSWORD", ClassroomServer::traineePassword);
        o.traineeConninfo.clear();
        serverpublish::publish(o);
        qunsetenv("KVIRONT_TRAINEE_PASSWORD");
        const serverbank::BankLink written = serverbank::readLink(link);
        QCOMPARE(written.bank, QStringLiteral("Ссылка"));
        QVERIFY(written.conninfo.contains(QStringLiteral("user=kviront_trainee")));
        pg::Connection trainee(written.conninfo);
        QCOMPARE(trainee
                     .exec("SELECT record_count FROM kviront_api.start_run($1, 'У', '', 35, ',')",
                           {written.bank})
                     .integer(0, 0),
                 2);
    }

    void theReportFromTheServerIsTheHandComputedOne() {
        m_server->publish(fixture::makeBank(m_dir, QStringLiteral("hand.mdb"), handBank()),
                          QStringLiteral("Класс"));
        const QList<QList<sample::Answer>> runs = sample::handRuns();
        const serversitting::Opened sitting = m_server->openSitting(
            QStringLiteral("Класс"), QStringLiteral("Класс 9А"), int(runs.size()));
        pg::Connection daemon(m_server->daemon());
        for (int i = 0; i < runs.size(); ++i) {
            const sittingcalls::Run run = sittingcalls::start(
                daemon, sitting.name, sitting.codes[i].code, QStringLiteral("pc-%1").arg(i),
                QStringLiteral("Ученик %1").arg(i));
            for (const sample::Answer& a : runs[i]) {
                sittingcalls::handOut(daemon, run.token, a.question);
                sittingcalls::answer(daemon, run.token, a.question, a.chosen, a.used);
            }
            sittingcalls::finish(daemon, run.token, i < sample::handFinishedRuns);
        }
        results::Options o;
        o.server = m_server->teacher();
        o.bank = QStringLiteral("Класс");
        results::ClassResults c;
        serverresults::read(o, &c);
        c.finish();
        sample::verifyHandClass(c);
        QVERIFY(c.hasServerSeconds());
        QVERIFY(c.runs()[0].serverSeconds >= 0);
        QVERIFY(c.runs()[0].file.contains(QStringLiteral("банк «Класс», версия 1")));

        // The tool a teacher runs: the same report and tables, the server's seconds beside.
        const QString html = m_dir.filePath(QStringLiteral("class.html"));
        const QString csv = m_dir.filePath(QStringLiteral("class"));
        const Tool t =
            runTool(KV_RESULTS_TOOL, {QStringLiteral("--server"), m_server->teacher(),
                                      QStringLiteral("--bank"), QStringLiteral("Класс"),
                                      QStringLiteral("-o"), html, QStringLiteral("--csv"), csv});
        QCOMPARE(t.code, 0);
        QVERIFY2(t.out.contains(QStringLiteral("Прочитано протоколов: 7")),
                 qPrintable(t.out + t.err));
        QVERIFY(fixture::readAll(html).contains("По серверу, с"));
        const QList<QByteArray> rows =
            fixture::readAll(csv + QStringLiteral("-class.csv")).split('\n');
        QVERIFY(rows[0].endsWith("На ответы, с;По серверу, с\r"));
        QVERIFY2(rows[4].contains(";да;5;2;3;1;40;"), rows[4].constData());

        // Another bank's runs, or runs from tomorrow on: none.
        for (const QStringList& filter :
             {QStringList{QStringLiteral("--bank"), QStringLiteral("Нет такого")},
              QStringList{QStringLiteral("--since"),
                          QDate::currentDate().addDays(1).toString(Qt::ISODate)}}) {
            const Tool none = runTool(KV_RESULTS_TOOL,
                                      QStringList{QStringLiteral("--server"), m_server->teacher(),
                                                  QStringLiteral("-o"), html} +
                                          filter);
            QVERIFY2(none.out.contains(QStringLiteral("Прочитано протоколов: 0")),
                     qPrintable(none.out + none.err));
        }
    }

    void anUnreachableServerWritesNoReport() {
        const QString html = m_dir.filePath(QStringLiteral("none.html"));
        const Tool t = runTool(
            KV_RESULTS_TOOL,
            {QStringLiteral("--server"),
             m_server->cluster.conninfo(QStringLiteral("kviront_teacher"), QStringLiteral("wrong")),
             QStringLiteral("-o"), html});
        QCOMPARE(t.code, 1);
        QVERIFY2(t.err.contains(QStringLiteral("не пустил пользователя")), qPrintable(t.err));
        QVERIFY(!QFile::exists(html));
    }
};

QTEST_GUILESS_MAIN(TestServerResults)
#include "test_server_results.moc"
