// Runs of a class through the program's run jobs while a real kviront-server dies under them:
// five runs in flight when the server is killed (-9) and started again, and a class spread over
// two servers on one cluster, one of which dies. Every run completes, every answer is recorded
// exactly once and every end arrives once.
#include "class_server.h"
#include "client_seams.h"
#include "outbox.h"
#include "runjob.h"
#include "serverbankfile.h"
#include "skip.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int records = 40;

int optionFor(int run, int record) {
    return 1 + (record + run) % 4;
}

// One trainee's program, as far as the server sees it: each question fetched, answered and the
// next one fetched, then the end.
struct Trainee {
    RunJob* job = nullptr;
    int run = 0;
    int answered = 0;
    int troubles = 0; // passing troubles met
    bool ended = false;

    void drive() {
        QObject::connect(job, &RunJob::started, job, [this] {
            job->keep({}, {}, {}); // into the journal, as the window puts it
            job->fetchQuestion(1);
        });
        QObject::connect(job, &RunJob::questionReady, job, [this](const classclient::Question& q) {
            job->sendAnswer(q.record, optionFor(run, q.record), 1.5);
        });
        QObject::connect(job, &RunJob::answerRecorded, job,
                         [this](const classclient::RecordedAnswer& a) {
                             answered = a.record;
                             if (a.record < records)
                                 job->fetchQuestion(a.record + 1);
                             else
                                 job->finish(true);
                         });
        QObject::connect(job, &RunJob::finished, job, [this] { ended = true; });
        QObject::connect(job, &RunJob::waiting, job, [this] { ++troubles; });
        QObject::connect(job, &RunJob::failed, job,
                         [](const QString& why) { qWarning("refused: %s", qPrintable(why)); });
    }
};

} // namespace

class TestServerFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { DelaySeam::setManual(true); }

    void everyRunCompletesWhenAServerDiesUnderIt_data() {
        QTest::addColumn<int>("servers");
        QTest::newRow("one server killed with five runs in flight") << 1;
        QTest::newRow("two servers over one cluster, one killed") << 2;
    }
    void everyRunCompletesWhenAServerDiesUnderIt() {
        QFETCH(int, servers);
        ClassServer::Options o;
        o.servers = servers;
        o.records = records;
        o.unnamedCodes = 2; // with the three named ones: five trainees
        ClassServer server(o);
        KV_REQUIRE_CLUSTER(server.cluster);
        QVERIFY2(server.ok(), qPrintable(server.error()));
        QTemporaryDir home;
        Outbox outbox(home.filePath("kviront"));
        std::vector<Trainee> trainees(5);
        for (int i = 0; i < 5; ++i) {
            Trainee& t = trainees[std::size_t(i)];
            t.run = i;
            t.job = outbox.newRun(serverbank::readSitting(server.bankFile(i % servers)));
            t.drive();
            t.job->start(server.codes()[i].code, QStringLiteral("Гость %1").arg(i),
                         QStringLiteral("pc-%1").arg(i));
        }
        const auto sum = [&](int Trainee::*field) {
            int n = 0;
            for (const Trainee& t : trainees)
                n += t.*field;
            return n;
        };
        // Killed while every run is on its way; the runs on it meet its absence.
        QTRY_VERIFY_WITH_TIMEOUT(sum(&Trainee::answered) >= 5 * 5, 60000);
        server.kill(0);
        QTRY_VERIFY_WITH_TIMEOUT(sum(&Trainee::troubles) > 0, 30000);
        QVERIFY(server.start(0));
        QTRY_VERIFY_WITH_TIMEOUT((DelaySeam::fireAll(Delay::Pause),
                                  std::all_of(trainees.begin(), trainees.end(),
                                              [](const Trainee& t) { return t.ended; })),
                                 120000);
        // Every answer once, every run ended completed.
        QCOMPARE(server.superValue("SELECT count(*) || ' ' || count(DISTINCT (run_id, record)) || "
                                   "' ' || (SELECT count(*) FROM kviront.runs WHERE ended_at IS "
                                   "NOT NULL AND finished) FROM kviront.answers"),
                 QStringLiteral("%1 %1 5").arg(5 * records));
        // Each answer as its trainee gave it, none to another's run.
        for (int i = 0; i < 5; ++i) {
            QStringList expected;
            for (int record = 1; record <= records; ++record)
                expected << QStringLiteral("%1:%2").arg(record).arg(optionFor(i, record));
            QCOMPARE(server.superValue(
                         QStringLiteral("SELECT string_agg(a.record || ':' || a.option, ' ' ORDER "
                                        "BY a.record) FROM kviront.answers a JOIN kviront.runs r "
                                        "ON r.id = a.run_id WHERE r.host = 'pc-%1'")
                             .arg(i)),
                     expected.join(QLatin1Char(' ')));
        }
        QCOMPARE(outbox.journal().runs().size(), 0); // every end arrived: nothing left
    }
};

QTEST_GUILESS_MAIN(TestServerFaults)
#include "test_server_faults.moc"
