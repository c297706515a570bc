// The class server attacked from outside as a trainee would, holding only the server bank
// file, against a throwaway cluster and a real kviront-server on 127.0.0.1: no right answer
// before a committed answer, no run without a valid code, no other host's run, time decided
// by the server, hostile requests refused with their status and no effect, slow and greedy
// clients dropped, and nothing in the file that logs in to the database.
#include "class_server.h"
#include "https_client.h"
#include "serverbankfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <arpa/inet.h>
#include <boost/json.hpp>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace json = boost::json;
using Response = HttpsClient::Response;
using Ms = HttpsClient::Timeout;

namespace {

// Right answers with a "+" that no other text of the bank holds: any "+" a reply carries
// before its answer is recorded is a leak.
const QStringList rightAnswers{QStringLiteral("+2"), QStringLiteral(" +0003 "),
                               QStringLiteral("+1e0"), QStringLiteral("+4")};

// JSON written with ` for its quotes, which reads better in a table.
std::string j(const char* text) {
    std::string s(text);
    for (char& c : s)
        if (c == '`')
            c = '"';
    return s;
}

std::string str(const QString& s) {
    return s.toStdString();
}

QString text(const json::value& v, const char* key) {
    if (!v.is_object() || !v.as_object().contains(key) || !v.at(key).is_string())
        return QString();
    return QString::fromStdString(std::string(v.at(key).as_string()));
}

QStringList keysOf(const json::value& v) {
    QStringList keys;
    if (v.is_object())
        for (const auto& m : v.as_object())
            keys << QString::fromStdString(std::string(m.key()));
    keys.sort();
    return keys;
}

// A raw HTTP/1.1 request.
std::string raw(const std::string& method, const std::string& target, const std::string& body,
                const std::string& headers = {}) {
    return method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n" + headers + "\r\n" + body;
}

// A plain TCP connection that says nothing: true when the server closes it within `ms`.
bool silentTcpClosedWithin(int port, int ms) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool closed = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        pollfd p{fd, POLLIN, 0};
        char c;
        closed = ::poll(&p, 1, ms) == 1 && ::recv(fd, &c, 1, 0) <= 0;
    }
    ::close(fd);
    return closed;
}

} // namespace

class TestDaemonSecurity : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassServer> m_server;
    int m_nextCode = 0;
    QString m_token; // a run with record 1 handed out, for the hostile requests

    std::unique_ptr<HttpsClient> client() {
        return std::make_unique<HttpsClient>(m_server->port(),
                                             m_server->certificate().toStdString());
    }
    QString nextCode() { return m_server->unnamedCodes().value(m_nextCode++); }
    Response start(HttpsClient& c, const QString& code, const QString& host = "pc-01",
                   const QString& sitting = QString()) {
        json::object body{{"sitting", str(sitting.isEmpty() ? m_server->sitting() : sitting)},
                          {"code", str(code)},
                          {"host", str(host)},
                          {"trainee", "Ученик"}};
        return c.post("/api/v1/start", body);
    }
    Response question(HttpsClient& c, const QString& token, int record) {
        return c.post("/api/v1/question", json::object{{"token", str(token)}, {"record", record}});
    }
    Response answer(HttpsClient& c, const QString& token, int record, int option) {
        return c.post("/api/v1/answer", json::object{{"token", str(token)},
                                                     {"record", record},
                                                     {"option", option},
                                                     {"seconds", 4.5}});
    }
    // What the database holds of every run: counts of runs, handouts and answers.
    QString held() const {
        return m_server->superValue(
            "SELECT (SELECT count(*) FROM kviront.runs) || ' ' || (SELECT count(*) FROM "
            "kviront.handouts) || ' ' || (SELECT count(*) FROM kviront.answers) || ' ' || "
            "(SELECT string_agg(coalesce(host, '-'), ',' ORDER BY id) FROM kviront.codes)");
    }
    QString startedToken(const QString& code, const QString& host = "pc-01") {
        auto c = client();
        const Response r = start(*c, code, host);
        return r.status == 200 ? text(r.json(), "token") : QString();
    }

    // The attacks, each one row of the table.
    void noRightAnswerBeforeACommittedAnswer();
    void noRunWithoutAValidCode();
    void aCodeBelongsToOneHost();
    void aLateAnswerIsATimeOut();
    void theHandingOutIsNeverReset();
    void slowAndSilentClientsAreDropped();
    void tooManyConnectionsFromOneAddress();
    void runRequestsAreRateLimited();
    void guessedCodesAreRateLimited();
    void nothingInTheBankFileLogsIn();
    void logLinesStayBounded();

