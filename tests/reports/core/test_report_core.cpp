#include "colorlist.h"
#include "fontlist.h"
#include "reportfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

class TestReportCore : public QObject {
    Q_OBJECT
private slots:
    void saveTargetAppendsUsrOnlyWhenMissing_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("bare name") << "/d/report"
                                   << "/d/report.usr";
        QTest::newRow("already .usr") << "/d/report.usr"
                                      << "/d/report.usr";
        QTest::newRow("upper case") << "/d/REPORT.USR"
                                    << "/d/REPORT.USR";
        QTest::newRow("other extension") << "/d/report.txt"
                                         << "/d/report.txt.usr";
        QTest::newRow("usr inside") << "/d/report.usr.bak"
                                    << "/d/report.usr.bak.usr";
    }
    void saveTargetAppendsUsrOnlyWhenMissing() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(reportfile::saveTarget(chosen), written);
    }

    void loadAcceptsBothLineEndsAndSaveWritesCrLf() {
        QTemporaryDir dir;
        const QString crlf = dir.filePath("crlf.usr"), lf = dir.filePath("lf.usr");
        writeBytes(crlf, "\xC2\xEE\xEF\xF0\xEE\xF1 \xB9 1\r\n\r\nend\r\n");
        writeBytes(lf, "\xC2\xEE\xEF\xF0\xEE\xF1 \xB9 1\n\nend\n");
        const QString expected = QStringLiteral("Вопрос № 1\n\nend");
        QCOMPARE(reportfile::load(crlf), expected);
        QCOMPARE(reportfile::load(lf), expected);
        reportfile::save(lf, expected);
        QCOMPARE(readBytes(lf), readBytes(crlf));
    }

    void onlyEndlessRunsWithoutBlanksWrapAnywhere() {
        const QString word(1000, QLatin1Char('x'));
        QCOMPARE(reportfile::wrapModeFor("Вопрос № 1\n" + word + "\n" + word),
                 QTextOption::WrapAtWordBoundaryOrAnywhere);
        QCOMPARE(reportfile::wrapModeFor("Вопрос № 1\n" + word + "y"), QTextOption::WrapAnywhere);
    }

    void fontEntriesSkipRepeatsAndSortIgnoringCase() {
        const QStringList families{"Zeta",        "zeta",       "Arial", "ARIAL", "bitstream",
                                   "C059 [UKWN]", "C059 [urw]", "Arial", "[x] y"};
        const QStringList entries = fontEntries(families);
        // Each family once, the foundry Qt appends left out.
        QCOMPARE(entries, (QStringList{"[x] y", "Arial", "bitstream", "C059", "Default", "Zeta"}));
        QCOMPARE(fontEntryIndex(entries, "ms sans serif"), -1);
        const QStringList withMs = fontEntries({"Tahoma", "MS Sans Serif", "Courier"});
        QCOMPARE(fontEntryIndex(withMs, "ms sans SERIF"), 2);
    }

    void colourChoicesAndTheirBrushes() {
        const QList<ColorChoice> choices = colorChoices();
        QCOMPARE(currentColor(choices.at(0), QPalette()), QColor(Qt::black));
        int systemCount = 0;
        QPalette palette;
        palette.setColor(QPalette::Text, Qt::darkCyan);
        palette.setColor(QPalette::Highlight, QColor(0x12, 0x34, 0x56));
        for (const ColorChoice& choice : choices) {
            const QBrush brush = textBrush(choice, palette);
            if (choice.role == QPalette::Text) {
                QCOMPARE(brush.style(), Qt::NoBrush); // follows the palette, not an RGB value
            } else {
                QCOMPARE(brush.style(), Qt::SolidPattern);
                QCOMPARE(brush.color(), currentColor(choice, palette));
            }
            if (choice.role == QPalette::Highlight)
                QCOMPARE(brush.color(), QColor(0x12, 0x34, 0x56));
            systemCount += choice.role ? 1 : 0;
        }
        QCOMPARE(choices.size() - systemCount, 20); // 16 standard and 4 extended colours
        QVERIFY(systemCount >= 8);
    }

private:
    static void writeBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray readBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QTEST_MAIN(TestReportCore)
#include "test_report_core.moc"
