// The class report as a browser shows it, in headless Chromium at 1200 px: the class table
// stays within the page (it fits, or scrolls in a box of its own), so "Примечание" is never
// cut off. Skipped, saying so, where Chromium, its driver or Selenium is not installed.
#include "file_bytes.h"
#include "results_sample.h"
#include "results_tool.h"
#include "skip.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString whyNoBrowser() {
    for (const char* program : {"/usr/bin/chromium", "/usr/bin/chromedriver", "/usr/bin/python3"})
        if (!QFile::exists(QLatin1String(program)))
            return QStringLiteral("needs %1 (packages chromium, chromium-driver)").arg(program);
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {"-c", "import selenium"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("needs Selenium for Python (package python3-selenium)");
    return {};
}

} // namespace

class TestResultsPage : public QObject {
    Q_OBJECT
private slots:
    void classTableStaysWithinThePage_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::newRow("1200 px") << QStringLiteral("Иванов Иван") << 1200;
        QTest::newRow("1200 px, long names")
            << QStringLiteral("Константинопольский-Тихомиров Александр Вячеславович") << 1200;
        QTest::newRow("900 px") << QStringLiteral("Иванов Иван") << 900;
    }
    void classTableStaysWithinThePage() {
        if (const QString why = whyNoBrowser(); !why.isEmpty())
            KV_SKIP(why);
        QFETCH(QString, name);
        QFETCH(int, width);
        QTemporaryDir dir;
        QVERIFY(QDir().mkdir(dir.filePath("p")));
        // A run whose result line disagrees: the widest row, with a note in the last column.
        QString text = sample::protocolText(name, {{1, 2, 5}, {2, 1, 7}, {3, 3, 9}}, true);
        text.replace(QStringLiteral("правильных ответов 2"),
                     QStringLiteral("правильных ответов 3"));
        writeFile(dir.filePath("p/a.usr"), sample::cp1251(text));
        writeFile(dir.filePath("p/b.usr"),
                  sample::cp1251(sample::protocolText(name + " 2", {{1, 0, 35}}, false)));
        QString out, err;
        QTextStream o(&out), e(&err);
        const QString html = dir.filePath("r.html");
        QCOMPARE(results::runTool({dir.filePath("p"), "-o", html}, "8.12.2026 10:00", o, e), 0);

        QProcess browser;
        browser.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(KV_PAGE_MEASURE), html, QString::number(width)});
        QVERIFY2(browser.waitForFinished(90000), "Chromium did not answer in 90 s");
        const QByteArray answer = browser.readAllStandardOutput();
        QVERIFY2(browser.exitCode() == 0, browser.readAllStandardError().constData());
        const QJsonObject m = QJsonDocument::fromJson(answer).object();
        QCOMPARE(m["last"].toString(), QStringLiteral("Примечание"));
        // The page itself never scrolls sideways; the table's box ends within it, and the last
        // column is within the box or the box scrolls to it.
        QVERIFY2(m["pageScroll"].toInt() <= m["page"].toInt(), answer.constData());
        QVERIFY2(m["boxRight"].toDouble() <= m["page"].toInt(), answer.constData());
        QVERIFY2(m["lastRight"].toDouble() <= m["boxRight"].toDouble() + 1 ||
                     m["boxScrolls"].toBool(),
                 answer.constData());
    }
};

QTEST_GUILESS_MAIN(TestResultsPage)
#include "test_results_page.moc"
