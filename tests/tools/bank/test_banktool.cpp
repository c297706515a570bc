#include "adoconnection.h"
#include "adotable.h"
#include "banksource.h"
#include "bitmap.h"
#include "error.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString parseError(const QByteArray& source) {
    try {
        banksource::parse(source, QDir::tempPath());
    } catch (const Error& e) {
        return e.message();
    }
    return QString();
}

const QByteArray oneQuestion = "Name: 1\nVopros: В?\nOtvet1: a\nOtvet2: b\nOtvet3: c\n"
                               "Otvet4: d\nPrOtvet: 2\n";
} // namespace

// The bank tool and its text source, the sample bank included.
class TestBankTool : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QProcess* run(const QStringList& args) {
        auto* tool = new QProcess(this);
        tool->start(QStringLiteral(KV_BANK_TOOL), args);
        tool->waitForFinished(60000);
        return tool;
    }

private slots:
    void sampleBankBuildsAndOpens() {
        const QString bank = m_dir.filePath(QStringLiteral("sample.mdb"));
        QProcess* tool = run({QStringLiteral("build"), QStringLiteral(KV_SAMPLE_SOURCE), bank});
        QCOMPARE(tool->exitCode(), 0);
        ADOConnection connection;
        ADOTable table(&connection);
        connection.setConnectionString(bank);
        connection.open();
        table.open();
        int count = 0, pictures = 0, multiLine = 0;
        for (; !table.eof(); table.next()) {
            ++count;
            QCOMPARE(table.fieldText(QStringLiteral("Name")), QString::number(count));
            const QString right = table.fieldText(QStringLiteral("PrOtvet"));
            QVERIFY(right >= QStringLiteral("1") && right <= QStringLiteral("4"));
            const QString vopros = table.fieldText(QStringLiteral("Vopros"));
            multiLine += vopros.contains(QLatin1String("\r\n")) ? 1 : 0;
            QCOMPARE(vopros.count(QLatin1String("\r\n")), vopros.count(QLatin1Char('\n')));
            const QImage picture = decodeGraph(table.fieldBytes(QStringLiteral("Graph")));
            pictures += picture.isNull() ? 0 : 1;
        }
        QVERIFY(count >= 12 && count <= 20);
        QVERIFY(pictures >= 2);
        QVERIFY(multiLine >= 2);
        // Building over an existing bank is refused and the bank is kept.
        QFile file(bank);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QCOMPARE(run({"build", KV_SAMPLE_SOURCE, bank})->exitCode(), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void createMakesAnEmptyBankWithEveryField() {
        const QString bank = m_dir.filePath(QStringLiteral("empty.mdb"));
        QCOMPARE(run({QStringLiteral("create"), bank})->exitCode(), 0);
        ADOConnection connection;
        ADOTable table(&connection);
        connection.setConnectionString(bank);
        connection.open();
        table.open();
        QVERIFY(table.eof());
        QCOMPARE(table.fieldNames(), (QStringList{"Name", "Vopros", "Otvet1", "Otvet2", "Otvet3",
                                                  "Otvet4", "PrOtvet", "Graph"}));
        QVERIFY(table.fieldIsNumeric(QStringLiteral("Name")));
        QVERIFY(table.fieldIsNumeric(QStringLiteral("PrOtvet")));
        QCOMPARE(run({QStringLiteral("nonsense")})->exitCode(), 2);
    }

    void sourceTextsAndPictures() {
        const auto questions =
            banksource::parse(oneQuestion + "Graph: pattern 2\n= .#\n= r.\n", QDir::tempPath());
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].vopros, QStringLiteral("В?"));
        QCOMPARE(questions[0].otvet[3], QStringLiteral("d"));
        QCOMPARE(questions[0].prOtvet.toInt(), 2);
        const QImage picture = decodeGraph(questions[0].graph);
        QCOMPARE(picture.size(), QSize(4, 4));
        QCOMPARE(picture.pixel(2, 0), qRgb(0, 0, 0));
        QCOMPARE(picture.pixel(0, 3), qRgb(220, 30, 30));
        const auto texts = banksource::parse(
            QByteArray("# c\nName: 7\nVopros: x\n| y\n|\n| z\nOtvet1: 1\nOtvet2: 2\nOtvet3: 3\n"
                       "Otvet4: 4\nPrOtvet: 4\n"),
            QDir::tempPath());
        QCOMPARE(texts[0].vopros, QStringLiteral("x\r\ny\r\n\r\nz")); // CR LF, as Windows banks
    }

    void unreadableSourcesNameTheLine_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("start");
        QTest::newRow("no name") << QByteArray("Vopros: x\n") << "строка 1: ";
        QTest::newRow("unknown field") << oneQuestion + "Otvet5: e\n"
                                       << "строка 8: ";
        QTest::newRow("right answer 5") << oneQuestion.left(oneQuestion.size() - 2) + "5\n"
                                        << "строка 7: ";
        QTest::newRow("missing answer")
            << QByteArray("Name: 1\nVopros: a\nOtvet1: a\nPrOtvet: 1\n") << "строка 1: ";
        QTest::newRow("twice") << oneQuestion + "Vopros: again\n"
                               << "строка 8: ";
        QTest::newRow("ragged picture") << oneQuestion + "Graph: pattern 1\n= ..\n= ...\n"
                                        << "строка 10: ";
        QTest::newRow("unknown colour") << oneQuestion + "Graph: pattern 1\n= .Z\n"
                                        << "строка 9: ";
        QTest::newRow("missing bitmap") << oneQuestion + "Graph: none.bmp\n"
                                        << "строка 8: ";
        QTest::newRow("lonely bar") << QByteArray("| x\n") << "строка 1: ";
        QTest::newRow("bar after a number") << oneQuestion + "| x\n"
                                            << "строка 8: ";
        QTest::newRow("not utf-8") << QByteArray("Name: 1\nVopros: \xff\xfe\n") << "строка 2: ";
        QTest::newRow("empty") << QByteArray("# nothing\n") << "в источнике";
    }
    void unreadableSourcesNameTheLine() {
        QFETCH(QByteArray, source);
        QFETCH(QString, start);
        const QString error = parseError(source);
        QVERIFY2(error.startsWith(start), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestBankTool)
#include "test_banktool.moc"
