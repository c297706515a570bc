// The class report over protocols that the test window itself wrote in real runs: several
// trainees, a time-out, an abandoned run, a protocol edited afterwards, multi-line texts;
// and the protocol files are left exactly as they were.
#include "core_seams.h"
#include "reportfile.h"
#include "results_tool.h"
#include "run_fixture.h"

#include <QFileInfo>
#include <QMap>

using namespace fx;

namespace {
const QString multiLineQuestion = QStringLiteral("Сколько будет\nдва плюс два?");
const QString multiLineOption = QStringLiteral("пять\n2. шесть"); // looks like the next marker
const QString oddName = QStringLiteral("Кузнецов <b>Олег</b> & Co");

QList<Question> bank() {
    QList<Question> qs{question(1, 2), question(2, 3), question(3, 1)};
    qs[0].vopros = multiLineQuestion;
    qs[0].otvet[0] = multiLineOption;
    return qs;
}

// The question on screen as its bank position 1 … 3.
int questionOnScreen() {
    const QString text = uozKontrol->DBMemo1->shownText();
    return text == multiLineQuestion ? 1 : text.right(1).toInt();
}

void secondsPass(int seconds) {
    clock_::advance(seconds * 1000);
    tick(uozKontrol->Timer2);
}

// One run: answers[q] is the option clicked for bank question q, 0 to let it time out. With
// `abandonAfter` set, the run is abandoned after that many answers.
void run(const QString& bankPath, const QString& name, const QTime& start, QMap<int, int> answers,
         int abandonAfter = -1) {
    resetAll(QDateTime(QDate(2026, 12, 7), start));
    tick(uozKontrol->Timer2, 2); // from the second tick on the clock shows dashes
    signIn(name);
    openBank(bankPath);
    ModalWatcher watcher;
    for (int done = 0; done < 3; ++done) {
        if (done == abandonAfter) {
            uozKontrol->N9->trigger();
            return;
        }
        secondsPass(4);
        tick(uozKontrol->Timer3, 5); // shows 35 … 31: four seconds used
        const int chosen = answers.value(questionOnScreen());
        if (chosen > 0) {
            clickAnswer(chosen);
            continue;
        }
        for (int t = 0; t < 40 && uozKontrol->Timer3->enabled() && runState().answerNumber != 0;
             ++t)
            tick(uozKontrol->Timer3);
    }
    tick(uozKontrol->Timer1); // the end-of-run check saves the protocol
    QCOMPARE(watcher.errors, QStringList());
}

struct Snapshot {
    QByteArray bytes;
    QDateTime modified;
    bool operator==(const Snapshot&) const = default;
};

QMap<QString, Snapshot> snapshot(const QString& folder) {
    QMap<QString, Snapshot> files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files))
        files.insert(info.fileName(), {readFile(info.filePath()), info.lastModified()});
    return files;
}
} // namespace

class TestResultsRun : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramScope> m_dir;

