// The class server's plain logic: configuration, requests, refusals, limits, logs, certificate.
#include "certificate.h"
#include "config.h"
#include "log.h"
#include "ratelimit.h"
#include "refusal.h"
#include "requests.h"

#include <QFile>
#include <QTest>
#include <functional>

using namespace kvserver;

namespace {

// The message of what `action` throws ("" for nothing), after the status for a refusal.
template <class E> QString thrown(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& e) {
        if constexpr (std::is_same_v<E, Refused>)
            return QString::number(e.refusal().status) + QLatin1Char(' ') + e.what();
        return QString::fromUtf8(e.what());
    }
    return QString();
}

const char* token = "\"token\":\"0f8fad5b-d9cb-469f-a165-70867728950e\"";

} // namespace

class TestDaemonCore : public QObject {
    Q_OBJECT

private slots:
    void configIsReadStrictly_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // a part of the message; "" when it is taken
        const auto row = [](const char* name, const char* text, const char* refusal) {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(refusal);
        };
        row("defaults", "", "");
        row("comments and blanks", "# x\n\n  port = 0  \r\npool=8\n", "");
        row("test database",
            "database = host=/tmp/x port=5433 dbname=k user=kviront password='a b' "
            "connect_timeout=3",
            "");
        row("unknown key", "prot = 1", "строка 1: неизвестный ключ «prot»");
        row("twice", "port = 1\nport = 2", "строка 2: ключ «port» задан второй раз");
        row("no equals", "\nport 8443", "строка 2: нужно «ключ = значение»");
        row("port range", "port = 65536", "«port» должно быть числом от 0 до 65535");
        row("not a number", "pool = 4x", "«pool» должно быть числом");
        row("rate not finite", "run_per_second = inf", "«run_per_second»");
        row("empty text", "key =", "у «key» нет значения");
        row("hostaddr", "database = hostaddr=10.0.0.1 dbname=k", "недопустимый ключ «hostaddr»");
        row("service", "database = service=x", "недопустимый ключ «service»");
        row("sslmode", "database = sslmode=disable", "недопустимый ключ «sslmode»");
        row("host list", "database = host=a,b", "список серверов");
        row("no timeout", "database = connect_timeout=0", "connect_timeout");
        row("not conninfo", "database = host='x", "не читается");
    }
    void configIsReadStrictly() {
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        const QString message =
            thrown<ConfigError>([&] { parseConfig(text.toStdString(), "server.conf"); });
        if (refusal.isEmpty())
            QVERIFY2(message.isEmpty(), qPrintable(message));
        else
            QVERIFY2(message.startsWith(QStringLiteral("server.conf")) && message.contains(refusal),
                     qPrintable(message));
    }

    void configAsSetupWritesItReadsBack() {
        Config c;
        c.port = 9443;
        c.runPerSecond = 2.5;
        c.database = "dbname=kviront user=kviront";
        const Config back = parseConfig(renderConfig(c), "x");
        QCOMPARE(back.port, 9443);
        QCOMPARE(back.runPerSecond, 2.5);
        QCOMPARE(back.database, c.database);
        QCOMPARE(renderConfig(back), renderConfig(c));
        // The sample installed beside the real file says the defaults.
        QFile sample(QStringLiteral(KV_SERVER_CONF_EXAMPLE));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QCOMPARE(sample.readAll().toStdString(), renderConfig(Config{}));
        // The daemon's own connection: the setting's values, bounded sessions, nothing else.
        c.database = "host=/run/postgresql user='o\\'k' dbname=kviront";
        const std::string conninfo = daemonConninfo(c);
        QVERIFY(conninfo.find("user='o\\'k'") != std::string::npos);
        QVERIFY(conninfo.find("connect_timeout=5") != std::string::npos);
        QVERIFY(conninfo.find("statement_timeout=5000") != std::string::npos);
        QVERIFY(conninfo.find("lock_timeout=2000") != std::string::npos);
    }

    // Both manual pages name every key of the configuration and every option.
    void manualPagesSayEveryKeyAndOption() {
        QStringList words{"--config", "--host", "--certificate", "--key",
                          "--port",   "--help", "--version",     "setup"};
        for (const QString& line : QString::fromStdString(renderConfig(Config{})).split('\n'))
            if (line.contains(QStringLiteral(" = ")))
                words << line.section(QLatin1Char(' '), 0, 0);
        QVERIFY(words.size() > 8); // the keys were found
        for (const char* language : {"", "ru/"}) {
            QFile page(QStringLiteral(KV_MAN_DIR "/%1kviront-server.8").arg(language));
            QVERIFY(page.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(page.readAll());
            for (QString word : words)
                QVERIFY2(text.contains(word.replace(QLatin1Char('-'), QLatin1String("\\-"))),
                         qPrintable(language + word));
        }
    }

    void requestsAreReadStrictly_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("refusal"); // "" when taken
        // In a body, "{T" opens it with a run's token and ` stands for ".
        auto row = [](const char* name, const char* op, QByteArray body, const char* r) {
            body.replace('`', '"').replace("{T", "{" + QByteArray(token));
            QTest::newRow(name) << QString::fromLatin1(op) << body << QString::fromUtf8(r);
        };
        row("start", "start", "{`sitting`:`9А`,`code`:`k7qx m2pd-w9`,`host`:`pc`}", "");
        row("answer", "answer", "{T,`record`:3,`option`:0,`seconds`:12.5}", "");
        row("answer, whole seconds", "answer", "{T,`record`:1,`option`:4,`seconds`:0}", "");
        row("question", "record", "{T,`record`:10000}", "");
        row("finish", "finish", "{T,`completed`:false}", "");
        row("not JSON", "record", "{T,",
            "400 Сервер класса не принял запрос: тело запроса не JSON.");
        row("NaN", "answer", "{T,`record`:1,`option`:1,`seconds`:NaN}", "не JSON");
        row("not an object", "record", "[1]", "не объект JSON");
        row("too deep", "record", "{\"token\":[[[[[[1]]]]]],\"record\":1}", "не JSON");
        row("unknown member", "record", "{T,`record`:1,`pr_otvet`:1}", "лишнее поле «pr_otvet»");
        row("long unknown member", "record", "{T,`" + QByteArray(5000, 'x') + "`:1,`record`:1}",
            "лишнее поле.");
        row("missing member", "answer", "{T,`record`:1,`option`:1}", "нет поля «seconds»");
        row("record as text", "record", "{T,`record`:`1`}", "«record» не целое число");
        row("record as fraction", "record", "{T,`record`:1.5}", "не целое число");
        row("record zero", "record", "{T,`record`:0}", "вне допустимых значений");
        row("record too large", "record", "{T,`record`:10001}", "вне допустимых значений");
        row("record huge", "record", "{T,`record`:99999999999999999999}", "«record»");
        row("option 5", "answer", "{T,`record`:1,`option`:5,`seconds`:1}", "«option» вне");
        row("option negative", "answer", "{T,`record`:1,`option`:-1,`seconds`:1}", "«option» вне");
        row("seconds negative", "answer", "{T,`record`:1,`option`:1,`seconds`:-0.5}",
            "«seconds» вне");
        row("seconds huge", "answer", "{T,`record`:1,`option`:1,`seconds`:1e400}", "«seconds»");
        row("seconds as text", "answer", "{T,`record`:1,`option`:1,`seconds`:`1`}",
            "«seconds» не число");
        row("completed as text", "finish", "{T,`completed`:`yes`}",
            "«completed» не true или false");
        row("token not a UUID", "record", "{`token`:`'; DROP TABLE x;--`,`record`:1}",
            "«token» не номер теста");
        row("token a number", "record", "{`token`:5,`record`:1}", "«token» не строка");
        row("code unreadable", "start", "{`sitting`:`9А`,`code`:`O0I1L-2345`,`host`:`pc`}",
            "код не читается");
        row("code too long", "start",
            "{`sitting`:`9А`,`code`:`" + QByteArray(65, '2') + "`,`host`:`pc`}",
            "«code» длиннее 64 знаков");
        row("sitting too long", "start",
            "{`sitting`:`" + QByteArray(201, 'a') + "`,`code`:`K7QXM2PDW9`,`host`:`pc`}",
            "«sitting» длиннее 200");
        row("sitting of 200 letters", "start",
            "{\"sitting\":\"" + QString(200, QChar(0x416)).toUtf8() +
                "`,`code`:`K7QXM2PDW9`,`host`:`pc`}",
            "");
        row("host empty", "start", "{`sitting`:`9А`,`code`:`K7QXM2PDW9`,`host`:``}",
            "«host» пусто");
        row("host with a line break", "start",
            "{`sitting`:`9А`,`code`:`K7QXM2PDW9`,`host`:`pc\\u00072`}", "управляющие символы");
        row("invalid UTF-8", "start",
            "{\"sitting\":\"\xff\",\"code\":\"K7QXM2PDW9\",\"host\":\"p\"}", "не JSON");
    }
    void requestsAreReadStrictly() {
        QFETCH(QString, operation);
        QFETCH(QByteArray, body);
        QFETCH(QString, refusal);
        const std::string_view b(body.constData(), std::size_t(body.size()));
        const QString got = thrown<Refused>([&] {
            if (operation == QLatin1String("start"))
                parseStart(b);
            else if (operation == QLatin1String("answer"))
                parseAnswer(b);
            else if (operation == QLatin1String("finish"))
                parseFinish(b);
            else
                parseRecord(b);
        });
        if (refusal.isEmpty())
            QVERIFY2(got.isEmpty(), qPrintable(got));
        else
            QVERIFY2(got.startsWith(QStringLiteral("400 ")) && got.contains(refusal),
                     qPrintable(got));
        QVERIFY(!got.contains(QStringLiteral("xxxxxxxx"))); // never echoed back
    }

    void requestsAreNormalised() {
        const StartRequest s =
            parseStart(R"({"sitting":"9А","code":"k7qx m2pd-w9","host":"pc","trainee":"  "})");
        QCOMPARE(QString::fromStdString(s.code), QStringLiteral("K7QXM2PDW9"));
        QVERIFY(!s.trainee); // no name typed
        const RecordRequest r =
            parseRecord(R"({"token":"0F8FAD5B-D9CB-469F-A165-70867728950E","record":7})");
        QCOMPARE(QString::fromStdString(r.token),
                 QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
        QCOMPARE(r.record, 7);
    }

    void databaseErrorsHaveTheirRefusals_data() {
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const struct {
            const char *state, *error;
            int status;
        } own[] = {{"KV001", "sitting_unknown", 404}, {"KV002", "run_unknown", 404},
                   {"KV003", "run_finished", 409},    {"KV004", "not_handed_out", 409},
                   {"KV005", "record_unknown", 404},  {"KV006", "bad_request", 400},
                   {"KV010", "code_unknown", 404},    {"KV011", "sitting_closed", 409},
                   {"KV012", "code_elsewhere", 403},  {"KV013", "withdrawn", 409},
                   {"KV014", "run_incomplete", 409}};
        for (const auto& r : own)
            QTest::newRow(r.state) << QStringList{r.state} << r.status << r.error;
        // Timeouts, no connection slot, a full disk, a deadlock, a shutdown, a read-only standby.
        QTest::newRow("passing troubles")
            << QStringList{"57014", "55P03", "53300", "53100", "40P01", "57P01", "25006"} << 503
            << "unavailable";
        QTest::newRow("faults of the server's own") << QStringList{"42883", "22012"} << 0 << "";
    }
    void databaseErrorsHaveTheirRefusals() {
        QFETCH(QStringList, states);
        QFETCH(int, status);
        QFETCH(QString, error);
        for (const QString& state : states) {
            const std::optional<Refusal> r = refusalForSqlState(state.toStdString());
            QCOMPARE(r ? r->status : 0, status);
            if (!r)
                continue;
            QCOMPARE(QString::fromUtf8(r->error.data(), qsizetype(r->error.size())), error);
            QVERIFY(!r->message.empty());
            QCOMPARE(r->retryAfter > 0, status == 503);
            QCOMPARE(QString::fromStdString(refusalBody(*r)),
                     QStringLiteral("{\"error\":\"%1\",\"message\":\"%2\"}")
                         .arg(error, QString::fromStdString(r->message)));
        }
    }

    void rateLimitsAllowABurstThenTheirRate() {
        using namespace std::chrono;
        const Clock::time_point t0{};
        RateLimiter limiter(3, 0.5); // 3 at once, then one every 2 s
        QList<int> waits;
        for (int i = 0; i < 4; ++i)
            waits << limiter.take("a", t0);
        QCOMPARE(waits, (QList<int>{0, 0, 0, 2}));
        QCOMPARE(limiter.take("b", t0), 0); // another key has its own bucket
        QCOMPARE(limiter.wait("a", t0 + milliseconds(1000)), 1);
        QCOMPARE(limiter.take("a", t0 + milliseconds(2000)), 0);
        QCOMPARE(limiter.take("a", t0 + milliseconds(2100)), 2);
        waits.clear(); // refilled, never above the burst
        for (int i = 0; i < 4; ++i)
            waits << limiter.take("a", t0 + seconds(60));
        QCOMPARE(waits.mid(0, 3), (QList<int>{0, 0, 0}));
        QVERIFY(waits[3] > 0);

        // A flood of made-up keys never grows the table past its bound.
        RateLimiter small(1, 1, 100);
        for (int i = 0; i < 10000; ++i)
            small.take(std::to_string(i), t0);
        QVERIFY(small.keys() <= 100);

        ConnectionCounter open(2, 3);
        QVERIFY(open.enter("x") && open.enter("x"));
        QVERIFY(!open.enter("x")); // per address
        QVERIFY(open.enter("y"));
        QVERIFY(!open.enter("z")); // in all
        open.leave("x");
        QVERIFY(open.enter("z"));
        QCOMPARE(open.total(), 3);
    }

    void logLinesAreBounded() {
        const std::string huge(10'000'000, 'x');
        QCOMPARE(boundedText(huge, 100).size(), std::size_t(100 + std::string("…").size()));
        QCOMPARE(QString::fromStdString(boundedText("a\nb\x1b", 10)), QStringLiteral("a?b?"));
        // Cut between characters, never inside one.
        const std::string cut = boundedText("жжжжж", 5);
        QCOMPARE(QString::fromStdString(cut), QStringLiteral("жж…"));
    }

    void theCertificateIsForTheNamesGiven() {
        const KeyAndCertificate made = makeSelfSigned({"10.0.0.5", "kviront.school", "::1"});
        QVERIFY(
            QByteArray::fromStdString(made.certificatePem).startsWith("-----BEGIN CERTIFICATE"));
        const std::vector<std::string> names = certificateNames(made.certificatePem);
        QCOMPARE(names, (std::vector<std::string>{"10.0.0.5", "kviront.school", "::1"}));
        checkKeyFits(made.keyPem, made.certificatePem);
        const KeyAndCertificate other = makeSelfSigned({"x"});
        const std::pair<std::function<void()>, const char*> refused[] = {
            {[&] { checkKeyFits(other.keyPem, made.certificatePem); }, "не подходит"},
            {[] { makeSelfSigned({"школа"}); }, "недопустимо"},
            {[] { makeSelfSigned({}); }, "хотя бы одно"},
            {[] { certificateNames("no pem"); }, "не читается"}};
        for (const auto& [action, said] : refused)
            QVERIFY2(thrown<CertificateError>(action).contains(QString::fromUtf8(said)), said);
    }
};

QTEST_GUILESS_MAIN(TestDaemonCore)
#include "test_daemon_core.moc"
