// A sitting's own rules (order, hidden answers, time) and the class page's refusals, against a
// throwaway cluster and a real kviront-server on 127.0.0.1.
#include "bankfixture.h"
#include "class_server.h"
#include "https_client.h"
#include "order_rules.h"
#include "skip.h"

#include <QTest>
#include <boost/json.hpp>
#include <vector>

namespace json = boost::json;
using Response = HttpsClient::Response;

namespace {

constexpr int records = 12; // 11! orders: two runs drawing the same one would be a fault

std::string str(const QString& s) {
    return s.toStdString();
}

} // namespace

class TestDaemonSittingRules : public QObject {
    Q_OBJECT
    std::unique_ptr<ClassServer> m_server;
    int m_nextCode = 0;
    std::string m_received; // every byte of every reply a trainee's program received

    // Keeps every byte of the reply, as the trainee's program received it.
    Response received(Response r) {
        m_received += r.body;
        for (const auto& [name, value] : r.headers)
            m_received += name + ": " + value + "\n";
        return r;
    }
    Response start(bool again = false) { // with the next code, or the same one again
        const QString code = m_server->unnamedCodes().value(again ? m_nextCode - 1 : m_nextCode++);
        return received(HttpsClient(*m_server).start(str(m_server->sitting()), str(code), "pc"));
    }
    Response answer(const std::string& token, int record, int option) {
        HttpsClient c(*m_server);
        received(c.question(token, record));
        return received(c.answer(token, record, option, 2.5));
    }
    // A request to the class page as a browser sends it.
    Response page(const std::string& method, const std::string& path, const QString& headers,
                  const std::string& body = {}) {
        const std::string host = "127.0.0.1:" + std::to_string(m_server->port());
        return HttpsClient(*m_server).exchange(
            HttpsClient::compose(method, path, body, str(headers), host));
    }
    QString key() const { return "Cookie: kviront_teacher=" + m_server->teacherKey() + "\r\n"; }
    QString own() const { return "X-Kviront-Page: 1\r\nOrigin: " + m_server->url() + "\r\n"; }
    QString sheet(int position) {
        return QString::fromStdString(
            page("GET", "/class/sheet/" + std::to_string(position), key()).body);
    }

private slots:
    void initTestCase() {
        ClassServer::Options o;
        for (int n = 1; n <= records; ++n) { // the only "+" of the bank: any received is a leak
            o.questions << fixture::question(n);
            o.questions.last().prOtvet = QStringLiteral("+%1").arg(1 + n % 4);
        }
        o.trainees.clear();
        o.unnamedCodes = 12;
        o.ownOrder = true;
        o.hideAnswers = true;
        m_server = std::make_unique<ClassServer>(o);
        KV_REQUIRE_CLUSTER(m_server->cluster);
        QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
    }

    void ownOrderGivesEveryRunTheOrderOfItsState() {
        QList<QList<int>> orders;
        for (int run = 0; run < 2; ++run) {
            const json::value r = start().json();
            QVERIFY2(r.is_object() && r.at("orderState").is_number(), json::serialize(r).c_str());
            const auto state = std::uint32_t(r.at("orderState").to_number<std::int64_t>());
            const QList<int> order = orderOf(state, records);
            orders << order;
            // The run takes its questions in that order; its sheet shows the order and state.
            const std::string token(r.at("token").as_string());
            for (int i = 0; i < 3; ++i)
                answer(token, order[i], 1);
            const QString shown = sheet(m_nextCode);
            QVERIFY2(shown.contains(QStringLiteral("свой для этого ученика (начальное состояние "
                                                   "%1): %2, %3, %4")
                                        .arg(state)
                                        .arg(order[0])
                                        .arg(order[1])
                                        .arg(order[2])),
                     qPrintable(shown));
        }
        QVERIFY2(orders[0] != orders[1], "two runs drew one order");
        // A resumed run gets its own state again, not a new one.
        QCOMPARE(m_server->superValue("SELECT count(DISTINCT order_state) FROM kviront.runs"),
                 QStringLiteral("2"));
    }

    void hiddenAnswersNeverReachTheProgram() {
        m_received.clear();
        const json::value run = start().json();
        QCOMPARE(run.at("hideAnswers").as_bool(), true);
        const std::string token(run.at("token").as_string());
        const json::value right = answer(token, 1, 2).json(); // record 1: "+2"
        const json::value wrong = answer(token, 2, 1).json(); // record 2: "+3"
        QCOMPARE(json::serialize(right.at("right")), std::string("true"));
        QCOMPARE(json::serialize(wrong.at("right")), std::string("false"));
        QVERIFY(right.at("answerHidden").as_bool() && !right.as_object().contains("rightAnswer"));
        // A program that lost its run and starts it again learns no more.
        const json::value again = start(true).json();
        QCOMPARE(again.at("answers").as_array().size(), std::size_t(2));
        QVERIFY2(m_received.find('+') == std::string::npos &&
                     m_received.find("rightAnswer") == std::string::npos,
                 m_received.c_str());
        const int position = m_nextCode;
        QVERIFY(sheet(position).contains(QStringLiteral("скрыт до закрытия тестирования")));
        QVERIFY(!sheet(position).contains(QLatin1Char('+')));

        // Closed: the sheets show the right answers; a run still under way learns none.
        QCOMPARE(page("POST", "/class/close", key() + own(), "{}").status, 200);
        QVERIFY2(sheet(position).contains(QStringLiteral("2. Ответ 1.2</td>")),
                 qPrintable(sheet(position)));
        answer(token, 3, 4);
        QVERIFY(m_received.find('+') == std::string::npos);
    }

