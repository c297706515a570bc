// The class server lost mid-class (a daemon killed or stopped, one of two over one cluster, the
// database away): every run of five trainees completes with every answer once, as given.
#include "class_server.h"
#include "classapi.h"
#include "https_client.h"
#include "skip.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <atomic>
#include <boost/json.hpp>
#include <functional>
#include <thread>

namespace json = boost::json;
using Response = HttpsClient::Response;

namespace {

constexpr int records = 12;
constexpr int heldAfter = 4; // answers before each waits for the fault: the runs under way
enum Fault { Kill, Stop, DatabaseAway };

int optionFor(int trainee, int record) {
    return 1 + (trainee + record) % 4;
}

// One trainee's whole run, as the program takes it: a request sent again after a passing
// trouble, spread over the servers by trainee or every request to the next one. "" when it went
// as it should, else what went wrong.
std::string takeRun(const ClassServer& server, int number, bool alternate,
                    const std::atomic<bool>& go) {
    std::vector<std::unique_ptr<HttpsClient>> clients;
    for (int i = 0; i < server.servers(); ++i)
        clients.push_back(std::make_unique<HttpsClient>(server, i));
    std::size_t requests = 0;
    const auto send = [&](const std::function<Response(HttpsClient&)>& call) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            const Response r =
                call(*clients[(alternate ? requests++ : std::size_t(number)) % clients.size()]);
            if (r.status == 200 || (r.status != 0 && !classapi::isPassingStatus(r.status)))
                return r.status == 200 ? r.json() : json::value();
            QThread::msleep(100);
        }
        return json::value();
    };
    const std::string host = "pc-" + std::to_string(number);
    const json::value started = send([&](HttpsClient& c) {
        return c.start(server.sitting().toStdString(),
                       classapi::groupedCode(server.codes()[number].code.toStdString()), host,
                       host);
    });
    if (!started.is_object())
        return "no start";
    const std::string token(started.at("token").as_string());
    for (int record = 1; record <= records; ++record) {
        const int option = optionFor(number, record);
        if (!send([&](HttpsClient& c) { return c.question(token, record); }).is_object())
            return "no question " + std::to_string(record);
        const json::value a =
            send([&](HttpsClient& c) { return c.answer(token, record, option, 1.5); });
        if (!a.is_object() || a.at("option").as_int64() != option)
            return "answer " + std::to_string(record) + " not as given";
        QElapsedTimer held;
        held.start();
        while (record == heldAfter && !go && held.elapsed() < 60000)
            QThread::msleep(2);
    }
    const json::value end = send([&](HttpsClient& c) {
        return c.post("/api/v1/finish", json::object{{"token", token}, {"completed", true}});
    });
    return end.is_object() && end.at("completed").as_bool() ? "" : "not finished";
}

} // namespace

class TestDaemonFaults : public QObject {
    Q_OBJECT

private slots:
    void everyRunCompletesWithEveryAnswerOnce_data() {
        QTest::addColumn<int>("servers");
        QTest::addColumn<bool>("alternate"); // every request to the next server
        QTest::addColumn<int>("victim");     // the server that goes
        QTest::addColumn<int>("fault");
        QTest::newRow("one server killed") << 1 << false << 0 << int(Kill);
        QTest::newRow("one server stopped") << 1 << false << 0 << int(Stop);
        QTest::newRow("two servers, trainees spread, one killed") << 2 << false << 1 << int(Kill);
        QTest::newRow("two servers, each request to the other, one killed")
            << 2 << true << 0 << int(Kill);
        QTest::newRow("the database away") << 1 << false << 0 << int(DatabaseAway);
    }
    void everyRunCompletesWithEveryAnswerOnce() {
        QFETCH(int, servers);
        QFETCH(bool, alternate);
        QFETCH(int, victim);
        QFETCH(int, fault);
        ClassServer::Options o;
        o.servers = servers;
        o.records = records;
        o.config = {"run_burst = 1000", "run_per_second = 1000", "start_burst = 1000"};
        ClassServer server(o);
        KV_REQUIRE_CLUSTER(server.cluster);
        QVERIFY2(server.ok(), qPrintable(server.error()));
        const int trainees = int(server.codes().size());
        QCOMPARE(trainees, 5);

        std::vector<std::string> outcomes(std::size_t(trainees), "not run");
        std::atomic<bool> go = false;
        std::vector<std::jthread> threads; // joined on every way out of the test
        const auto release = qScopeGuard([&] { go = true; });
        for (int t = 0; t < trainees; ++t)
            threads.emplace_back(
                [&, t] { outcomes[std::size_t(t)] = takeRun(server, t, alternate, go); });
        // The fault comes while every trainee is under way.
        const QString answered = QStringLiteral("SELECT count(*) FROM kviront.answers");
        QElapsedTimer clock;
        clock.start();
        while (server.superValue(answered).toInt() < trainees * heldAfter &&
               clock.elapsed() < 60000)
            QThread::msleep(5);
        if (fault == DatabaseAway) { // the runs meet 503 until it is back
            server.cluster.stop();
            go = true;
            const Response r = HttpsClient(server).get("/api/v1/health");
            QCOMPARE(r.errorCode(), std::string("unavailable"));
            QVERIFY(std::stoi(r.headers.at("retry-after")) >= 1);
            QThread::msleep(300);
            QVERIFY(server.cluster.start());
        } else {
            go = true;
            if (fault == Kill)
                server.kill(victim);
            else // requests in flight answered, then a clean exit
                QCOMPARE(server.stop(victim), 0);
            QVERIFY(server.superValue(answered).toInt() < trainees * records); // runs in flight
        }
        QThread::msleep(300);
        const bool restarted = server.start(victim);
        for (std::jthread& t : threads)
            t.join();
        QVERIFY2(restarted, qPrintable(server.error()));
        for (int t = 0; t < trainees; ++t)
            QVERIFY2(outcomes[std::size_t(t)].empty(),
                     qPrintable(QStringLiteral("trainee %1: %2")
                                    .arg(t)
                                    .arg(QString::fromStdString(outcomes[std::size_t(t)]))));

        // One run for each trainee, finished, with one answer in time per record, each as given.
        QStringList expected;
        for (int t = 0; t < trainees; ++t) {
            expected << QStringLiteral("pc-%1 true ").arg(t);
            for (int record = 1; record <= records; ++record)
                expected.last() += QString::number(optionFor(t, record));
        }
        QCOMPARE(server.superValue(QStringLiteral(
                     "SELECT string_agg(r.host || ' ' || r.finished || ' ' || (SELECT "
                     "string_agg(a.option || CASE WHEN a.late THEN 'late' ELSE '' END, '' ORDER "
                     "BY a.record) FROM kviront.answers a WHERE a.run_id = r.id), ',' ORDER BY "
                     "r.host) FROM kviront.runs r")),
                 expected.join(QLatin1Char(',')));
    }
};

QTEST_GUILESS_MAIN(TestDaemonFaults)
#include "test_daemon_faults.moc"