private slots:
    void initTestCase() {
        m_dir = std::make_unique<ProgramScope>();
        const QString b = makeBank(m_dir->filePath(QStringLiteral("bank.mdb")), bank());
        run(b, QStringLiteral("Иванов Иван"), QTime(9, 5, 3), {{1, 2}, {2, 3}, {3, 1}});
        run(b, QStringLiteral("Петров Пётр"), QTime(9, 15, 0), {{1, 2}, {2, 1}, {3, 0}});
        run(b, QStringLiteral("Сидорова Анна"), QTime(9, 25, 0), {{1, 1}, {2, 3}, {3, 1}});
        run(b, oddName, QTime(9, 35, 0), {{1, 4}, {2, 4}, {3, 4}}, 1);
        closeTestWindow();
    }
    void cleanupTestCase() { m_dir.reset(); }

    void protocolsOfRealRuns() {
        QCOMPARE(protocolFiles().size(), 4);
        // Edited afterwards in the report editor's way: the result line claims 3 right.
        const QString edited = protocolFiles().filter(QStringLiteral("Сидорова")).value(0);
        QString text = reportfile::load(edited);
        QVERIFY(text.contains(QStringLiteral("правильных ответов 2.")));
        reportfile::save(edited, text.replace(QStringLiteral("правильных ответов 2."),
                                              QStringLiteral("правильных ответов 3.")));
        QFile broken(m_dir->filePath(QStringLiteral("broken.usr")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(readFile(protocolFiles().value(0)).left(300)); // cut off
        broken.close();
        QFile notes(m_dir->filePath(QStringLiteral("notes.USR")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a protocol\r\n");
        notes.close();

        results::ClassResults c;
        results::readInputs({m_dir->path()}, &c);
        QCOMPARE(c.skipped().size(), 2);
        QCOMPARE(QFileInfo(c.skipped()[0].file).fileName(), QStringLiteral("broken.usr"));
        QVERIFY(c.skipped()[0].reason.contains(QStringLiteral("оборван")));
        QVERIFY(c.skipped()[1].reason.contains(QStringLiteral("не протокол")));

        QMap<QString, results::RunRow> rows;
        for (const results::RunRow& r : c.runs())
            rows.insert(r.name, r);
        QCOMPARE(rows.size(), 4);
        const results::RunRow ivanov = rows.value(QStringLiteral("Иванов Иван"));
        QVERIFY(ivanov.finished);
        QCOMPARE(ivanov.right, 3);
        QCOMPARE(ivanov.date, QStringLiteral("7-12-2026"));
        QCOMPARE(ivanov.startTime, QStringLiteral("9-05-03"));
        QCOMPARE(ivanov.totalSeconds, 12);
        const results::RunRow petrov = rows.value(QStringLiteral("Петров Пётр"));
        QCOMPARE(petrov.right, 1);
        QCOMPARE(petrov.wrong, 2);
        QCOMPARE(petrov.timeOuts, 1);
        QVERIFY(petrov.mismatch.isEmpty());
        const results::RunRow sidorova = rows.value(QStringLiteral("Сидорова Анна"));
        QCOMPARE(sidorova.right, 2);
        QVERIFY(sidorova.mismatch.contains(QStringLiteral("правильных 3")));
        const results::RunRow odd = rows.value(oddName);
        QVERIFY(!odd.finished);
        QCOMPARE(odd.questions, 1);
        QCOMPARE(c.finishedRuns(), 3);

        QCOMPARE(c.questions().size(), 3);
        const results::QuestionStats& q1 = c.questions()[0];
        QCOMPARE(q1.question, multiLineQuestion);
        QCOMPARE(q1.options[0], multiLineOption);
        QCOMPARE(q1.rightNumber, 2);
        QCOMPARE(q1.chosen[2], 2);
        QCOMPARE(q1.chosen[1], 1);
        const results::QuestionStats& q3 = c.questions()[2];
        QCOMPARE(q3.chosen[0], 1);       // Petrov's time-out
        QCOMPARE(q3.medianSeconds, 4.0); // 4, 4 and the time-out's 34
        int shown = 0;
        for (const results::QuestionStats& q : c.questions())
            shown += q.shown;
        QCOMPARE(shown, 10);
    }

    void reportLeavesProtocolsAlone() {
        const QMap<QString, Snapshot> before = snapshot(m_dir->path());
        QTemporaryDir out;
        const QString html = out.filePath(QStringLiteral("отчёт.html"));
        QString outText, errText;
        QTextStream outStream(&outText), errStream(&errText);
        const int rc =
            results::runTool({m_dir->path(), QStringLiteral("-o"), html, QStringLiteral("--csv"),
                              out.filePath(QStringLiteral("к"))},
                             QStringLiteral("8.12.2026 10:00"), outStream, errStream);
        QCOMPARE(rc, 0);
        QCOMPARE(snapshot(m_dir->path()), before);
        QVERIFY(errText.contains(QStringLiteral("broken.usr")));

        const QString page = QString::fromUtf8(readFile(html));
        QVERIFY(page.contains(QStringLiteral("Кузнецов &lt;b&gt;Олег&lt;/b&gt; &amp; Co")));
        QVERIFY(!page.contains(QStringLiteral("<b>Олег")));
        QVERIFY(page.contains(QStringLiteral("Сколько будет<br>два плюс два?")));
        QVERIFY(page.contains(QStringLiteral("<b>не сходится</b>")));
        QCOMPARE(page.count(QStringLiteral("<svg ")), 2);
        QVERIFY(page.contains(QStringLiteral("@media print")));
        for (const char* external : {"<script", "src=", "href=", "<link", "url("})
            QVERIFY2(!page.contains(QLatin1String(external)), external);

        const QByteArray csv = readFile(out.filePath(QStringLiteral("к-class.csv")));
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(csv.count("\r\n"), 5); // header and four runs
        QVERIFY(QString::fromUtf8(csv).contains(QStringLiteral(";Петров Пётр;2026-12-07;")));
        QVERIFY(readFile(out.filePath(QStringLiteral("к-questions.csv")))
                    .contains("\"Сколько будет\nдва плюс два?\";\"пять\n2. шесть\";"));
    }

    void neverWritesOverAProtocol() {
        const QMap<QString, Snapshot> before = snapshot(m_dir->path());
        const QString protocol = m_dir->filePath(protocolFiles().value(0));
        QString outText, errText;
        QTextStream outStream(&outText), errStream(&errText);
        QCOMPARE(results::runTool({m_dir->path(), QStringLiteral("-o"), protocol}, {}, outStream,
                                  errStream),
                 2);
        // A protocol that happens to carry the name a CSV file would get.
        const QString csvLike = m_dir->filePath(QStringLiteral("x-class.csv"));
        QVERIFY(QFile::copy(protocol, csvLike));
        QCOMPARE(results::runTool({csvLike, QStringLiteral("--csv"), m_dir->filePath("x"),
                                   QStringLiteral("-o"), m_dir->filePath("r.html")},
                                  {}, outStream, errStream),
                 1);
        QVERIFY(QFile::remove(csvLike));
        QCOMPARE(snapshot(m_dir->path()), before);
    }
};

QTEST_MAIN(TestResultsRun)
#include "test_results_run.moc"