    void runsStartOnlyWithinTheSittingsTime_data() {
        QTest::addColumn<int>("fromMinutes"); // from now; 0: no opening time
        QTest::addColumn<int>("untilMinutes");
        QTest::addColumn<int>("status");
        QTest::newRow("opens in an hour") << 60 << 120 << 409;
        QTest::newRow("opened a minute ago, closes in an hour") << -1 << 60 << 200;
        QTest::newRow("closes in two seconds, tried after") << 0 << -2 << 409;
    }
    void runsStartOnlyWithinTheSittingsTime() {
        QFETCH(int, fromMinutes);
        QFETCH(int, untilMinutes);
        QFETCH(int, status);
        const QDateTime now = QDateTime::currentDateTime();
        const serversitting::Opened s = m_server->openSitting(
            QString::fromUtf8(QTest::currentDataTag()), {}, 1, [&](serversitting::OpenOptions& o) {
                if (fromMinutes)
                    o.from = now.addSecs(fromMinutes * 60);
                if (untilMinutes)
                    o.until = untilMinutes > 0 ? now.addSecs(untilMinutes * 60) : now.addSecs(2);
            });
        if (untilMinutes < 0)
            QTest::qWait(2500); // the end passes
        const Response r = HttpsClient(*m_server).start(str(s.name), str(s.codes[0].code));
        QCOMPARE(r.status, status);
        if (status != 200)
            QCOMPARE(r.errorCode(), std::string("sitting_closed"));
    }

    void theClassPageRefusesWhatIsNotTheTeachersOwn_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // in the body
        const QString key = this->key(), own = this->own(),
                      origin = "Origin: " + m_server->url() + "\r\n";
        const QString login = "key=" + m_server->teacherKey();
        const auto row = [](const char* name, const char* method, const char* path,
                            const QString& headers, const QString& body, int status,
                            const char* said) {
            QTest::newRow(name) << method << path << headers << body << status
                                << QString::fromUtf8(said);
        };
        row("the page without a key", "GET", "/class/", "", "", 401, "name=\"key\"");
        row("the state without a key", "GET", "/class/state", "", "", 401, "teacher_key");
        row("the state with another key", "GET", "/class/state",
            "Cookie: kviront_teacher=ZZZZ-ZZZZ-ZZZZ-ZZZZ-ZZZZ\r\n", "", 401, "teacher_key");
        row("the state with the key", "GET", "/class/state", key, "", 200, "\"rows\":[");
        row("a sheet without a key", "GET", "/class/sheet/1", "", "", 401, "name=\"key\"");
        row("a sheet of a code without a run", "GET", "/class/sheet/12", key, "", 409, "no_run");
        row("closing without the page's header", "POST", "/class/close", key + origin, "{}", 403,
            "other_site");
        row("closing from another site", "POST", "/class/close",
            key + "X-Kviront-Page: 1\r\nOrigin: https://evil.example\r\n", "{}", 403, "other_site");
        row("closing, as another site's fetch says", "POST", "/class/close",
            key + "X-Kviront-Page: 1\r\nSec-Fetch-Site: cross-site\r\n", "{}", 403, "other_site");
        row("rehosting no one", "POST", "/class/rehost", key + own, "{\"position\":\"1\"}", 400,
            "bad_request");
        row("rehosting a code without a run", "POST", "/class/rehost", key + own,
            "{\"position\":12}", 409, "no_run");
        row("a login from another site", "POST", "/class/login", "Origin: https://evil.example\r\n",
            login, 403, "со страницы входа");
        row("a wrong key", "POST", "/class/login", "", "key=ZZZZZZZZZZZZZZZZZZZZ", 401,
            "Ключ не подходит");
        row("the key, once", "POST", "/class/login", origin, login, 303, "");
        row("closing by GET", "GET", "/class/close", key, "", 405, "method_not_allowed");
        row("nothing there", "GET", "/class/secret", key, "", 404, "no_such_path");
    }
    void theClassPageRefusesWhatIsNotTheTeachersOwn() {
        QFETCH(QString, method);
        QFETCH(QString, path);
        QFETCH(QString, headers);
        QFETCH(QString, body);
        QFETCH(int, status);
        QFETCH(QString, said);
        Response r = page(str(method), str(path), headers, str(body));
        QCOMPARE(r.status, status);
        QVERIFY2(QString::fromStdString(r.body).contains(said), r.body.c_str());
        const std::string policy = r.headers["content-security-policy"];
        QVERIFY2(policy.find("script-src 'self'") != std::string::npos &&
                     policy.find("unsafe") == std::string::npos,
                 policy.c_str());
        if (status == 303)
            QCOMPARE(r.headers.at("set-cookie"),
                     "kviront_teacher=" + str(m_server->teacherKey()) +
                         "; Path=/class; Max-Age=43200; Secure; HttpOnly; SameSite=Strict");
        // Nothing was closed or allowed by a refused request.
        if (status != 200 && status != 303)
            QCOMPARE(
                m_server->superValue("SELECT count(*) FROM kviront.codes WHERE rehost_allowed"),
                QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestDaemonSittingRules)
#include "test_daemon_sitting_rules.moc"
