#include "bankfixture.h"
#include "open_fixture.h"
#include "ui_seams.h"

#include <QTest>
#include <sys/stat.h>

// The open procedure as both windows run it, with data-aware controls bound as theirs are.
class TestOpenBank : public QObject, private OpenFixture {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { makeDataModule(); }
    void cleanupTestCase() { dropDataModule(); }
    void cleanup() { QCOMPARE(dialogs::pendingAnswers(), 0); }

    void createdClosedWithTheInitialConnectionString() {
        TDataModule1 fresh;
        QVERIFY(!fresh.ADOConnectionControl->connected());
        QVERIFY(!fresh.ADOTableControl->active());
        QCOMPARE(fresh.ADOTableControl->tableName(), QStringLiteral("kontrol"));
        QCOMPARE(fresh.ADOConnectionControl->connectionString(),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=kontrol.mdb;"
                                "Mode=Read;Persist Security Info=False"));
        QCOMPARE(fresh.DataSourceControl->dataset(), fresh.ADOTableControl);
    }

    void opensOnTheFirstRecordAndShowsIt() {
        const QString path = fixture::makeBank(m_dir, QStringLiteral("five.mdb"), 5);
        QCOMPARE(openPath(path), QString());
        QCOMPARE(dialogs::lastFilter(), QStringLiteral("Файлы базы данных|*.mdb"));
        QCOMPARE(connection()->connectionString(), path);
        QCOMPARE(table()->recNo(), 1);
        QCOMPARE(m_question->shownText(), QStringLiteral("Вопрос 1"));
        QCOMPARE(m_right->shownText(), QStringLiteral("2"));
        QCOMPARE(m_name->shownText(), QStringLiteral("1"));
        // The same file again reconnects to it.
        QCOMPARE(openPath(path), QString());
        QVERIFY(table()->active());
    }

    void cancelLeavesNoBankEvenWhenOneWasOpen() {
        QCOMPARE(openPath(fixture::makeBank(m_dir, QStringLiteral("c.mdb"), 2)), QString());
        dialogs::queueFileCancel();
        QVERIFY(!openBank(m_dialog, &m_host));
        QVERIFY(!connection()->connected());
        QVERIFY(!table()->active());
        QCOMPARE(m_question->shownText(), QString());
        QCOMPARE(m_name->shownText(), QString());
    }

    void missingFileFailsAndCreatesNothing() {
        const QString path = m_dir.filePath(QStringLiteral("absent.mdb"));
        const QString error = openPath(path);
        QVERIFY2(error.contains(path) && error.contains(QStringLiteral("не найден")),
                 qPrintable(error));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!connection()->connected());
        QCOMPARE(connection()->connectionString(), path);
        QVERIFY(!table()->active());
    }

    void fileThatIsNoDatabaseFailsAndStaysUntouched() {
        for (const QByteArray& bytes :
             {QByteArray("Standard Jet DB and some more bytes of a foreign file"), QByteArray(),
              QByteArray("SQLite format 3\0garbage garbage garbage", 40)}) {
            const QString path = m_dir.filePath(QStringLiteral("foreign.mdb"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
            file.close();
            const QString error = openPath(path);
            QVERIFY2(error.contains(path) && error.contains(QStringLiteral("банк")),
                     qPrintable(error));
            QVERIFY(!connection()->connected());
            QCOMPARE(fixture::readAll(path), bytes);
            QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
        }
    }

    void fifoAndDeviceAreRefusedWithoutBlocking() {
        // Opening a FIFO would wait for a writer that never comes; a device never ends.
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.mdb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString zero = m_dir.filePath(QStringLiteral("zero.mdb"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QCOMPARE(openPath(fifo),
                 QStringLiteral("«%1» — это канал (FIFO), а не файл банка вопросов").arg(fifo));
        QCOMPARE(openPath(zero),
                 QStringLiteral("«%1» — это устройство, а не файл банка вопросов").arg(zero));
        QVERIFY(!connection()->connected());
        QVERIFY(!table()->active());
    }

    void bankWithoutTableKontrolStaysConnected() {
        const QString path = m_dir.filePath(QStringLiteral("other.mdb"));
        fixture::sql(path, QStringLiteral("CREATE TABLE questions (Vopros TEXT)"));
        const QString error = openPath(path);
        QCOMPARE(error, QStringLiteral("В банке вопросов «%1» нет таблицы kontrol").arg(path));
        QVERIFY(connection()->connected());
        QVERIFY(!table()->active());
    }

    void missingFieldNamesTheControl() {
        const QString noQuestion = m_dir.filePath(QStringLiteral("novopros.mdb"));
        fixture::sql(noQuestion,
                     QStringLiteral("CREATE TABLE kontrol (Name INTEGER, Otvet1 TEXT, Otvet2 TEXT,"
                                    " Otvet3 TEXT, Otvet4 TEXT, PrOtvet INTEGER, Graph BLOB);"
                                    "INSERT INTO kontrol (Name) VALUES (1)"));
        QCOMPARE(openPath(noQuestion), QStringLiteral("DBMemo1: Field 'Vopros' not found"));
        QVERIFY(connection()->connected());
        QVERIFY(!table()->active());
        // Name is required too, although only the editor shows it.
        const QString noName = m_dir.filePath(QStringLiteral("noname.mdb"));
        fixture::sql(noName, QStringLiteral("CREATE TABLE kontrol (Vopros TEXT, Otvet1 TEXT, "
                                            "Otvet2 TEXT, Otvet3 TEXT, Otvet4 TEXT, PrOtvet "
                                            "INTEGER, Graph BLOB, Extra TEXT)"));
        QCOMPARE(openPath(noName), QStringLiteral("DBEdit1: Field 'Name' not found"));
        QCOMPARE(m_question->shownText(), QString());
    }

    void emptyTableIsAtItsEndAtOnce() {
        const QString path = m_dir.filePath(QStringLiteral("empty.mdb"));
        bankfile::create(path);
        QCOMPARE(openPath(path), QString());
        QVERIFY(table()->eof());
        QVERIFY(table()->isEmpty());
        QCOMPARE(table()->recNo(), 0);
        QCOMPARE(m_question->shownText(), QString());
        QVERIFY(m_image->picture().isNull());
    }

    void invalidPictureFailsTheMoveThatShowsIt() {
        const QByteArray bmp = encodeBitmap(fixture::picture(8, 4, qRgb(200, 0, 0)));
        const QVector<bankfile::Question> questions{
            fixture::question(1, fixture::withPrefix(bmp)), fixture::question(2),
            fixture::question(3, QByteArray("\xff\xd8\xff\xe0 JFIF", 10)),
            fixture::question(4, bmp)};
        QCOMPARE(openPath(fixture::makeBank(m_dir, QStringLiteral("pics.mdb"), questions)),
                 QString());
        QCOMPARE(m_image->picture().size(), QSize(8, 4)); // prefix skipped
        table()->next();
        QVERIFY(m_image->picture().isNull()); // empty Graph: no picture, no error
        try {
            table()->next();
            QFAIL("the JPEG was shown");
        } catch (const Error& e) {
            QCOMPARE(e.message(), QStringLiteral("Bitmap image is not valid"));
        }
        QCOMPARE(table()->recNo(), 3);
        QCOMPARE(m_question->shownText(), QStringLiteral("Вопрос 3")); // the others follow
        QVERIFY(m_image->picture().isNull());
        table()->setRecNo(4);
        QCOMPARE(m_image->picture().pixel(3, 3), qRgb(200, 0, 0));
    }

    // Pictures too large to be read with their record are checked from their first bytes
    // and size, and read when shown.
    void largePicturesAreCheckedAndShown() {
        const QImage large = fixture::picture(150, 60, qRgb(0, 90, 0)); // about 27 KB
        const QByteArray bmp = encodeBitmap(large);
        QByteArray rle = bmp.left(54); // 8-bit run-length: 150 runs of 1 pixel per row
        rle[28] = 8;
        rle[30] = 1;
        rle[46] = 1;
        rle.append(QByteArray("\x10\x20\x30\x00", 4)); // one colour
        for (int y = 0; y < 60; ++y)
            rle.append(QByteArray("\x01\x00", 2).repeated(150) + QByteArray("\x00\x00", 2));
        rle[10] = char(58);
        QVERIFY(rle.size() > 16 * 1024);
        QByteArray truncated = bmp.left(bmp.size() - 3);
        QByteArray jpeg = QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(30000, 'j');
        const QVector<bankfile::Question> questions{
            fixture::question(1, fixture::withPrefix(bmp)), fixture::question(2, rle),
            fixture::question(3, truncated), fixture::question(4, jpeg)};
        QCOMPARE(openPath(fixture::makeBank(m_dir, QStringLiteral("large.mdb"), questions)),
                 QString());
        QCOMPARE(table()->fieldSize(QStringLiteral("Graph")), qint64(bmp.size() + 8));
        QCOMPARE(m_image->picture().pixel(149, 59), qRgb(0, 90, 0));
        QCOMPARE(table()->fieldBytes(QStringLiteral("Graph")), fixture::withPrefix(bmp));
        table()->next();
        QCOMPARE(m_image->picture().pixel(10, 10), qRgb(0x30, 0x20, 0x10));
        for (int bad = 3; bad <= 4; ++bad) {
            try {
                table()->next();
                QFAIL("a broken picture was shown");
            } catch (const Error& e) {
                QCOMPARE(e.message(), QStringLiteral("Bitmap image is not valid"));
            }
            QCOMPARE(table()->recNo(), bad);
        }
    }
};

QTEST_MAIN(TestOpenBank)
#include "test_open_bank.moc"
