// Publishing and the class report from the server: a bank published as versions (an unchanged
// bank makes none), a hand-computed class run through the server's calls whose report from the
// server gives the same figures as from protocol files, and a small class's grades by the
// sitting's own thresholds (at their boundaries) with one answer sheet per run: the questions in
// the order shown, the options chosen and right, the verdicts and the late answer marked.
#include "bankexchange.h"
#include "bankfixture.h"
#include "error_of.h"
#include "file_bytes.h"
#include "hand_class.h"
#include "server_test.h"
#include "serverresults.h"
#include "sitting_calls.h"
#include "tool_run.h"

#include <QDir>
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

// One trainee's run: records as handed out, and per handing-out the option chosen ('0': none,
// '*': the right one, arriving late). By hand: the right answers (of the fixture bank: records
// 1 … 5 → 2, 3, 4, 1, 2) and the grade by thresholds 80, 60, 40, "" for an abandoned run.
struct Trainee {
    QString name, order, chosen;
    int right;
    QString grade;
    QString sheet; // what the trainee's sheet holds, "|" between
};

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
        const QString bank = fixture::makeBank(m_dir, "p.mdb", 3);
        const serverpublish::Result first = m_server->publish(bank, "Версии");
        QCOMPARE(first.version, 1);
        QCOMPARE(first.records, 3);
        QVERIFY(!first.unchanged);
        const toolrun::Result again =
            toolrun::run(KV_BANK_TOOL, {"publish", bank, m_server->teacher(), "--name", "Версии"});
        QCOMPARE(again.code, 0);
        QVERIFY2(again.out.contains("не изменился: его версия 1"), qPrintable(again.out));
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
        const QString bank = fixture::makeBank(m_dir, "bad.mdb", 2);
        fixture::sql(bank,
                     QStringLiteral("UPDATE kontrol SET Graph = x'ffd8ffe0' WHERE rowid = 2"));
        QString message = errorOf([&] { m_server->publish(bank, "Плохой"); });
        QVERIFY2(message.contains("запись 2"), qPrintable(message));
        const QString empty = m_dir.filePath("empty.mdb");
        bankfile::create(empty);
        message = errorOf([&] { m_server->publish(empty, "Плохой"); });
        QVERIFY2(message.contains("нет вопросов"), qPrintable(message));
        message = errorOf([&] { m_server->publish(bank, "две\nстроки"); });
        QVERIFY2(message.contains("управляющие"), qPrintable(message));
        QCOMPARE(versions(QStringLiteral("Плохой")), 0);
    }

    void theReportFromTheServerIsTheHandComputedOne() {
        m_server->publish(fixture::makeBank(m_dir, "hand.mdb", handBank()),
                          QStringLiteral("Класс"));
        const QList<QList<sample::Answer>> runs = sample::handRuns();
        const serversitting::Opened sitting =
            m_server->openSitting(QStringLiteral("Класс"), "Класс 9А", int(runs.size()));
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
        QVERIFY(c.runs()[0].file.contains("банк «Класс», версия 1"));

        // The tool a teacher runs: the same report and tables, the server's seconds beside.
        const QString html = m_dir.filePath("class.html");
        const QString csv = m_dir.filePath("class");
        const toolrun::Result t =
            toolrun::run(KV_RESULTS_TOOL, {"--server", m_server->teacher(), "--bank", "Класс", "-o",
                                           html, "--csv", csv});
        QCOMPARE(t.code, 0);
        QVERIFY2(t.out.contains("Прочитано попыток с сервера: 7."), qPrintable(t.out + t.err));
        QVERIFY(fileBytes(html).contains("По серверу, с"));
        const QList<QByteArray> rows = fileBytes(csv + QStringLiteral("-class.csv")).split('\n');
        QVERIFY(rows[0].endsWith("На ответы, с;По серверу, с;Оценка\r"));
        QVERIFY2(rows[4].contains(";да;5;2;3;1;40;"), rows[4].constData());
    }

    // The tool as a teacher runs it, on protocol files or on the server: what it refuses (a
    // server that has not what was asked, exit 1; the wrong command lines are
    // test_tool_arguments'), and what its report and tables say of their source. "{p}" is the
    // folder of one protocol, "{s}" the teacher's connection ("{w}" with a wrong password), "{n}"
    // the server's name, "{d}" and "{iso}" today; the report and tables go to "r.html" and "t".
    void theToolRefusesOrNamesItsSource_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");      // on stdout when done, on stderr otherwise
        QTest::addColumn<QStringList>("files"); // "name|text it holds"; nothing written on refusal
        const QDate tomorrow = QDate::currentDate().addDays(1);
        QTest::newRow("an unknown bank")
            << QStringList{"--server", "{s}", "--bank", "Нет такого"} << 1
            << "На сервере {n} нет банка «Нет такого». Банки на нём: «" << QStringList();
        QTest::newRow("no runs since tomorrow")
            << QStringList{"--server", "{s}",     "--bank",
                           "Источник", "--since", tomorrow.toString(Qt::ISODate)}
            << 1
            << QStringLiteral("На сервере {n} нет попыток банка «Источник» с %1: отчёт не "
                              "записан.\n")
                   .arg(tomorrow.toString("dd.MM.yyyy"))
            << QStringList();
        QTest::newRow("the server's runs")
            << QStringList{"--server", "{s}", "--bank", "Источник", "--since", "{iso}"} << 0
            << "Прочитано попыток с сервера: 1.\n"
            << QStringList{"r.html|Источник: сервер класса {n}, банк «Источник», попытки с {d}."
                           "<br>Отчёт составлен ",
                           "r.html|. Прочитано попыток с сервера: 1.</p>",
                           "t-class.csv|;Ученик;{iso};"};
        QTest::newRow("a login refused")
            << QStringList{"--server", "{w}"} << 1 << "не пустил пользователя" << QStringList();
        QTest::newRow("an unknown sitting")
            << QStringList{"--server", "{s}", "--sitting", "Нет такого"} << 1
            << "На сервере {n} нет тестирования «Нет такого». Тестирования на нём: «"
            << QStringList();
        QTest::newRow("one sitting's runs")
            << QStringList{"--server", "{s}", "--sitting", "Источник 9А"} << 0
            << "Прочитано попыток с сервера: 1.\n"
            << QStringList{"r.html|Источник: сервер класса {n}, тестирование «Источник 9А»: банк "
                           "«Источник», версия 1; открыто {d} ",
                           "t-class.csv|;По серверу, с;Оценка\r\n"};
        QTest::newRow("protocol files with grades")
            << QStringList{"{p}", "--grades", "90,75,50"} << 0
            << "Прочитано протоколов: 1, пропущено файлов: 0.\n"
            << QStringList{"r.html|<h2>Оценки</h2>", "t-class.csv|;сходится;5\r\n"};
        QTest::newRow("protocol files")
            << QStringList{"{p}"} << 0 << "Прочитано протоколов: 1, пропущено файлов: 0.\n"
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
            m_server->publish(fixture::makeBank(m_dir, "src.mdb", 2), QStringLiteral("Источник"));
            const serversitting::Opened sitting =
                m_server->openSitting("Источник", "Источник 9А", 1);
            pg::Connection daemon(m_server->daemon());
            const sittingcalls::Run run = sittingcalls::start(
                daemon, sitting.name, sitting.codes[0].code, QStringLiteral("pc"), "Ученик");
            sittingcalls::handOut(daemon, run.token, 1);
            sittingcalls::answer(daemon, run.token, 1, 1, 3);
            sittingcalls::finish(daemon, run.token, false);
            QVERIFY(QDir().mkpath(m_dir.filePath("p")));
            // Texts a spreadsheet would take for a formula, behind a tab or a carriage return.
            QString text = sample::protocolText("\tИванов", {{1, 2, 5}}, true);
            text.replace("Вопрос 1?", "\r= вопрос");
            writeFile(m_dir.filePath("p/a.usr"), sample::cp1251(text));
            m_sourceRun = true;
        }
        QTemporaryDir out;
        const QDate today = QDate::currentDate();
        const auto filled = [&](QString text) {
            return text.replace("{p}", m_dir.filePath("p"))
                .replace("{s}", m_server->teacher())
                .replace("{w}", m_server->cluster.conninfo("kviront_teacher", "wrong"))
                .replace("{n}", pg::describe(m_server->teacher()))
                .replace("{d}", today.toString("dd.MM.yyyy"))
                .replace("{iso}", today.toString(Qt::ISODate));
        };
        QStringList real{"-o", out.filePath("r.html"), "--csv", out.filePath("t")};
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

    void gradesAndSheetsAreTheHandComputedOnes() {
        const QList<Trainee> hand{
            {"Анна", "12345", "23412", 5, "5", "верных 5 из 5 (100 %)|5 (отлично)"},
            // 80 %: exactly the 5's boundary.
            {"Борис", "54321", "21431", 4, "5",
             "общий для класса: 5, 4, 3, 2, 1|<td>1. Ответ 1.1</td><td>2. Ответ 1.2</td>"},
            // 60 %: exactly the 4's.
            {"Вера", "31254", "42312", 3, "4", "4 (хорошо)"},
            // 40 %, a hostile name: its file stays in the folder.
            {"../../Гена", "12345", "23123", 2, "3", "../../Гена"},
            // 20 %, the first answer late (recorded as a time-out whatever was sent).
            {"<b>Дина</b>", "21345", "*2123", 1, "2",
             "&lt;b&gt;Дина&lt;/b&gt;|ответ пришёл поздно: записано «время вышло»"},
            // Abandoned: no grade, the question handed out unanswered is listed.
            {"Егор", "213", "310", 1, "", "прерван|нет ответа|верных 1 из 2 отвеченных"},
        };
        m_server->publish(fixture::makeBank(m_dir, "b.mdb", 5), "Оценки");
        serversitting::OpenOptions o;
        o.conninfo = m_server->teacher();
        o.bank = QStringLiteral("Оценки");
        o.name = QStringLiteral("9Б, оценки");
        o.seconds = 30;
        o.grace = 0;
        o.grades = {80, 60, 40};
        for (const Trainee& t : hand)
            o.trainees << t.name;
        o.url = QStringLiteral("https://127.0.0.1:8443");
        o.certificate = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
        o.link = m_dir.filePath("s.mdb");
        o.slips = m_dir.filePath("s.html");
        const serversitting::Opened sitting = serversitting::open(o);

        pg::Connection daemon(m_server->daemon());
        for (int i = 0; i < hand.size(); ++i) {
            const Trainee& t = hand[i];
            const bool finished = !t.grade.isEmpty();
            const sittingcalls::Run run = sittingcalls::start(
                daemon, sitting.name, sitting.codes[i].code, QStringLiteral("pc-%1").arg(i));
            for (int k = 0; k < t.order.size(); ++k) {
                const int record = t.order[k].digitValue();
                sittingcalls::handOut(daemon, run.token, record);
                const bool late = t.chosen[k] == QLatin1Char('*');
                if (late) // the server handed it out a minute ago (first: still first)
                    QCOMPARE(m_server->cluster.superSql(
                                 QStringLiteral("UPDATE kviront.handouts SET handed_at = handed_at "
                                                "- interval '60 s' WHERE record = %1 AND run_id = "
                                                "(SELECT id FROM kviront.runs WHERE token = '%2')")
                                     .arg(record)
                                     .arg(run.token)),
                             QString());
                if (t.chosen[k] != QLatin1Char('0') || finished)
                    sittingcalls::answer(daemon, run.token, record,
                                         late ? 1 + record % 4 : t.chosen[k].digitValue(), 4);
            }
            sittingcalls::finish(daemon, run.token, finished);
        }

        const QString folder = m_dir.filePath("листы");
        const toolrun::Result tool =
            toolrun::run(KV_RESULTS_TOOL,
                         {"--server", m_server->teacher(), "--sitting", sitting.name, "--sheets",
                          folder, "-o", m_dir.filePath("r.html"), "--csv", m_dir.filePath("t")},
                         m_dir.path());
        QVERIFY2(tool.code == 0, qPrintable(tool.err));
        QVERIFY(tool.out.contains("Листы ответов (6) записаны в папку"));
        const QStringList sheets = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(sheets.size(), hand.size());
        const QList<QByteArray> csv = fileBytes(m_dir.filePath("t-class.csv")).split('\n');
        QVERIFY2(csv[0].endsWith(";Оценка\r"), csv[0].constData());
        const QString report = QString::fromUtf8(fileBytes(m_dir.filePath("r.html")));
        QVERIFY(report.contains("<h2>Оценки</h2>"));
        QVERIFY(report.contains("тестирование «9Б, оценки»: банк «Оценки», версия 1"));

        for (int i = 0; i < hand.size(); ++i) {
            const Trainee& t = hand[i];
            // Runs are listed as started: the class list's order here.
            const QList<QByteArray> cells = csv[i + 1].split(';');
            QCOMPARE(QString::fromUtf8(cells[1]), t.name);
            QCOMPARE(cells[7].toInt(), t.right);
            QCOMPARE(QString::fromUtf8(cells.last()).trimmed(), t.grade);
            const QString file = QStringLiteral("%1 — %2.html")
                                     .arg(i + 1, 2, 10, QLatin1Char('0'))
                                     .arg(QString(t.name).replace(QLatin1Char('/'), '_'));
            QCOMPARE(sheets[i], file);
            const QString sheet = QString::fromUtf8(fileBytes(QDir(folder).filePath(file)));
            // The questions in the order shown: "№" then "№ в банке" of every line.
            QString shown, lines;
            for (int k = 0; k < t.order.size(); ++k)
                shown += QStringLiteral("<tr><td class=\"n\">%1</td><td class=\"n\">%2</td>")
                             .arg(k + 1)
                             .arg(t.order[k]);
            for (const QString& line : sheet.split(QLatin1Char('\n')))
                if (line.startsWith("<tr><td class=\"n\">"))
                    lines += line.left(line.indexOf("</td><td>") + 5);
            QCOMPARE(lines, shown);
            for (const QString& said : t.sheet.split(QLatin1Char('|')))
                QVERIFY2(sheet.contains(said), qPrintable(file + ": " + said));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerResults)
#include "test_server_results.moc"