private slots:
    void initTestCase() {
        ClassServer::Options o;
        o.questions.clear();
        for (int n = 1; n <= 4; ++n) {
            bankfile::Question q;
            q.name = n;
            q.vopros = QStringLiteral("Вопрос %1?").arg(n);
            for (int k = 0; k < 4; ++k)
                q.otvet[k] = QStringLiteral("Ответ %1.%2").arg(n).arg(k + 1);
            q.prOtvet = rightAnswers[n - 1];
            o.questions << q;
        }
        o.unnamedCodes = 12;
        o.config = {"handshake_timeout = 1",       "body_timeout = 1",
                    "connections_per_address = 8", "wrong_code_burst = 8",
                    "wrong_code_per_minute = 60",  "start_burst = 5",
                    "start_per_minute = 60",       "run_burst = 20",
                    "run_per_second = 2"};
        m_server = std::make_unique<ClassServer>(o);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        m_token = startedToken(nextCode());
        auto c = client();
        QCOMPARE(question(*c, m_token, 1).status, 200);
    }

    void hostileRequestsAreRefusedWithNoEffect_data() {
        QTest::addColumn<QByteArray>("request"); // "TOKEN" stands for a real run's token
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const std::string& request, int status,
                            const char* error) {
            QTest::newRow(name) << QByteArray::fromStdString(request) << status
                                << QString::fromLatin1(error);
        };
        const std::string a = "/api/v1/answer", q = "/api/v1/question", s = "/api/v1/start";
        const std::string t = j("`token`:`TOKEN`");
        row("a body over 16 KiB", raw("POST", a, std::string(20000, ' ')), 413, "too_large");
        row("a 10-million-character field, declared",
            "POST /api/v1/start HTTP/1.1\r\nHost: x\r\nContent-Length: 10000030\r\n\r\n"
            "{\"sitting\":\"" +
                std::string(100000, 'x'),
            413, "too_large");
        row("a 10-million-character field, chunked",
            "POST /api/v1/start HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
            "989680\r\n{\"sitting\":\"" +
                std::string(200000, 'x'),
            413, "too_large");
        row("a header over 8 KiB",
            raw("GET", "/api/v1/health", "", "X-Pad: " + std::string(10000, 'x') + "\r\n"), 431,
            "too_large");
        // Bodies the API does not take (the strict reading is tested whole in test_daemon_core).
        row("the right answer asked for", raw("POST", q, "{" + t + j(",`record`:1,`pr_otvet`:1}")),
            400, "bad_request");
        row("record huge", raw("POST", q, "{" + t + j(",`record`:18446744073709551616}")), 400,
            "bad_request");
        row("seconds NaN", raw("POST", a, "{" + t + j(",`record`:1,`option`:1,`seconds`:NaN}")),
            400, "bad_request");
        row("seconds huge", raw("POST", a, "{" + t + j(",`record`:1,`option`:1,`seconds`:1e400}")),
            400, "bad_request");
        row("token as SQL", raw("POST", q, j("{`token`:`1' OR '1'='1`,`record`:1}")), 400,
            "bad_request");
        row("bad JSON", raw("POST", q, "{" + t + ","), 400, "bad_request");
        row("no body", raw("POST", q, ""), 400, "bad_request");
        row("a host with a line break",
            raw("POST", s, j("{`sitting`:`x`,`code`:`2222222222`,`host`:`h\nX-Forged: 1`}")), 400,
            "bad_request");
        row("a dot-dot path", raw("POST", "/api/v1/../v1/answer", "{}"), 404, "no_such_path");
        row("a trailing slash", raw("POST", a + "/", "{}"), 404, "no_such_path");
        row("a path in capitals", raw("POST", "/API/V1/ANSWER", "{}"), 404, "no_such_path");
        row("a query", raw("POST", a + "?token=TOKEN", "{}"), 404, "no_such_path");
        row("a double slash", raw("GET", "//api/v1/health", ""), 404, "no_such_path");
        row("an encoded NUL", raw("GET", "/api/v1/health%00", ""), 404, "no_such_path");
        row("an absolute target", raw("GET", "https://127.0.0.1/api/v1/health", ""), 404,
            "no_such_path");
        row("an asterisk", raw("OPTIONS", "*", ""), 404, "no_such_path");
        row("GET an operation", raw("GET", a, ""), 405, "method_not_allowed");
        row("DELETE the health", raw("DELETE", "/api/v1/health", ""), 405, "method_not_allowed");
        row("a made-up method", raw("BREW", "/api/v1/health", ""), 405, "method_not_allowed");
        row("not HTTP", "\x16\x03\x01 hello\r\n\r\n", 400, "bad_request");
        row("two lengths",
            "POST /api/v1/question HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nContent-Length: "
            "40\r\n\r\n{}",
            400, "bad_request");
    }
    void hostileRequestsAreRefusedWithNoEffect() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, error);
        const QString before = held();
        auto c = client();
        QVERIFY2(c->sendRaw(request.replace("TOKEN", m_token.toLatin1()).toStdString()),
                 c->lastError().c_str());
        const Response r = c->readResponse(Ms(10000));
        QCOMPARE(r.status, status);
        QCOMPARE(QString::fromStdString(r.errorCode()), error);
        QVERIFY(text(r.json(), "message").contains(QRegularExpression(QStringLiteral("[А-Яа-я]"))));
        QCOMPARE(r.headers.at("content-type"), std::string("application/json; charset=utf-8"));
        QCOMPARE(held(), before);
    }

    void traineeAttacksFail_data() {
        QTest::addColumn<int>("attack");
        int i = 0;
        for (const char* name :
             {"no right answer before a committed answer", "no run without a valid code",
              "a code belongs to one host", "a late answer is a time-out",
              "the handing-out is never reset", "slow and silent clients are dropped",
              "too many connections from one address", "run requests are rate limited",
              "guessed codes are rate limited", "nothing in the bank file logs in",
              "log lines stay bounded"})
            QTest::newRow(name) << i++;
    }
    void traineeAttacksFail() {
        QFETCH(int, attack);
        using Attack = void (TestDaemonSecurity::*)();
        const Attack attacks[] = {&TestDaemonSecurity::noRightAnswerBeforeACommittedAnswer,
                                  &TestDaemonSecurity::noRunWithoutAValidCode,
                                  &TestDaemonSecurity::aCodeBelongsToOneHost,
                                  &TestDaemonSecurity::aLateAnswerIsATimeOut,
                                  &TestDaemonSecurity::theHandingOutIsNeverReset,
                                  &TestDaemonSecurity::slowAndSilentClientsAreDropped,
                                  &TestDaemonSecurity::tooManyConnectionsFromOneAddress,
                                  &TestDaemonSecurity::runRequestsAreRateLimited,
                                  &TestDaemonSecurity::guessedCodesAreRateLimited,
                                  &TestDaemonSecurity::nothingInTheBankFileLogsIn,
                                  &TestDaemonSecurity::logLinesStayBounded};
        (this->*attacks[attack])();
    }
};

