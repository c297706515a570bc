// Grades and answer sheets of a small class whose figures were worked out by hand, through
// kviront-results as a teacher runs it against a real server: the grade of every run by the
// sitting's own thresholds (at their boundaries), in the table, the CSV and the chart, and one
// sheet per run with the questions in the order shown, the options chosen and right, the
// verdicts and the late answer marked.
#include "bankfixture.h"
#include "file_bytes.h"
#include "server_test.h"
#include "sitting_calls.h"
#include "tool_run.h"

#include <QDir>
#include <QTest>

namespace {

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

class TestServerSheets : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { KV_START_SERVER(m_server); }

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
        m_server->publish(fixture::makeBank(m_dir, QStringLiteral("b.mdb"), 5), "Оценки");
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
        o.link = m_dir.filePath(QStringLiteral("s.mdb"));
        o.slips = m_dir.filePath(QStringLiteral("s.html"));
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

        const QString folder = m_dir.filePath(QStringLiteral("листы"));
        const toolrun::Result tool =
            toolrun::run(KV_RESULTS_TOOL,
                         {"--server", m_server->teacher(), "--sitting", sitting.name, "--sheets",
                          folder, "-o", m_dir.filePath("r.html"), "--csv", m_dir.filePath("t")},
                         m_dir.path());
        QVERIFY2(tool.code == 0, qPrintable(tool.err));
        QVERIFY(tool.out.contains(QStringLiteral("Листы ответов (6) записаны в папку")));
        const QStringList sheets = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(sheets.size(), hand.size());
        const QList<QByteArray> csv = fileBytes(m_dir.filePath("t-class.csv")).split('\n');
        QVERIFY2(csv[0].endsWith(";Оценка\r"), csv[0].constData());
        const QString report = QString::fromUtf8(fileBytes(m_dir.filePath("r.html")));
        QVERIFY(report.contains(QStringLiteral("<h2>Оценки</h2>")));
        QVERIFY(
            report.contains(QStringLiteral("тестирование «9Б, оценки»: банк «Оценки», версия 1")));

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
                if (line.startsWith(QStringLiteral("<tr><td class=\"n\">")))
                    lines += line.left(line.indexOf(QStringLiteral("</td><td>")) + 5);
            QCOMPARE(lines, shown);
            for (const QString& said : t.sheet.split(QLatin1Char('|')))
                QVERIFY2(sheet.contains(said), qPrintable(file + ": " + said));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerSheets)
#include "test_server_sheets.moc"
