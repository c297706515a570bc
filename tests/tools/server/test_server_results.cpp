// Publishing and the class report from the server: a bank published as versions (an unchanged
// bank makes none), and a hand-computed class run through the server's calls whose report from
// the server gives the same figures as from protocol files.
#include "bankexchange.h"
#include "bankfixture.h"
#include "error_of.h"
#include "file_bytes.h"
#include "hand_class.h"
#include "server_test.h"
#include "serverresults.h"
#include "sitting_calls.h"
#include "tool_run.h"

#include <QTest>

namespace {

// The hand-computed class's bank: five questions, question n's right option sample::rightOf[n].
QVector<bankfile::Question> handBank() {
    QVector<bankfile::Question> questions;
    for (int n = 1; n <= 5; ++n) {
        questions << fixture::question(n);
        questions.last().vopros += QLatin1Char('?');
        questions.last().prOtvet = sample::rightOf[n];
    }
    return questions;
}

} // namespace

class TestServerResults : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;
    bool m_sourceRun = false;

    int versions(const QString& bank) {
        pg::Connection c(m_server->teacher());
        return int(c.exec("SELECT count(*) FROM kviront.bank_versions v JOIN kviront.banks b ON "
                          "b.id = v.bank_id WHERE b.name = $1",
                          {bank})
                       .integer(0, 0));
    }

