// kviront-bank convert: old-format (Jet) banks into editable ones, record for record.
#include "adoconnection.h"
#include "adotable.h"
#include "jetfixture.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace jetfixture;

class TestJetConvert : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    struct Run {
        int exitCode = -1;
        QString out, err;
    };
    Run convert(const QString& from, const QString& to) {
        QProcess tool;
        tool.start(QStringLiteral(KV_BANK_TOOL), {QStringLiteral("convert"), from, to});
        tool.waitForFinished(60000);
        return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                QString::fromUtf8(tool.readAllStandardOutput()),
                QString::fromUtf8(tool.readAllStandardError())};
    }
    QStringList filesIn(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }

private slots:
    void convertedBankEqualsTheSidecar_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"bank5_jet4", "empty_jet4", "bigbank_jet4"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void convertedBankEqualsTheSidecar() {
        QFETCH(QString, name);
        const QJsonObject side = sidecar(name);
        const QString converted = m_dir.filePath(name + QStringLiteral(".mdb"));
        const Run run = convert(path(name + QStringLiteral(".mdb")), converted);
        QCOMPARE(run.exitCode, 0);
        const int count = side.value(QStringLiteral("record_count")).toInt();
        QCOMPARE(run.out, QStringLiteral("%1: вопросов %2\n").arg(converted).arg(count));
        QCOMPARE(run.err, QString());

        ADOConnection connection;
        connection.setConnectionString(converted);
        connection.open();
        QVERIFY(!connection.legacyFormat());
        ADOTable table(&connection);
        table.open();
        QVERIFY(table.canModify()); // an editable bank of the program's own
        const QStringList names = columnNames(side);
        QCOMPARE(table.fieldNames(), names);
        QCOMPARE(table.recordCount(), count);
        const QJsonArray records = side.value(QStringLiteral("records")).toArray();
        for (int i = 0; i < records.size(); ++i) {
            table.setRecNo(i + 1);
            const QJsonObject record = records[i].toObject();
            for (const QString& field : names) {
                const QJsonValue expected = record.value(field);
                if (field == QLatin1String("Graph")) {
                    const QByteArray bytes = table.fieldBytes(field);
                    QCOMPARE(sha256(bytes), expected.isNull()
                                                ? sha256(QByteArray())
                                                : expected[QStringLiteral("sha256")].toString());
                } else if (expected.isDouble()) {
                    QCOMPARE(table.fieldText(field), QString::number(expected.toInteger()));
                } else if (table.fieldText(field) != expected.toString()) {
                    QFAIL(qPrintable(QStringLiteral("record %1, %2").arg(i + 1).arg(field)));
                }
            }
        }
        QCOMPARE(filesIn(m_dir.path()).filter(QStringLiteral(".part")), QStringList());
    }

    void existingFileIsNeverOverwritten() {
        const QString target = m_dir.filePath(QStringLiteral("exists.mdb"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        const Run run = convert(path(QStringLiteral("bank5_jet4.mdb")), target);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(target), qPrintable(run.err));
        QCOMPARE(bytes(target), QByteArray("keep me"));
    }

    // A bank the program could not open leaves nothing behind, and the reader is ended
    // properly: the one line on the error stream is the tool's own.
    void unusableBanksLeaveNoFile_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no kontrol")
            << path(QStringLiteral("nokontrol_jet4.mdb")) << QStringLiteral("нет таблицы kontrol");
        QTest::newRow("no PrOtvet")
            << path(QStringLiteral("missingfield_jet4.mdb")) << QStringLiteral("нет поля PrOtvet");
        QTest::newRow("not Jet") << QStringLiteral(KV_JET_FIXTURES "/README.txt")
                                 << QStringLiteral("не является банком вопросов старого формата");
        // The 2,000-question bank broken off after its first megabyte still has 675 records.
        const QString cut = m_dir.filePath(QStringLiteral("cut_jet4.mdb"));
        QFile file(cut);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes(path(QStringLiteral("bigbank_jet4.mdb"))).left(1024 * 1024));
        file.close();
        QTest::newRow("cut short") << cut << QStringLiteral("файл обрезан");
    }
    void unusableBanksLeaveNoFile() {
        QFETCH(QString, source);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const Run run = convert(source, dir.filePath(QStringLiteral("new.mdb")));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("kviront-bank: ")) &&
                     run.err.count(QLatin1Char('\n')) == 1 && run.err.contains(reason),
                 qPrintable(run.err));
        QCOMPARE(filesIn(dir.path()), QStringList());
    }

    // A picture that is no bitmap is refused by record number; the rest is carried over.
    void pictureThatIsNoBitmapIsRefused() {
        QByteArray data = bytes(path(QStringLiteral("bank5_jet4.mdb")));
        const QByteArray head = QByteArray::fromHex("424d460e000000000000360000002800");
        QCOMPARE(data.count(head), 1);
        data[data.indexOf(head)] = 'X'; // record 3's bitmap no longer is one
        const QString source = m_dir.filePath(QStringLiteral("badpicture_jet4.mdb"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(data);
        file.close();
        const QString converted = m_dir.filePath(QStringLiteral("badpicture.mdb"));
        const Run run = convert(source, converted);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QStringLiteral("%1: вопросов 5\n").arg(converted));
        QVERIFY2(run.err.startsWith(
                     QStringLiteral("kviront-bank: запись 3: рисунок не перенесён (Bitmap image "
                                    "is not valid)\n")),
                 qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 2);
        ADOConnection connection;
        connection.setConnectionString(converted);
        connection.open();
        ADOTable table(&connection);
        table.open();
        table.setRecNo(3);
        QCOMPARE(table.fieldSize(QStringLiteral("Graph")), 0);
        QCOMPARE(table.fieldText(QStringLiteral("Otvet2")), QStringLiteral("Зелёного"));
        table.setRecNo(4);
        QCOMPARE(table.fieldSize(QStringLiteral("Graph")), 1726);
    }
};

QTEST_GUILESS_MAIN(TestJetConvert)
#include "test_jet_convert.moc"