void TestDaemonSecurity::noRightAnswerBeforeACommittedAnswer() {
    auto c = client();
    const Response started = start(*c, nextCode());
    QCOMPARE(started.status, 200);
    const QString token = text(started.json(), "token");
    QString received = QString::fromStdString(started.body);
    for (int record = 1; record <= 4; ++record) {
        for (int shown = 0; shown < 2; ++shown) {
            const Response q = question(*c, token, record);
            QCOMPARE(q.status, 200);
            // Exactly the question's texts and picture: no member more.
            QCOMPARE(keysOf(q.json()), (QStringList{"graph", "name", "otvet", "record", "vopros"}));
            received += QString::fromStdString(q.body);
        }
        QVERIFY2(!received.contains(QLatin1Char('+')), qPrintable(received));
        const Response a = answer(*c, token, record, 2);
        QCOMPARE(a.status, 200);
        QCOMPARE(text(a.json(), "rightAnswer"), rightAnswers[record - 1]);
        // The reply came after the answer was stored.
        QCOMPARE(m_server->superValue(QStringLiteral("SELECT count(*) FROM kviront.answers a JOIN "
                                                     "kviront.runs r ON r.id = a.run_id WHERE "
                                                     "r.token = '%1'")
                                          .arg(token)),
                 QString::number(record));
    }
}

