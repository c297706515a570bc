// The teacher's sittings, through kviront-bank as a teacher runs it against a real server:
// sitting open prints the codes, writes the slips and the server bank file and stores only the
// codes' hashes, or refuses and leaves nothing behind (nor a file, nor a row); sitting close,
// sitting list and withdraw say what they did.
#include "bankfixture.h"
#include "classapi.h"
#include "classroom_server.h"
#include "serverbankfile.h"
#include "skip.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

struct Tool {
    int code = -1;
    QString out, err;
};

const char* pem = "-----BEGIN CERTIFICATE-----\nMIIBkzCCATmgAwIBAgIQ\n-----END CERTIFICATE-----\n";

} // namespace

class TestServerSittings : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;   // the teacher's current folder
    QTemporaryDir m_banks; // the banks published

    Tool run(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start(QStringLiteral(KV_BANK_TOOL), args);
        p.waitForFinished(120000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString value(const QString& sql) {
        pg::Connection c(m_server->cluster.superConninfo());
        return c.exec(sql.toUtf8().constData()).text(0, 0);
    }
    QString stored() {
        return value(QStringLiteral("SELECT (SELECT count(*) FROM kviront.sittings) || ' ' || "
                                    "(SELECT count(*) FROM kviront.codes)"));
    }
    QStringList files() { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }
    // The teacher key a command printed, as stored (no dashes).
    static QString keyIn(const QString& out) {
        static const QRegularExpression key(
            QStringLiteral("ключ учителя[^\n]*: ([2-9A-HJKMNP-Z-]+)\n"),
            QRegularExpression::CaseInsensitiveOption);
        return key.match(out).captured(1).remove(QLatin1Char('-'));
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<ClassroomServer>();
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        m_server->publish(fixture::makeBank(m_banks, QStringLiteral("v1.mdb"), 3),
                          QStringLiteral("Физика"));
        m_server->publish(fixture::makeBank(m_banks, QStringLiteral("v2.mdb"), 4),
                          QStringLiteral("Физика"));
        m_server->publish(fixture::makeBank(m_banks, QStringLiteral("w.mdb"), 2),
                          QStringLiteral("Снятый"));
        QFile list(m_dir.filePath(QStringLiteral("9а.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("\xEF\xBB\xBFИванов Иван\r\n\r\n  <b>Петрова</b> & \"Анна\"  \n");
        list.close();
        QFile bad(m_dir.filePath(QStringLiteral("cp1251.txt")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("\xC8\xE2\xE0\xED\xEE\xE2\n");
    }

    void openRefusesAndLeavesNothing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, QStringList args, int code, const char* message) {
            QTest::newRow(name) << args << code << QString::fromUtf8(message);
        };
        // Before the server knows its address: nothing can be opened without --url.
        row("no address yet", {"--count", "2"}, 1, "выполните на нём «sudo kviront-server setup»");
        row("unknown bank", {"--count", "2", "--url", "https://h"}, 1, "нет банка «Нет»");
        row("unknown version", {"--count", "1", "--version", "9"}, 1, "нет версии 9");
        row("withdrawn bank", {"--count", "1"}, 1, "снят");
        row("time not allowed", {"--count", "1", "--seconds", "40"}, 2, "--seconds");
        row("no codes asked for", {}, 2, "нужен список класса (--list)");
        row("a list not in UTF-8", {"--list", "cp1251.txt"}, 1, "не текст UTF-8");
        row("an end that is over", {"--count", "1", "--until", "2001-01-01 10:00"}, 1,
            "уже прошло");
        row("an end that does not read", {"--count", "1", "--until", "завтра"}, 2, "--until");
        row("a start after the end",
            {"--count", "1", "--from", "2099-01-01 11:00", "--until", "2099-01-01 10:00"}, 1,
            "раньше времени окончания");
        row("grades that do not fall", {"--count", "1", "--grades", "50,75,90"}, 2, "--grades");
        row("an address not https", {"--count", "1", "--url", "http://h"}, 1, "https://");
        row("a name taken", {"--count", "1", "--name", "Занято"}, 1, "уже есть");
        row("slips over a file", {"--count", "1", "--slips", "9а.txt"}, 1, "уже есть");
        row("the bank file over a bank", {"--count", "1", "--link", "bank.mdb"}, 1,
            "не ссылка на банк сервера");
    }
    void openRefusesAndLeavesNothing() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        if (tag == QLatin1String("withdrawn bank"))
            QCOMPARE(run({"withdraw", "Снятый", m_server->teacher()}).code, 0);
        if (tag == QLatin1String("a name taken"))
            QCOMPARE(run({"sitting", "open", "Физика", m_server->teacher(), "--seconds", "30",
                          "--count", "1", "--name", "Занято"})
                         .code,
                     0);
        if (tag == QLatin1String("the bank file over a bank"))
            fixture::makeBank(m_dir, QStringLiteral("bank.mdb"), 1);
        const QString before = stored();
        const QStringList filesBefore = files();
        const QString bank = tag == QLatin1String("unknown bank")     ? QStringLiteral("Нет")
                             : tag == QLatin1String("withdrawn bank") ? QStringLiteral("Снятый")
                                                                      : QStringLiteral("Физика");
        QStringList all{"sitting", "open", bank, m_server->teacher(), "--seconds", "35"};
        const Tool t = run(all + args);
        QCOMPARE(t.code, exitCode);
        QVERIFY2(t.err.contains(message), qPrintable(t.err));
        QCOMPARE(stored(), before);
        QCOMPARE(files(), filesBefore);
        if (tag == QLatin1String("no address yet")) // the server is set up from here on
            m_server->cluster.superSql(
                QStringLiteral("INSERT INTO kviront.server_identity (url, certificate) VALUES "
                               "('https://10.0.0.5:8443', '%1')")
                    .arg(QLatin1String(pem)));
    }

    void openPrintsTheCodesAndStoresOnlyTheirHashes() {
        const Tool t = run({"sitting",     "open",
                            "Физика",      m_server->teacher(),
                            "--seconds",   "45",
                            "--list",      "9а.txt",
                            "--count",     "2",
                            "--name",      "9А / 8 декабря",
                            "--version",   "1",
                            "--separator", ",",
                            "--grace",     "0",
                            "--grades",    "80,60,40",
                            "--own-order", "--hide-answers",
                            "--show-grade"});
        QCOMPARE(t.code, 0);
        QVERIFY2(t.out.startsWith(QStringLiteral("Тестирование «9А / 8 декабря» открыто: банк "
                                                 "«Физика», версия 1, вопросов 3, по 45 с на "
                                                 "вопрос, до закрытия.\n")),
                 qPrintable(t.out + t.err));
        static const QRegularExpression line(
            QStringLiteral(
                "^ +(\\d)\\. ([2-9A-HJKMNP-Z]{4}-[2-9A-HJKMNP-Z]{4}-[2-9A-HJKMNP-Z]{2})  "
                "(.*)$"),
            QRegularExpression::MultilineOption);
        QStringList codes, names;
        for (auto m = line.globalMatch(t.out); m.hasNext();) {
            const QRegularExpressionMatch match = m.next();
            codes << match.captured(2).remove(QLatin1Char('-'));
            names << match.captured(3);
        }
        QCOMPARE(names, (QStringList{"Иванов Иван", "<b>Петрова</b> & \"Анна\"", "(без имени)",
                                     "(без имени)"}));
        QCOMPARE(QSet<QString>(codes.begin(), codes.end()).size(), 4);
        // Only the hashes are stored, with the names and the sitting's settings.
        QString hashes;
        for (const QString& code : codes)
            hashes +=
                QString::fromLatin1(
                    QCryptographicHash::hash(code.toLatin1(), QCryptographicHash::Sha256).toHex()) +
                QLatin1Char(' ');
        QCOMPARE(value(QStringLiteral(
                     "SELECT string_agg(encode(c.code_hash, 'hex'), ' ' ORDER BY c.position) || "
                     "' ' FROM kviront.codes c JOIN kviront.sittings s ON s.id = c.sitting_id "
                     "WHERE s.name = '9А / 8 декабря'")),
                 hashes);
        QCOMPARE(value(QStringLiteral("SELECT concat_ws(' ', allowed_seconds, decimal_separator, "
                                      "grace_seconds, v.version, grade5, grade4, grade3, "
                                      "own_order, hide_answers, show_grade) FROM kviront.sittings "
                                      "s JOIN kviront.bank_versions v ON v.id = s.version_id "
                                      "WHERE s.name = '9А / 8 декабря'")),
                 QStringLiteral("45 , 0 1 80 60 40 t t t"));
        // The class page's address and key, of which only the hash is stored.
        QVERIFY2(t.out.contains(QStringLiteral("Правила: оценки «5» от 80 %, «4» от 60 %, «3» от "
                                               "40 % (ученик видит оценку); у каждого ученика "
                                               "свой порядок вопросов; верные ответы скрыты до "
                                               "закрытия.\nСтраница класса: "
                                               "https://10.0.0.5:8443/class/\n")),
                 qPrintable(t.out));
        const QString key = keyIn(t.out);
        QCOMPARE(key.size(), classapi::teacherKeyLength);
        QCOMPARE(value(QStringLiteral("SELECT encode(teacher_key_hash, 'hex') FROM "
                                      "kviront.sittings WHERE name = '9А / 8 декабря'")),
                 QString::fromLatin1(
                     QCryptographicHash::hash(key.toLatin1(), QCryptographicHash::Sha256).toHex()));
        QCOMPARE(
            value(QStringLiteral("SELECT count(*) FROM kviront.codes WHERE position(convert_to("
                                 "'%1', 'UTF8') IN code_hash) > 0")
                      .arg(codes[0])),
            QStringLiteral("0"));
        // The two files, named after the sitting in the current folder ("/" kept out of it).
        const serverbank::SittingLink link =
            serverbank::readSitting(m_dir.filePath(QStringLiteral("9А _ 8 декабря.mdb")));
        QCOMPARE(link.server, QStringLiteral("https://10.0.0.5:8443"));
        QCOMPARE(link.sitting, QStringLiteral("9А _ 8 декабря").replace('_', '/'));
        QCOMPARE(link.certificate, QByteArray(pem));
        const QByteArray slips =
            fixture::readAll(m_dir.filePath(QStringLiteral("9А _ 8 декабря — коды.html")));
        QVERIFY(slips.contains("&lt;b&gt;Петрова&lt;/b&gt; &amp; &quot;Анна&quot;"));
        QVERIFY(!slips.contains("<b>Петрова"));
        QCOMPARE(slips.count("class=\"slip\""), 4);
        // The codes are the trainees' keys: the slips are the teacher's to read alone.
        QCOMPARE(QFile(m_dir.filePath(QStringLiteral("9А _ 8 декабря — коды.html"))).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        for (const QString& code : codes)
            QVERIFY(slips.contains(
                QString::fromStdString(classapi::groupedCode(code.toStdString())).toUtf8()));
    }

    void closeListAndWithdrawSayWhatTheyDid() {
        const auto says = [this](const QStringList& args, int code, const QString& text) {
            const Tool t = run(args);
            QCOMPARE(t.code, code);
            QVERIFY2((t.out + t.err).contains(text), qPrintable(t.out + t.err));
        };
        const QString teacher = m_server->teacher();
        says({"sitting", "list", teacher}, 0,
             "«9А / 8 декабря» — идёт: банк «Физика», версия 1, 45 с;");
        says({"sitting", "list", teacher}, 0, "кодов 4, начато 0, закончено 0");
        says({"sitting", "close", "9А / 8 декабря", teacher}, 0,
             "Тестирование «9А / 8 декабря» закрыто: новые тесты не начнутся");
        says({"sitting", "close", "9А / 8 декабря", teacher}, 0, "уже было закрыто");
        says({"sitting", "close", "Нет такого", teacher}, 1, "нет тестирования «Нет такого»");
        const QString before = value(QStringLiteral(
            "SELECT encode(teacher_key_hash, 'hex') FROM kviront.sittings WHERE name = 'Занято'"));
        const Tool k = run({"sitting", "key", "Занято", teacher});
        QCOMPARE(k.code, 0);
        QVERIFY2(k.out.contains(QStringLiteral("Страница класса: https://10.0.0.5:8443/class/")),
                 qPrintable(k.out));
        QCOMPARE(value(QStringLiteral("SELECT encode(teacher_key_hash, 'hex') FROM "
                                      "kviront.sittings WHERE name = 'Занято'")),
                 QString::fromLatin1(
                     QCryptographicHash::hash(keyIn(k.out).toLatin1(), QCryptographicHash::Sha256)
                         .toHex()));
        QVERIFY(!before.isEmpty() && !k.out.contains(before));
        says({"sitting", "key", "Нет такого", teacher}, 1, "нет тестирования «Нет такого»");
        says({"sitting", "list", teacher}, 0, "«9А / 8 декабря» — закрыто");
        says({"withdraw", "Физика", teacher, "--version", "2"}, 0, "Версия 2 банка «Физика» снята");
        says({"withdraw", "Физика", teacher, "--version", "2"}, 0, "уже была снята");
        says({"withdraw", "Физика", teacher, "--version", "3"}, 1, "нет версии 3");
        says({"withdraw", "Физика", teacher}, 0, "Банк «Физика» снят");
        says({"withdraw", "Нет", teacher}, 1, "нет банка «Нет»");
        says({"sitting", "list", teacher}, 0, "«Занято» — банк снят");
    }
};

QTEST_GUILESS_MAIN(TestServerSittings)
#include "test_server_sittings.moc"
