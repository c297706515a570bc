// The teacher's sittings, through kviront-bank as a teacher runs it against a real server:
// sitting open prints the codes, writes the slips and the server bank file and stores only the
// codes' hashes, or refuses and leaves nothing behind (nor a file, nor a row); sitting close,
// sitting list and withdraw say what they did.
#include "bankfixture.h"
#include "classapi.h"
#include "file_bytes.h"
#include "server_test.h"
#include "serverbankfile.h"
#include "tool_run.h"

#include <QRegularExpression>
#include <QTest>

using servertest::sha256Hex;

namespace {
const char* pem = "-----BEGIN CERTIFICATE-----\nMIIBkzCCATmgAwIBAgIQ\n-----END CERTIFICATE-----\n";
} // namespace

class TestServerSittings : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassroomServer> m_server;
    QTemporaryDir m_dir;   // the teacher's current folder
    QTemporaryDir m_banks; // the banks published

    toolrun::Result run(const QStringList& args) {
        return toolrun::run(KV_BANK_TOOL, args, m_dir.path());
    }
    QString value(const QString& sql) { return servertest::superValue(*m_server, sql); }
    QString stored() {
        return value("SELECT (SELECT count(*) FROM kviront.sittings) || ' ' || "
                     "(SELECT count(*) FROM kviront.codes)");
    }
    QString keyHash(const QString& sitting) {
        return value("SELECT encode(teacher_key_hash, 'hex') FROM kviront.sittings WHERE name = '" +
                     sitting + "'");
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
        KV_START_SERVER(m_server);
        m_server->publish(fixture::makeBank(m_banks, "v1.mdb", 3), "Физика");
        m_server->publish(fixture::makeBank(m_banks, "v2.mdb", 4), "Физика");
        m_server->publish(fixture::makeBank(m_banks, "w.mdb", 2), "Снятый");
        writeFile(m_dir.filePath("9а.txt"),
                  "\xEF\xBB\xBFИванов Иван\r\n\r\n  <b>Петрова</b> & \"Анна\"  \n");
        writeFile(m_dir.filePath("cp1251.txt"), "\xC8\xE2\xE0\xED\xEE\xE2\n");
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
        if (tag == "withdrawn bank")
            QCOMPARE(run({"withdraw", "Снятый", m_server->teacher()}).code, 0);
        if (tag == "a name taken")
            QCOMPARE(run({"sitting", "open", "Физика", m_server->teacher(), "--seconds", "30",
                          "--count", "1", "--name", "Занято"})
                         .code,
                     0);
        if (tag == "the bank file over a bank")
            fixture::makeBank(m_dir, "bank.mdb", 1);
        const QString before = stored();
        const QStringList filesBefore = files();
        const QString bank = tag == "unknown bank"     ? "Нет"
                             : tag == "withdrawn bank" ? "Снятый"
                                                       : "Физика";
        const toolrun::Result t = run(
            QStringList{"sitting", "open", bank, m_server->teacher(), "--seconds", "35"} + args);
        QCOMPARE(t.code, exitCode);
        QVERIFY2(t.err.contains(message), qPrintable(t.err));
        QCOMPARE(stored(), before);
        QCOMPARE(files(), filesBefore);
        if (tag == "no address yet") // the server is set up from here on
            m_server->cluster.superSql(
                QStringLiteral("INSERT INTO kviront.server_identity (url, certificate) VALUES "
                               "('https://10.0.0.5:8443', '%1')")
                    .arg(QLatin1String(pem)));
    }

    void openPrintsTheCodesAndStoresOnlyTheirHashes() {
        const QString name = QStringLiteral("9А / 8 декабря");
        const toolrun::Result t =
            run(QStringList{"sitting", "open", "Физика", m_server->teacher(), "--name", name} +
                QStringLiteral("--seconds 45 --list 9а.txt --count 2 --version 1 --separator , "
                               "--grace 0 --grades 80,60,40 --own-order --hide-answers "
                               "--show-grade")
                    .split(QLatin1Char(' ')));
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
        QString hashes;
        for (auto m = line.globalMatch(t.out); m.hasNext();) {
            const QRegularExpressionMatch match = m.next();
            codes << match.captured(2).remove(QLatin1Char('-'));
            names << match.captured(3);
            hashes += sha256Hex(codes.last()) + QLatin1Char(' ');
        }
        QCOMPARE(names, (QStringList{"Иванов Иван", "<b>Петрова</b> & \"Анна\"", "(без имени)",
                                     "(без имени)"}));
        QCOMPARE(QSet<QString>(codes.begin(), codes.end()).size(), 4);
        // Only the hashes are stored, with the names and the sitting's settings.
        QCOMPARE(value("SELECT string_agg(encode(c.code_hash, 'hex'), ' ' ORDER BY c.position) || "
                       "' ' FROM kviront.codes c JOIN kviront.sittings s ON s.id = c.sitting_id "
                       "WHERE s.name = '9А / 8 декабря'"),
                 hashes);
        QCOMPARE(value("SELECT concat_ws(' ', allowed_seconds, decimal_separator, grace_seconds, "
                       "v.version, grade5, grade4, grade3, own_order, hide_answers, show_grade) "
                       "FROM kviront.sittings s JOIN kviront.bank_versions v ON v.id = "
                       "s.version_id WHERE s.name = '9А / 8 декабря'"),
                 QStringLiteral("45 , 0 1 80 60 40 t t t"));
        // The class page's address and key, of which only the hash is stored.
        QVERIFY2(t.out.contains(QStringLiteral("Правила: оценки «5» от 80 %, «4» от 60 %, «3» от "
                                               "40 % (ученик видит оценку); у каждого ученика "
                                               "свой порядок вопросов; верные ответы скрыты до "
                                               "закрытия.\nСтраница класса: "
                                               "https://10.0.0.5:8443/class/\n")),
                 qPrintable(t.out));
        QCOMPARE(keyIn(t.out).size(), classapi::teacherKeyLength);
        QCOMPARE(keyHash(name), sha256Hex(keyIn(t.out)));
        // The two files, named after the sitting in the current folder ("/" kept out of it).
        const serverbank::SittingLink link =
            serverbank::readSitting(m_dir.filePath("9А _ 8 декабря.mdb"));
        QCOMPARE(link.server, QStringLiteral("https://10.0.0.5:8443"));
        QCOMPARE(link.sitting, name);
        QCOMPARE(link.certificate, QByteArray(pem));
        const QString slipsFile = m_dir.filePath("9А _ 8 декабря — коды.html");
        const QByteArray slips = fileBytes(slipsFile);
        QVERIFY(slips.contains("&lt;b&gt;Петрова&lt;/b&gt; &amp; &quot;Анна&quot;"));
        QVERIFY(!slips.contains("<b>Петрова"));
        QCOMPARE(slips.count("class=\"slip\""), 4);
        for (const QString& code : codes)
            QVERIFY(slips.contains(classapi::groupedCode(code.toStdString()).c_str()));
        // The codes are the trainees' keys: the slips are the teacher's to read alone.
        QCOMPARE(QFile(slipsFile).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
    }

    void closeListAndWithdrawSayWhatTheyDid() {
        const auto says = [this](const QStringList& args, int code, const QString& text) {
            const toolrun::Result t = run(args);
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
        // A new key: its hash replaces the old one.
        const QString before = keyHash("Занято");
        const toolrun::Result k = run({"sitting", "key", "Занято", teacher});
        QCOMPARE(k.code, 0);
        QVERIFY2(k.out.contains("Страница класса: https://10.0.0.5:8443/class/"),
                 qPrintable(k.out));
        QCOMPARE(keyHash("Занято"), sha256Hex(keyIn(k.out)));
        QVERIFY(!before.isEmpty() && keyHash("Занято") != before);
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