void TestDaemonSecurity::noRunWithoutAValidCode() {
    const serversitting::Opened other =
        m_server->openSitting(QStringLiteral("Другой класс"), {}, 2);
    const QString before = held();
    auto c = client();
    const struct {
        QString code, sitting;
        int status;
        const char* error;
    } tries[] = {
        {QStringLiteral("2345-6789-AB"), QString(), 404, "code_unknown"},
        {other.codes[0].code, QString(), 404, "code_unknown"}, // another sitting's code
        {m_server->unnamedCodes().last(), QStringLiteral("Нет такого"), 404, "sitting_unknown"},
        {QStringLiteral("0000-1111-OO"), QString(), 400, "bad_request"},
        {QString(), QString(), 400, "bad_request"},
    };
    for (const auto& t : tries) {
        const Response r = start(*c, t.code, QStringLiteral("pc-01"), t.sitting);
        QCOMPARE(r.status, t.status);
        QCOMPARE(r.errorCode(), std::string(t.error));
    }
    QCOMPARE(held(), before);
    // A closed sitting starts nothing new.
    QCOMPARE(m_server->superSql(QStringLiteral("UPDATE kviront.sittings SET closed_at = now() "
                                               "WHERE name = 'Другой класс'")),
             QString());
    const Response closed = start(*c, other.codes[1].code, "pc-01", other.name);
    QCOMPARE(closed.status, 409);
    QCOMPARE(closed.errorCode(), std::string("sitting_closed"));
    QCOMPARE(held(), before);
}

void TestDaemonSecurity::aCodeBelongsToOneHost() {
    const QString code = nextCode();
    auto c = client();
    const Response first = start(*c, code, "pc-07");
    QCOMPARE(first.status, 200);
    const QString token = text(first.json(), "token");
    QCOMPARE(question(*c, token, 1).status, 200);
    QCOMPARE(answer(*c, token, 1, 3).status, 200);
    // From the same host (a lost reply, a restarted program): the same run, with its answers.
    const json::value again = start(*c, code.toLower(), "pc-07").json();
    QCOMPARE(text(again, "token"), token);
    QVERIFY(again.at("resumed").as_bool());
    QCOMPARE(again.at("answers").as_array().size(), std::size_t(1));
    QCOMPARE(again.at("answers").at(0).at("option").as_int64(), 3);
    // From another host: refused, until the teacher allows it once.
    const Response elsewhere = start(*c, code, "pc-08");
    QCOMPARE(elsewhere.status, 403);
    QCOMPARE(elsewhere.errorCode(), std::string("code_elsewhere"));
    QCOMPARE(m_server->superValue(QStringLiteral("SELECT count(*) FROM kviront.runs r JOIN "
                                                 "kviront.codes k ON k.id = r.code_id WHERE "
                                                 "k.host = 'pc-07'")),
             QStringLiteral("1"));
    QCOMPARE(m_server->superSql(QStringLiteral("UPDATE kviront.codes SET rehost_allowed = true "
                                               "WHERE host = 'pc-07'")),
             QString());
    QCOMPARE(text(start(*c, code, "pc-08").json(), "token"), token);
    QCOMPARE(start(*c, code, "pc-07").status, 403); // allowed once, and now it is pc-08's
}

