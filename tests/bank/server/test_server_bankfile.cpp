// The server bank file and the client's messages that need no server: what the file holds and
// how it is told apart, what is refused and why, and that no bank is ever written over.
#include "adoconnection.h"
#include "bankfixture.h"
#include "error_of.h"
#include "serverbankfile.h"
#include "traineeclient.h"

#include <QTemporaryDir>
#include <QTest>

using serverbank::BankLink;

class TestServerBankFile : public QObject {
    Q_OBJECT

    static QByteArray pem() {
        return "-----BEGIN CERTIFICATE-----\nMIIBszCCAVmgAwIBAgIUQ2Fmb2xkZXIgdGVzdA==\n"
               "-----END CERTIFICATE-----\n";
    }

private slots:
    void roundTripKeepsEveryCharacter_data() {
        QTest::addColumn<QString>("bank");
        QTest::addColumn<QString>("conninfo");
        QTest::newRow("plain") << QStringLiteral("Физика 9")
                               << QStringLiteral(
                                      "host=10.0.0.5 dbname=kviront user=kviront_trainee");
        QTest::newRow("hostile") << QStringLiteral("O'Brien \"9\" \\ 100% ; DROP TABLE runs; --")
                                 << QStringLiteral("host=srv password='a \\'b\\' \\\\ c'");
        QTest::newRow("unicode") << QStringLiteral("Ёжик 🦔 עברית e\u0301 日本")
                                 << QStringLiteral("service=класс");
    }
    void roundTripKeepsEveryCharacter() {
        QFETCH(QString, bank);
        QFETCH(QString, conninfo);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("link.mdb"));
        serverbank::writeLink(path, {conninfo, bank});
        const QByteArray bytes = fixture::readAll(path);
        QVERIFY(bytes.startsWith("KVIRONT SERVER BANK 1\n"));
        QVERIFY(serverbank::isServerBankHead(bytes.left(serverbank::headBytes)));
        const BankLink back = serverbank::readLink(path);
        QCOMPARE(back.bank, bank);
        QCOMPARE(back.conninfo, conninfo);
    }

    void sittingLinkKeepsEveryCharacter() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("тест.mdb"));
        const serverbank::SittingLink link{QStringLiteral("https://[fd00::5]:8443"),
                                           QStringLiteral("O'Brien \"9\" = 100% 🦔"), pem()};
        serverbank::writeSitting(path, link);
        const QByteArray bytes = fixture::readAll(path);
        QVERIFY(bytes.startsWith("KVIRONT SERVER BANK 2\n"));
        QCOMPARE(serverbank::linkFormat(bytes), 2);
        const serverbank::SittingLink back = serverbank::readSitting(path);
        QCOMPARE(back.server, link.server);
        QCOMPARE(back.sitting, link.sitting);
        QCOMPARE(back.certificate, link.certificate);
    }

    // Only the keys the program knows, each once, and one certificate; the first format is
    // recognised to say it is out of date.
    void brokenSittingLinksAreRefusedWithTheReason_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray head = "\xEF\xBB\xBFKVIRONT SERVER BANK 2\r\n";
        const QByteArray server = "server=https://10.0.0.5:8443\r\n";
        const QByteArray sitting = "sitting=9А\r\n";
        QTest::newRow("first format")
            << QByteArray("KVIRONT SERVER BANK 1\nconninfo=host=a\nbank=b\n")
            << QStringLiteral("выдать новый файл");
        QTest::newRow("unknown key") << head + server + sitting + "conninfo=host=evil\n" + pem()
                                     << QStringLiteral("неизвестный ключ «conninfo» в строке 4");
        QTest::newRow("repeated key")
            << head + server + server + sitting + pem() << QStringLiteral("ключ «server» повторён");
        QTest::newRow("plain http") << head + "server=http://10.0.0.5\n" + sitting + pem()
                                    << QStringLiteral("не начинается с https://");
        QTest::newRow("path in address")
            << head + "server=https://10.0.0.5/api?x=1\n" + sitting + pem()
            << QStringLiteral("лишнее");
        QTest::newRow("password in address")
            << head + "server=https://u:p@10.0.0.5\n" + sitting + pem() << QStringLiteral("лишнее");
        QTest::newRow("no certificate")
            << head + server + sitting << QStringLiteral("нет сертификата");
        QTest::newRow("two certificates")
            << head + server + sitting + pem() + pem() << QStringLiteral("больше одного");
        QTest::newRow("certificate cut short")
            << head + server + sitting + pem().left(60) << QStringLiteral("не закончен");
        QTest::newRow("no sitting")
            << head + server + pem() << QStringLiteral("нет имени тестирования");
        QTest::newRow("control character")
            << head + server + "sitting=a\tb\n" + pem() << QStringLiteral("управляющие символы");
    }
    void brokenSittingLinksAreRefusedWithTheReason() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString message =
            errorOf([&] { serverbank::parseSitting(bytes, QStringLiteral("/класс/тест.mdb")); });
        QVERIFY2(message.contains(QStringLiteral("«/класс/тест.mdb»")), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }

    void fileEditedOnWindowsStillReads() {
        const QByteArray bytes = "\xEF\xBB\xBFKVIRONT SERVER BANK 1\r\n# comment\r\n\r\n"
                                 "conninfo=host=srv user=kviront_trainee\r\nbank=Химия\r\n";
        QVERIFY(serverbank::isServerBankHead(bytes));
        const BankLink link = serverbank::parseLink(bytes, QStringLiteral("x.mdb"));
        QCOMPARE(link.bank, QStringLiteral("Химия"));
        QCOMPARE(link.conninfo, QStringLiteral("host=srv user=kviront_trainee"));
    }

    void brokenFilesAreRefusedWithTheReason_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no signature")
            << QByteArray("conninfo=host=a\nbank=b\n") << QStringLiteral("нет подписи");
        QTest::newRow("newer format")
            << QByteArray("KVIRONT SERVER BANK 2\nconninfo=host=a\nbank=b\n")
            << QStringLiteral("более новой версией");
        QTest::newRow("no conninfo") << QByteArray("KVIRONT SERVER BANK 1\nbank=b\n")
                                     << QStringLiteral("нет строки подключения");
        QTest::newRow("no bank") << QByteArray("KVIRONT SERVER BANK 1\nconninfo=host=a\n")
                                 << QStringLiteral("нет имени банка");
        QTest::newRow("stray line")
            << QByteArray("KVIRONT SERVER BANK 1\nconninfo=host=a\nbank=b\nx\n")
            << QStringLiteral("непонятная строка 4");
        QTest::newRow("bad conninfo")
            << QByteArray("KVIRONT SERVER BANK 1\nconninfo=host='a\nbank=b\n")
            << QStringLiteral("строка подключения не читается");
    }
    void brokenFilesAreRefusedWithTheReason() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString message =
            errorOf([&] { serverbank::parseLink(bytes, QStringLiteral("/класс/банк.mdb")); });
        QVERIFY2(message.contains(QStringLiteral("«/класс/банк.mdb»")), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }

    void linkNeverReplacesABank() {
        QTemporaryDir dir;
        const QString bank = fixture::makeBank(dir, QStringLiteral("bank.mdb"), 2);
        const QByteArray before = fixture::readAll(bank);
        const QString message = errorOf([&] {
            serverbank::writeLink(bank, {QStringLiteral("host=a"), QStringLiteral("b")});
        });
        QVERIFY2(message.contains(QStringLiteral("не перезаписываем")), qPrintable(message));
        QCOMPARE(fixture::readAll(bank), before);
        // An older link to the same bank is brought up to date.
        const QString link = dir.filePath(QStringLiteral("link.mdb"));
        serverbank::writeLink(link, {QStringLiteral("host=old"), QStringLiteral("b")});
        serverbank::writeLink(link, {QStringLiteral("host=new"), QStringLiteral("b")});
        QCOMPARE(serverbank::readLink(link).conninfo, QStringLiteral("host=new"));
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
            << serverbank::linkBytes({QStringLiteral("host=10.0.0.5 port=5433 dbname=kv"),
                                      QStringLiteral("Физика 9")})
            << QStringList{QStringLiteral("прежнего вида"), QStringLiteral("выдать новый файл")};
    }
    void engineTellsALinkFromABankAndLeavesItAlone() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, said);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("физика.mdb"));
        QFile file(link);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        ADOConnection connection;
        connection.setConnectionString(link);
        const QString message = errorOf([&] { connection.open(); });
        for (const QString& part : said)
            QVERIFY2(message.contains(part), qPrintable(message));
        QVERIFY(!connection.connected());
        QCOMPARE(fixture::readAll(link), bytes);
    }

    void zeroCharacterIsRefusedBeforeItCouldBeCutShort() {
        serverbank::TraineeClient client(QStringLiteral("host=/nonexistent port=5999"));
        try {
            client.startRun(QStringLiteral("b"), QStringLiteral("Иван") + QChar(0) + "ов",
                            QStringLiteral("h"), 35, QLatin1Char(','));
            QFAIL("a name with U+0000 went to the server");
        } catch (const ServerError& e) {
            QCOMPARE(e.kind(), ServerError::Kind::Refused);
            QVERIFY2(e.message().contains(QStringLiteral("нулевым символом")),
                     qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerBankFile)
#include "test_server_bankfile.moc"
