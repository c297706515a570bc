// The class report as a browser lays it out (headless Chromium): the class table stays within
// the page (it fits, or scrolls in a box of its own), so "Примечание" is never cut off.
// Skipped, saying so, where Chromium is not installed.
#include "file_bytes.h"
#include "results_sample.h"
#include "results_tool.h"
#include "skip.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Run in the page once it is laid out; its answer is the page's title, which --dump-dom prints.
const char* const measure =
    "<script>const t = document.querySelector('table'), box = t.parentElement;"
    "const last = t.querySelector('thead th:last-child');"
    "document.title = JSON.stringify({page: document.documentElement.clientWidth,"
    "pageScroll: document.documentElement.scrollWidth, last: last.textContent,"
    "lastRight: last.getBoundingClientRect().right, boxRight: box.getBoundingClientRect().right,"
    "boxScrolls: getComputedStyle(box).overflowX == 'auto' && box.scrollWidth > box.clientWidth"
    "});</script>";
} // namespace

class TestResultsPage : public QObject {
    Q_OBJECT
private slots:
    void classTableStaysWithinThePage_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::newRow("1200 px, long names")
            << QStringLiteral("Константинопольский-Тихомиров Александр Вячеславович") << 1200;
        QTest::newRow("900 px") << QStringLiteral("Иванов Иван") << 900;
    }
    void classTableStaysWithinThePage() {
        if (!QFile::exists("/usr/bin/chromium"))
            KV_SKIP("needs Chromium (package chromium)");
        QFETCH(QString, name);
        QFETCH(int, width);
        QTemporaryDir dir;
        QVERIFY(QDir().mkdir(dir.filePath("p")));
        // A run whose result line disagrees: the widest row, with a note in the last column.
        QString text = sample::protocolText(name, {{1, 2, 5}, {2, 1, 7}, {3, 3, 9}}, true);
        text.replace("правильных ответов 1", QStringLiteral("правильных ответов 2"));
        writeFile(dir.filePath("p/a.usr"), sample::cp1251(text));
        QString out, err;
        QTextStream o(&out), e(&err);
        const QString html = dir.filePath("r.html");
        QCOMPARE(results::runTool({dir.filePath("p"), "-o", html}, "8.12.2026 10:00", o, e), 0);
        writeFile(html, fileBytes(html).replace("</body>", QByteArray(measure) + "</body>"));

        QProcess browser;
        browser.start(
            QStringLiteral("/usr/bin/chromium"),
            {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", QStringLiteral("--window-size=%1,900").arg(width),
             "--user-data-dir=" + dir.filePath("profile"), "--dump-dom", "file://" + html});
        QVERIFY2(browser.waitForFinished(90000), "Chromium did not answer in 90 s");
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        const QString answer =
            QRegularExpression(QStringLiteral("<title>(\\{.*?\\})</title>")).match(dom).captured(1);
        const QJsonObject m = QJsonDocument::fromJson(answer.toUtf8()).object();
        QCOMPARE(m["last"].toString(), QStringLiteral("Примечание"));
        // The page itself never scrolls sideways; the table's box ends within it, and the last
        // column is within the box or the box scrolls to it.
        QVERIFY2(m["pageScroll"].toInt() <= m["page"].toInt(), qPrintable(answer));
        QVERIFY2(m["boxRight"].toDouble() <= m["page"].toInt(), qPrintable(answer));
        QVERIFY2(m["lastRight"].toDouble() <= m["boxRight"].toDouble() + 1 ||
                     m["boxScrolls"].toBool(),
                 qPrintable(answer));
    }
};

QTEST_GUILESS_MAIN(TestResultsPage)
#include "test_results_page.moc"