void TestDaemonSecurity::aLateAnswerIsATimeOut() {
    const QString token = startedToken(nextCode());
    auto c = client();
    QCOMPARE(question(*c, token, 1).status, 200);
    // 35 s and 5 s of grace have passed since the handing-out, as the server's clock says.
    QCOMPARE(m_server->superSql(QStringLiteral("UPDATE kviront.handouts SET handed_at = "
                                               "handed_at - interval '41 seconds' WHERE run_id = "
                                               "(SELECT id FROM kviront.runs WHERE token = '%1')")
                                    .arg(token)),
             QString());
    const json::value late = answer(*c, token, 1, 2).json();
    QCOMPARE(late.at("option").as_int64(), 0);
    QVERIFY(late.at("timedOut").as_bool());
    QVERIFY(!late.at("right").as_bool());
    QVERIFY(late.at("serverSeconds").to_number<double>() > 40);
    QCOMPARE(late.at("seconds").to_number<double>(), 4.5); // the program's own, kept beside
    QCOMPARE(m_server->superValue(QStringLiteral("SELECT option || ' ' || late FROM "
                                                 "kviront.answers a JOIN kviront.runs r ON r.id = "
                                                 "a.run_id WHERE r.token = '%1'")
                                      .arg(token)),
             QStringLiteral("0 true"));
    // A resend within time changes nothing.
    const json::value resent = answer(*c, token, 1, 2).json();
    QCOMPARE(resent.at("option").as_int64(), 0);
    QVERIFY(resent.at("repeated").as_bool());
}

void TestDaemonSecurity::theHandingOutIsNeverReset() {
    const QString token = startedToken(nextCode());
    auto c = client();
    const QString handedAt =
        QStringLiteral("SELECT h.handed_at FROM kviront.handouts h JOIN kviront.runs r ON r.id = "
                       "h.run_id WHERE r.token = '%1' AND h.record = 2")
            .arg(token);
    QCOMPARE(answer(*c, token, 2, 1).errorCode(), std::string("not_handed_out"));
    QCOMPARE(question(*c, token, 2).status, 200);
    const QString first = m_server->superValue(handedAt);
    QVERIFY(!first.isEmpty());
    for (int again = 0; again < 3; ++again) {
        QThread::msleep(20);
        QCOMPARE(question(*c, token, 2).status, 200);
    }
    QCOMPARE(m_server->superValue(handedAt), first);
    const json::value a = answer(*c, token, 2, 1).json();
    QVERIFY(a.at("serverSeconds").to_number<double>() >= 0.06);
}

void TestDaemonSecurity::slowAndSilentClientsAreDropped() {
    QElapsedTimer clock;
    clock.start();
    // Slow clients at once, more than the server has threads.
    std::vector<std::unique_ptr<HttpsClient>> slow;
    for (int i = 0; i < 6; ++i) {
        slow.push_back(client());
        QVERIFY(slow.back()->connect());
        QVERIFY(slow.back()->sendRaw(
            i % 2 ? "POST /api/v1/question HTTP/1.1\r\nHost: x\r\n"
                  : raw("POST", "/api/v1/question", "{\"token\":\"").substr(0, 90)));
    }
    // Meanwhile the server answers others at once.
    auto c = client();
    QElapsedTimer answered;
    answered.start();
    QCOMPARE(c->get("/api/v1/health").status, 200);
    QVERIFY(answered.elapsed() < 1000);
    // A trickle of bytes does not keep a request alive past its deadline.
    bool closed = false;
    for (int step = 0; step < 30 && !closed; ++step) {
        slow.front()->sendRaw("X");
        closed = slow.front()->closedWithin(Ms(100));
    }
    QVERIFY2(closed, "a trickling client was kept");
    for (auto& s : slow)
        QVERIFY(s->closedWithin(Ms(3000)));
    // A TLS connection that never asks, and a TCP connection that never says hello.
    QVERIFY(client()->connect());
    auto silent = client();
    QVERIFY(silent->connect());
    QVERIFY(silent->closedWithin(Ms(3000)));
    QVERIFY(silentTcpClosedWithin(m_server->port(), 3000));
    QVERIFY(clock.elapsed() < 15000);
}