private slots:
    void initTestCase() { KV_START_SERVER(m_server); }

    void anUnchangedBankMakesNoNewVersion() {
        const QString bank = fixture::makeBank(m_dir, QStringLiteral("p.mdb"), 3);
        const serverpublish::Result first = m_server->publish(bank, QStringLiteral("Версии"));
        QCOMPARE(first.version, 1);
        QCOMPARE(first.records, 3);
        QVERIFY(!first.unchanged);
        const toolrun::Result again =
            toolrun::run(KV_BANK_TOOL, {"publish", bank, m_server->teacher(), "--name", "Версии"});
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
        const toolrun::Result t =
            toolrun::run(KV_RESULTS_TOOL, {"--server", m_server->teacher(), "--bank", "Класс", "-o",
                                           html, "--csv", csv});
        QCOMPARE(t.code, 0);
        QVERIFY2(t.out.contains(QStringLiteral("Прочитано попыток с сервера: 7.")),
                 qPrintable(t.out + t.err));
        QVERIFY(fileBytes(html).contains("По серверу, с"));
        const QList<QByteArray> rows = fileBytes(csv + QStringLiteral("-class.csv")).split('\n');
        QVERIFY(rows[0].endsWith("На ответы, с;По серверу, с;Оценка\r"));
        QVERIFY2(rows[4].contains(";да;5;2;3;1;40;"), rows[4].constData());
    }

    // The tool as a teacher runs it, on protocol files or on the server: what it refuses (a
    // server that has not what was asked, exit 1; the wrong command lines are
    // test_tool_arguments'), and what its report and tables say of their source. "{p}" is the
    // folder of one protocol, "{o}" the output folder, "{s}" the teacher's connection ("{w}" with
    // a wrong password), "{n}" the server's name, "{d}" and "{iso}" today.
    void theToolRefusesOrNamesItsSource_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");      // on stdout when done, on stderr otherwise
        QTest::addColumn<QStringList>("files"); // "name|text it holds"; nothing written on refusal
        const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
        QTest::newRow("an unknown bank")
            << QStringList{"--server", "{s}", "--bank", "Нет такого", "-o", "{o}/r.html"} << 1
            << "На сервере {n} нет банка «Нет такого». Банки на нём: «" << QStringList();
        QTest::newRow("no runs since tomorrow")
            << QStringList{"--server", "{s}",    "--bank", "Источник",
                           "--since",  tomorrow, "-o",     "{o}/r.html"}
            << 1
            << QStringLiteral("На сервере {n} нет попыток банка «Источник» с %1: отчёт не "
                              "записан.\n")
                   .arg(QDate::currentDate().addDays(1).toString("dd.MM.yyyy"))
            << QStringList();
        QTest::newRow("the server's runs")
            << QStringList{"--server", "{s}", "--bank",     "Источник", "--since",
                           "{iso}",    "-o",  "{o}/r.html", "--csv",    "{o}/t"}
            << 0 << "Прочитано попыток с сервера: 1.\n"
            << QStringList{"r.html|Источник: сервер класса {n}, банк «Источник», попытки с {d}."
                           "<br>Отчёт составлен ",
                           "r.html|. Прочитано попыток с сервера: 1.</p>",
                           "t-class.csv|;Ученик;{iso};"};
        QTest::newRow("a login refused") << QStringList{"--server", "{w}", "-o", "{o}/r.html"} << 1
                                         << "не пустил пользователя" << QStringList();
        QTest::newRow("an unknown sitting")
            << QStringList{"--server", "{s}", "--sitting", "Нет такого", "-o", "{o}/r.html"} << 1
            << "На сервере {n} нет тестирования «Нет такого». Тестирования на нём: «"
            << QStringList();
        QTest::newRow("one sitting's runs")
            << QStringList{"--server", "{s}",        "--sitting", "Источник 9А",
                           "-o",       "{o}/r.html", "--csv",     "{o}/t"}
            << 0 << "Прочитано попыток с сервера: 1.\n"
            << QStringList{"r.html|Источник: сервер класса {n}, тестирование «Источник 9А»: банк "
                           "«Источник», версия 1; открыто {d} ",
                           "t-class.csv|;По серверу, с;Оценка\r\n"};
        QTest::newRow("protocol files with grades")
            << QStringList{"{p}", "--grades", "90,75,50", "-o", "{o}/r.html", "--csv", "{o}/t"} << 0
            << "Прочитано протоколов: 1, пропущено файлов: 0.\n"
            << QStringList{"r.html|<h2>Оценки</h2>", "t-class.csv|;сходится;5\r\n"};
        QTest::newRow("protocol files")
            << QStringList{"{p}", "-o", "{o}/r.html", "--csv", "{o}/t"} << 0
            << "Прочитано протоколов: 1, пропущено файлов: 0.\n"
            << QStringList{"r.html|Источник: протоколы из {p}.<br>",
                           "t-class.csv|;'\tИванов;2026-12-07;09:05:03;09:12:33;да;",
                           "t-questions.csv|;\"'\r= вопрос\";"};
    }
    void theToolRefusesOrNamesItsSource() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        QFETCH(QStringList, files);
        if (!m_sourceRun) { // one run on a bank of its own, one protocol in a folder
            m_server->publish(fixture::makeBank(m_dir, QStringLiteral("src.mdb"), 2),
                              QStringLiteral("Источник"));
            const serversitting::Opened sitting =
                m_server->openSitting(QStringLiteral("Источник"), QStringLiteral("Источник 9А"), 1);
            pg::Connection daemon(m_server->daemon());
            const sittingcalls::Run run =
                sittingcalls::start(daemon, sitting.name, sitting.codes[0].code,
                                    QStringLiteral("pc"), QStringLiteral("Ученик"));
            sittingcalls::handOut(daemon, run.token, 1);
            sittingcalls::answer(daemon, run.token, 1, 1, 3);
            sittingcalls::finish(daemon, run.token, false);
            QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("p"))));
            // Texts a spreadsheet would take for a formula, behind a tab or a carriage return.
            QString text = sample::protocolText(QStringLiteral("\tИванов"), {{1, 2, 5}}, true);
            text.replace(QStringLiteral("Вопрос 1?"), QStringLiteral("\r= вопрос"));
            writeFile(m_dir.filePath(QStringLiteral("p/a.usr")), sample::cp1251(text));
            m_sourceRun = true;
        }
        QTemporaryDir out;
        const QDate today = QDate::currentDate();
        const auto filled = [&](QString text) {
            return text.replace("{p}", m_dir.filePath(QStringLiteral("p")))
                .replace("{o}", out.path())
                .replace("{s}", m_server->teacher())
                .replace("{w}", m_server->cluster.conninfo("kviront_teacher", "wrong"))
                .replace("{n}", pg::describe(m_server->teacher()))
                .replace("{d}", today.toString(QStringLiteral("dd.MM.yyyy")))
                .replace("{iso}", today.toString(Qt::ISODate));
        };
        QStringList real;
        for (const QString& arg : args)
            real << filled(arg);
        const toolrun::Result t = toolrun::run(KV_RESULTS_TOOL, real);
        QCOMPARE(t.code, code);
        QVERIFY2((code == 0 ? t.out : t.err).contains(filled(said)), qPrintable(t.out + t.err));
        if (code != 0)
            QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList());
        for (const QString& check : files) {
            const QString name = check.section(QLatin1Char('|'), 0, 0);
            const QString content = QString::fromUtf8(fileBytes(out.filePath(name)));
            QVERIFY2(content.contains(filled(check.section(QLatin1Char('|'), 1))),
                     qPrintable(name + ": " + content.left(2000)));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerResults)
#include "test_server_results.moc"
