// The class server attacked as a trainee would, holding only the server bank file, against a
// throwaway cluster and a real kviront-server on 127.0.0.1.
#include "bankfixture.h"
#include "class_server.h"
#include "https_client.h"
#include "serverbankfile.h"
#include "skip.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <boost/asio/ip/tcp.hpp>
#include <boost/json.hpp>
#include <libpq-fe.h>
#include <poll.h>

namespace json = boost::json;
using Response = HttpsClient::Response;
using Ms = HttpsClient::Timeout;

namespace {

// The bank's only "+" are in its right answers: any "+" a reply carries before its answer is
// recorded is a leak.
const QStringList rightAnswers{"+2", " +0003 ", "+1e0", "+4"};

// A plain TCP connection that says nothing: true when the server closes it within `ms`.
bool silentTcpClosedWithin(int port, int ms) {
    namespace ip = boost::asio::ip;
    boost::asio::io_context io;
    ip::tcp::socket s(io);
    boost::system::error_code ec;
    s.connect({ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)}, ec);
    pollfd p{s.native_handle(), POLLIN, 0};
    char c;
    return !ec && ::poll(&p, 1, ms) == 1 && ::recv(p.fd, &c, 1, 0) <= 0;
}

} // namespace

class TestDaemonSecurity : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassServer> m_server;
    int m_nextCode = 0;
    std::string m_token; // a run with record 1 handed out, for the hostile requests

    std::string sitting() const { return m_server->sitting().toStdString(); }
    std::string nextCode() { return m_server->unnamedCodes().value(m_nextCode++).toStdString(); }
    std::string startedToken() {
        return HttpsClient(*m_server).start(sitting(), nextCode()).text("token");
    }
    // Counts of runs, handouts and answers, and the hosts of the codes.
    QString held() const {
        return m_server->superValue(
            "SELECT (SELECT count(*) FROM kviront.runs) || ' ' || (SELECT count(*) FROM "
            "kviront.handouts) || ' ' || (SELECT count(*) FROM kviront.answers) || ' ' || "
            "(SELECT string_agg(coalesce(host, '-'), ',' ORDER BY id) FROM kviront.codes)");
    }
    QString ofRun(const char* sql, const std::string& token) const {
        return m_server->superValue(QString::fromLatin1(sql).arg(QString::fromStdString(token)));
    }