void TestDaemonSecurity::tooManyConnectionsFromOneAddress() {
    std::vector<std::unique_ptr<HttpsClient>> open;
    for (int i = 0; i < 8; ++i) {
        open.push_back(client());
        QCOMPARE(open.back()->get("/api/v1/health").status, 200); // kept alive
    }
    auto extra = client();
    const Response refused = extra->get("/api/v1/health");
    QCOMPARE(refused.status, 429);
    QCOMPARE(refused.errorCode(), std::string("too_many"));
    QVERIFY(std::stoi(refused.headers.at("retry-after")) >= 1);
    open.pop_back();
    QThread::msleep(200); // the server sees the close
    QCOMPARE(extra->get("/api/v1/health").status, 200);
}

void TestDaemonSecurity::runRequestsAreRateLimited() {
    const QString token = startedToken(nextCode());
    auto c = client();
    int limited = 0;
    for (int i = 0; i < 40 && limited == 0; ++i) {
        const Response r = question(*c, token, 1);
        QVERIFY(r.status == 200 || r.status == 429);
        if (r.status == 429) {
            ++limited;
            QVERIFY(std::stoi(r.headers.at("retry-after")) >= 1);
        }
    }
    QCOMPARE(limited, 1);
}

void TestDaemonSecurity::guessedCodesAreRateLimited() {
    auto c = client();
    const QString good = nextCode();
    Response r;
    int guesses = 0;
    for (; guesses < 30; ++guesses) {
        r = start(*c, serversitting::newCode());
        if (r.status != 404)
            break;
    }
    QCOMPARE(r.status, 429);
    QVERIFY(guesses <= 8); // the address's budget of wrong codes
    // The address is held back even with a right code, until the time it was told.
    QCOMPARE(start(*c, good).status, 429);
    const int wait = std::stoi(r.headers.at("retry-after"));
    QVERIFY(wait >= 1 && wait <= 5);
    QThread::msleep(unsigned(wait) * 1000 + 200);
    QCOMPARE(start(*c, good).status, 200);
    // One code started again and again is held back too.
    int limited = 0;
    for (int i = 0; i < 6; ++i)
        limited += start(*c, good).status == 429;
    QVERIFY(limited >= 1);
}

void TestDaemonSecurity::nothingInTheBankFileLogsIn() {
    const QString path = m_server->bankFile();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const serverbank::SittingLink link = serverbank::readSitting(path);
    QCOMPARE(link.server, m_server->url());
    for (const char* word : {"password", "user=", "dbname", "host=", "kviront_"})
        QVERIFY2(!bytes.contains(word), word);
    // Everything the file holds, tried as a login: on the server's port and on the database's.
    const QStringList secrets{link.server, link.sitting, QString::fromLatin1(link.certificate),
                              QString()};
    int tried = 0;
    for (const char* user : {"kviront", "kviront_trainee", "kviront_teacher", "postgres"}) {
        for (const QString& secret : secrets) {
            for (const QString& where :
                 {QStringLiteral("host=127.0.0.1 port=%1").arg(m_server->port()),
                  QStringLiteral("host='%1' port=%2")
                      .arg(m_server->cluster.socketDir())
                      .arg(m_server->cluster.port())}) {
                QString password = secret;
                password.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                    .replace(QLatin1Char('\''), QLatin1String("\\'"));
                const QByteArray conninfo =
                    QStringLiteral("%1 dbname=kviront user=%2 password='%3' connect_timeout=3 "
                                   "sslmode=disable")
                        .arg(where, QLatin1String(user), password)
                        .toUtf8();
                PGconn* pg = PQconnectdb(conninfo.constData());
                QVERIFY2(PQstatus(pg) != CONNECTION_OK, conninfo.constData());
                PQfinish(pg);
                ++tried;
            }
        }
    }
    QCOMPARE(tried, 32);
}

void TestDaemonSecurity::logLinesStayBounded() {
    const QByteArray log = m_server->log();
    QVERIFY(log.contains("413 too_large"));
    for (const QByteArray& line : log.split('\n')) {
        QVERIFY2(line.size() <= 600, line.left(200).constData());
        QVERIFY(!line.contains(QByteArray(100, 'x')));
    }
}

QTEST_GUILESS_MAIN(TestDaemonSecurity)
#include "test_daemon_security.moc"
