// The server bank file: what it holds and how it is told apart, what is refused and why (a
// file of the first format as out of date), and that no bank is ever written over.
#include "adoconnection.h"
#include "bankfixture.h"
#include "error_of.h"
#include "file_bytes.h"
#include "serverbankfile.h"

#include <QTemporaryDir>
#include <QTest>

class TestServerBankFile : public QObject {
    Q_OBJECT

    // A file of the first format, which held a database login for the trainees.
    inline static const QByteArray firstFormat =
        "KVIRONT SERVER BANK 1\nconninfo=host=10.0.0.5 port=5433 dbname=kv user=kviront_trainee\n"
        "bank=Физика 9\n";

    static QByteArray pem() {
        return "-----BEGIN CERTIFICATE-----\nMIIBszCCAVmgAwIBAgIUQ2Fmb2xkZXIgdGVzdA==\n"
               "-----END CERTIFICATE-----\n";
    }

private slots:
    // Only the keys the program knows, each once, and one certificate; the first format is
    // recognised to say it is out of date.
    void brokenSittingLinksAreRefusedWithTheReason_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray head = "\xEF\xBB\xBFKVIRONT SERVER BANK 2\r\n";
        const QByteArray server = "server=https://10.0.0.5:8443\r\n";
        const QByteArray sitting = "sitting=9А\r\n";
        QTest::newRow("first format")
            << firstFormat
            << "«/класс/тест.mdb» устарел: это ссылка на банк сервера класса "
               "прежнего вида, с которой программа больше не работает. Попросите "
               "учителя выдать новый файл тестирования.";
        QTest::newRow("unknown key") << head + server + sitting + "conninfo=host=evil\n" + pem()
                                     << "неизвестный ключ «conninfo» в строке 4";
        QTest::newRow("repeated key")
            << head + server + server + sitting + pem() << "ключ «server» повторён";
        QTest::newRow("plain http")
            << head + "server=http://10.0.0.5\n" + sitting + pem() << "не начинается с https://";
        QTest::newRow("path in address")
            << head + "server=https://10.0.0.5/api?x=1\n" + sitting + pem() << "лишнее";
        QTest::newRow("password in address")
            << head + "server=https://u:p@10.0.0.5\n" + sitting + pem() << "лишнее";
        QTest::newRow("no certificate") << head + server + sitting << "нет сертификата";
        QTest::newRow("two certificates")
            << head + server + sitting + pem() + pem() << "больше одного";
        QTest::newRow("certificate cut short")
            << head + server + sitting + pem().left(60) << "не закончен";
        QTest::newRow("no sitting") << head + server + pem() << "нет имени тестирования";
        QTest::newRow("control character")
            << head + server + "sitting=a\tb\n" + pem() << "управляющие символы";
    }
    void brokenSittingLinksAreRefusedWithTheReason() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString message =
            errorOf([&] { serverbank::parseSitting(bytes, "/класс/тест.mdb"); });
        QVERIFY2(message.contains("«/класс/тест.mdb»"), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }

    // A link keeps every character; it never replaces a bank, but does replace an older server
    // bank file of the same name, of the first format.
    void aLinkKeepsEveryCharacterAndNeverReplacesABank() {
        QTemporaryDir dir;
        const QString bank = fixture::makeBank(dir, "bank.mdb", 2);
        const QByteArray before = fileBytes(bank);
        const serverbank::SittingLink link{"https://[fd00::5]:8443", "O'Brien \"9\" = 100% 🦔",
                                           pem()};
        const QString message = errorOf([&] { serverbank::writeSitting(bank, link); });
        QVERIFY2(message.contains("не перезаписываем"), qPrintable(message));
        QCOMPARE(fileBytes(bank), before);
        const QString path = dir.filePath("тест.mdb");
        writeFile(path, firstFormat);
        serverbank::writeSitting(path, link);
        QVERIFY(fileBytes(path).startsWith("KVIRONT SERVER BANK 2\n"));
        QCOMPARE(serverbank::linkFormat(fileBytes(path)), 2);
        const serverbank::SittingLink back = serverbank::readSitting(path);
        QCOMPARE(back.server, link.server);
        QCOMPARE(back.sitting, link.sitting);
        QCOMPARE(back.certificate, link.certificate);
    }

    // The editor's open: a server bank file is told from a bank, refused with what it is, and
    // left exactly as it was; a first-format file says it is out of date.
    void engineTellsALinkFromABankAndLeavesItAlone_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("sitting") << serverbank::sittingBytes(
                                        {QStringLiteral("https://10.0.0.5:8443"),
                                         QStringLiteral("Физика 9А"), pem()})
                                 << QStringList{QStringLiteral("«Физика 9А»"),
                                                QStringLiteral("«10.0.0.5:8443»"),
                                                QStringLiteral("опубликуйте его заново")};
        QTest::newRow("first format")
            << firstFormat
            << QStringList{QStringLiteral("прежнего вида"), QStringLiteral("выдать новый файл")};
    }
    void engineTellsALinkFromABankAndLeavesItAlone() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, said);
        QTemporaryDir dir;
        const QString link = dir.filePath("физика.mdb");
        writeFile(link, bytes);
        ADOConnection connection;
        connection.setConnectionString(link);
        const QString message = errorOf([&] { connection.open(); });
        for (const QString& part : said)
            QVERIFY2(message.contains(part), qPrintable(message));
        QVERIFY(!connection.connected());
        QCOMPARE(fileBytes(link), bytes);
    }
};

QTEST_GUILESS_MAIN(TestServerBankFile)
#include "test_server_bankfile.moc"