private slots:
    void initTestCase() {
        ClassServer::Options o;
        for (int n = 1; n <= 4; ++n) {
            o.questions << fixture::question(n);
            o.questions.last().prOtvet = rightAnswers[n - 1];
        }
        o.unnamedCodes = 12;
        o.config = {"handshake_timeout = 1",       "body_timeout = 1",
                    "connections_per_address = 8", "wrong_code_burst = 8",
                    "wrong_code_per_minute = 60",  "start_burst = 5",
                    "start_per_minute = 60",       "run_burst = 20",
                    "run_per_second = 2"};
        m_server = std::make_unique<ClassServer>(o);
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
        m_token = startedToken();
        QCOMPARE(HttpsClient(*m_server).question(m_token, 1).status, 200);
    }

    void hostileRequestsAreRefusedWithNoEffect_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const std::string& request, int status,
                            const char* error) {
            QTest::newRow(name) << QByteArray::fromStdString(request) << status
                                << QString::fromLatin1(error);
        };
        const auto raw = [](auto... parts) { return HttpsClient::compose(parts...); };
        const std::string a = "/api/v1/answer", q = "/api/v1/question", h = "/api/v1/health";
        row("a body over 16 KiB", raw("POST", a, std::string(20000, ' ')), 413, "too_large");
        const std::string big = "POST /api/v1/start HTTP/1.1\r\nHost: x\r\n",
                          field = "{\"sitting\":\"";
        row("a 10-million-character field, declared",
            big + "Content-Length: 10000030\r\n\r\n" + field + std::string(100000, 'x'), 413,
            "too_large");
        row("a 10-million-character field, chunked",
            big + "Transfer-Encoding: chunked\r\n\r\n989680\r\n" + field + std::string(200000, 'x'),
            413, "too_large");
        row("a header over 8 KiB", raw("GET", h, "", "X-Pad: " + std::string(10000, 'x') + "\r\n"),
            431, "too_large");
        // The strict reading of bodies is tested whole in test_daemon_core.
        row("the right answer asked for",
            raw("POST", q, R"({"token":")" + m_token + R"(","record":1,"pr_otvet":1})"), 400,
            "bad_request");
        row("no body", raw("POST", q, ""), 400, "bad_request");
        row("a dot-dot path", raw("POST", "/api/v1/../v1/answer", "{}"), 404, "no_such_path");
        row("a path in capitals", raw("POST", "/API/V1/ANSWER", "{}"), 404, "no_such_path");
        row("a query", raw("POST", a + "?token=" + m_token, "{}"), 404, "no_such_path");
        row("an encoded NUL", raw("GET", h + "%00", ""), 404, "no_such_path");
        row("an absolute target", raw("GET", "https://127.0.0.1" + h, ""), 404, "no_such_path");
        row("GET an operation", raw("GET", a, ""), 405, "method_not_allowed");
        row("a made-up method", raw("BREW", h, ""), 405, "method_not_allowed");
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
        const Response r = HttpsClient(*m_server).exchange(request.toStdString());
        QVERIFY2(r.status == status, qPrintable(QString::number(r.status) + ' ' + r.error.c_str()));
        QCOMPARE(QString::fromStdString(r.errorCode()), error);
        QVERIFY(QString::fromStdString(r.text("message")).contains(QRegularExpression("[А-Яа-я]")));
        QCOMPARE(r.headers.at("content-type"), std::string("application/json; charset=utf-8"));
        QCOMPARE(held(), before);
    }

    void noRightAnswerBeforeACommittedAnswer() {
        HttpsClient c(*m_server);
        const Response started = c.start(sitting(), nextCode());
        const std::string token = started.text("token");
        std::string received = started.body;
        for (int record = 1; record <= 4; ++record) {
            for (int shown = 0; shown < 2; ++shown) {
                const Response q = c.question(token, record);
                QCOMPARE(q.status, 200);
                QStringList keys; // exactly the question's texts and picture
                const json::value body = q.json();
                for (const auto& m : body.as_object())
                    keys << QString::fromStdString(std::string(m.key()));
                keys.sort();
                QCOMPARE(keys, (QStringList{"graph", "name", "otvet", "record", "vopros"}));
                received += q.body;
            }
            QVERIFY2(received.find('+') == std::string::npos, received.c_str());
            const Response a = c.answer(token, record, 2);
            QCOMPARE(QString::fromStdString(a.text("rightAnswer")), rightAnswers[record - 1]);
            // The reply came after the answer was stored.
            QCOMPARE(ofRun("SELECT count(*) FROM kviront.answers a JOIN kviront.runs r ON r.id = "
                           "a.run_id WHERE r.token = '%1'",
                           token),
                     QString::number(record));
        }
    }

    void noRunWithoutAValidCode() {
        const serversitting::Opened other = m_server->openSitting("Другой класс", {}, 2);
        QCOMPARE(m_server->superSql("UPDATE kviront.sittings SET closed_at = now() WHERE name = "
                                    "'Другой класс'"),
                 QString());
        const QString before = held();
        HttpsClient c(*m_server);
        const struct {
            QString code, sitting;
            int status;
            const char* error;
        } tries[] = {
            {"2345-6789-AB", m_server->sitting(), 404, "code_unknown"},
            {other.codes[0].code, m_server->sitting(), 404, "code_unknown"}, // another sitting's
            {m_server->unnamedCodes().last(), "Нет такого", 404, "sitting_unknown"},
            {"0000-1111-OO", m_server->sitting(), 400, "bad_request"},
            {other.codes[1].code, other.name, 409, "sitting_closed"},
        };
        for (const auto& t : tries) {
            const Response r = c.start(t.sitting.toStdString(), t.code.toStdString());
            QCOMPARE(r.status, t.status);
            QCOMPARE(r.errorCode(), std::string(t.error));
        }
        QCOMPARE(held(), before);
    }

    void aCodeBelongsToOneHost() {
        const std::string code = nextCode();
        HttpsClient c(*m_server);
        const std::string token = c.start(sitting(), code, "pc-07").text("token");
        QCOMPARE(c.question(token, 1).status, 200);
        QCOMPARE(c.answer(token, 1, 3).status, 200);
        // From the same host (a lost reply, a restarted program): the same run, with its answers.
        const json::value again =
            c.start(sitting(), QString::fromStdString(code).toLower().toStdString(), "pc-07")
                .json();
        QCOMPARE(std::string(again.at("token").as_string()), token);
        QVERIFY(again.at("resumed").as_bool());
        QCOMPARE(again.at("answers").as_array().size(), std::size_t(1));
        QCOMPARE(again.at("answers").at(0).at("option").as_int64(), 3);
        // From another host: refused, until the teacher allows it once.
        QCOMPARE(c.start(sitting(), code, "pc-08").errorCode(), std::string("code_elsewhere"));
        QCOMPARE(m_server->superValue("SELECT count(*) FROM kviront.runs r JOIN kviront.codes k ON "
                                      "k.id = r.code_id WHERE k.host = 'pc-07'"),
                 QStringLiteral("1"));
        QCOMPARE(m_server->superSql(
                     "UPDATE kviront.codes SET rehost_allowed = true WHERE host = 'pc-07'"),
                 QString());
        QCOMPARE(c.start(sitting(), code, "pc-08").text("token"), token);
        QCOMPARE(c.start(sitting(), code, "pc-07").status, 403); // allowed once, now pc-08's
    }

    // The server's time runs from the first handing-out, which asking again never resets.
    void aLateAnswerIsATimeOut() {
        const std::string token = startedToken();
        HttpsClient c(*m_server);
        const char* handedAt = "SELECT h.handed_at FROM kviront.handouts h JOIN kviront.runs r ON "
                               "r.id = h.run_id WHERE r.token = '%1' AND h.record = 2";
        QCOMPARE(c.answer(token, 2, 1).errorCode(), std::string("not_handed_out"));
        QCOMPARE(c.question(token, 2).status, 200);
        const QString first = ofRun(handedAt, token);
        QVERIFY(!first.isEmpty());
        for (int again = 0; again < 3; ++again) {
            QThread::msleep(20);
            QCOMPARE(c.question(token, 2).status, 200);
        }
        QCOMPARE(ofRun(handedAt, token), first);
        // 35 s and 5 s of grace have passed since the handing-out, as the server's clock says.
        QCOMPARE(ofRun("UPDATE kviront.handouts SET handed_at = handed_at - interval '41 seconds' "
                       "WHERE run_id = (SELECT id FROM kviront.runs WHERE token = '%1') "
                       "RETURNING 'moved'",
                       token),
                 QStringLiteral("moved"));
        const json::value late = c.answer(token, 2, 1).json();
        QCOMPARE(late.at("option").as_int64(), 0);
        QVERIFY(late.at("timedOut").as_bool());
        QVERIFY(late.at("serverSeconds").to_number<double>() > 40);
        QCOMPARE(late.at("seconds").to_number<double>(), 4.5); // the program's own, kept beside
        QCOMPARE(ofRun("SELECT option || ' ' || late FROM kviront.answers a JOIN kviront.runs r ON "
                       "r.id = a.run_id WHERE r.token = '%1'",
                       token),
                 QStringLiteral("0 true"));
        const json::value resent = c.answer(token, 2, 1).json(); // changes nothing
        QCOMPARE(resent.at("option").as_int64(), 0);
        QVERIFY(resent.at("repeated").as_bool());
    }

    void slowAndSilentClientsAreDropped() {
        // Slow clients at once, more than the server has threads.
        std::vector<std::unique_ptr<HttpsClient>> slow;
        for (int i = 0; i < 6; ++i) {
            slow.push_back(std::make_unique<HttpsClient>(*m_server));
            QVERIFY(slow.back()->sendRaw(
                i % 2 ? "POST /api/v1/question HTTP/1.1\r\nHost: x\r\n"
                      : HttpsClient::compose("POST", "/api/v1/question", "{\"token\":\"")
                            .substr(0, 90)));
        }
        // Meanwhile the server answers others at once.
        QElapsedTimer answered;
        answered.start();
        QCOMPARE(HttpsClient(*m_server).get("/api/v1/health").status, 200);
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
        HttpsClient silent(*m_server);
        QVERIFY(silent.connect());
        QVERIFY(silent.closedWithin(Ms(3000)));
        QVERIFY(silentTcpClosedWithin(m_server->port(), 3000));
    }

    void tooManyConnectionsFromOneAddress() {
        std::vector<std::unique_ptr<HttpsClient>> open;
        for (int i = 0; i < 8; ++i) {
            open.push_back(std::make_unique<HttpsClient>(*m_server));
            QCOMPARE(open.back()->get("/api/v1/health").status, 200); // kept alive
        }
        HttpsClient extra(*m_server);
        const Response refused = extra.get("/api/v1/health");
        QCOMPARE(refused.errorCode(), std::string("too_many"));
        QVERIFY(std::stoi(refused.headers.at("retry-after")) >= 1);
        open.pop_back();
        QThread::msleep(200); // the server sees the close
        QCOMPARE(extra.get("/api/v1/health").status, 200);
    }

    void runRequestsAreRateLimited() {
        const std::string token = startedToken();
        HttpsClient c(*m_server);
        Response r;
        for (int i = 0; i < 40 && r.status != 429; ++i) {
            r = c.question(token, 1);
            QVERIFY(r.status == 200 || r.status == 429);
        }
        QCOMPARE(r.status, 429);
        QVERIFY(std::stoi(r.headers.at("retry-after")) >= 1);
    }

    void guessedCodesAreRateLimited() {
        HttpsClient c(*m_server);
        const std::string good = nextCode();
        Response r;
        int guesses = 0;
        for (; guesses < 30; ++guesses)
            if ((r = c.start(sitting(), serversitting::newCode().toStdString())).status != 404)
                break;
        QCOMPARE(r.status, 429);
        QVERIFY(guesses <= 8); // the address's budget of wrong codes
        // The address is held back even with a right code, until the time it was told.
        QCOMPARE(c.start(sitting(), good).status, 429);
        const int wait = std::stoi(r.headers.at("retry-after"));
        QVERIFY(wait >= 1 && wait <= 5);
        QThread::msleep(unsigned(wait) * 1000 + 200);
        QCOMPARE(c.start(sitting(), good).status, 200);
        // One code started again and again is held back too.
        int limited = 0;
        for (int i = 0; i < 6; ++i)
            limited += c.start(sitting(), good).status == 429;
        QVERIFY(limited >= 1);
    }

    void nothingInTheBankFileLogsIn() {
        const QString path = m_server->bankFile();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const char* word : {"password", "user=", "dbname", "host=", "kviront_"})
            QVERIFY2(!bytes.contains(word), word);
        // Everything the file holds, tried as a login to the database.
        const serverbank::SittingLink link = serverbank::readSitting(path);
        QCOMPARE(link.server, m_server->url());
        const QByteArray host = m_server->cluster.socketDir().toUtf8(),
                         port = QByteArray::number(m_server->cluster.port());
        const char* keys[] = {"host",    "port", "dbname", "user", "password", "connect_timeout",
                              "sslmode", nullptr};
        for (const char* user : {"kviront", "kviront_trainee", "kviront_teacher", "postgres"})
            for (const QString& secret :
                 {link.server, link.sitting, QString::fromLatin1(link.certificate), QString()}) {
                const QByteArray password = secret.toUtf8();
                const char* values[] = {host,     port, "kviront", user,
                                        password, "3",  "disable", nullptr};
                PGconn* pg = PQconnectdbParams(keys, values, 0);
                QVERIFY2(PQstatus(pg) != CONNECTION_OK, user);
                PQfinish(pg);
            }
    }

    void logLinesStayBounded() {
        const QByteArray log = m_server->log();
        QVERIFY(log.contains("413 too_large")); // the 10-million-character field was logged
        for (const QByteArray& line : log.split('\n')) {
            QVERIFY2(line.size() <= 600, line.left(200).constData());
            QVERIFY(!line.contains(QByteArray(100, 'x')));
        }
    }
};

QTEST_GUILESS_MAIN(TestDaemonSecurity)
#include "test_daemon_security.moc"
