// The classroom server under a class: N simulated trainees (default 300), each on a connection
// of its own, take 30-question runs through the trainee calls against a throwaway cluster with
// fsync on, in two phases:
//   paced     every trainee answers every 2 seconds, as a class does, each through the
//             program's own client on a thread of its own: the latency a trainee feels, an
//             answer and the next question (or the end of the run) together;
//   flat out  no pauses, run after run, for as long as a pgbench round: the throughput (the
//             median of 3 rounds). The class is driven as pgbench drives its clients
//             (flatout.h), so that both sides cost the shared cores alike.
// pgbench runs on the same cluster, in rounds between the flat-out ones, with as many clients
// and a script of one INSERT and one SELECT per transaction: the yardstick of what the server
// does with plain statements.
// --via-pgbouncer puts PgBouncer in transaction mode in front of the cluster (started here, with
// a config of its own in a temporary folder, on a Unix socket only) and runs 1,000 trainees by
// default through it, pgbench through it too.
// Every loop is bounded in count and time and talks only to Unix sockets of this machine.
// Last line: trainees=… answers=… lost=… duplicated=… paced_p50_ms=… paced_p99_ms=…
//            answers_per_s=… pgbench_tps=… ratio=… peak_mb=…
#include "bankfixture.h"
#include "bench_measure.h"
#include "classroom_server.h"
#include "flatout.h"
#include "pgbouncer.h"
#include "traineeclient.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <mutex>
#include <sys/resource.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    int trainees = 300;
    int questions = 30;
    int paceMs = 2000;
    int roundSeconds = 10; // a flat-out round, and a pgbench round
    int threads = 2;       // that drive the flat-out class, and pgbench's
    int rounds = 3;
    int phaseLimitSeconds = 300; // a phase that runs longer is cut short and says so
    bool viaPgbouncer = false;
    int poolSize = 20; // server connections of the pooler
};

// Where the trainees and pgbench connect: the cluster itself, or the pooler in front of it.
struct Target {
    QString traineeConninfo;
    QString host;
    int port = 0;
};

struct Phase {
    std::vector<double> latenciesMs;
    QStringList tokens;
    int sent = 0;    // answers the server confirmed
    int missing = 0; // answers never given: a run broken off, or cut short by the time limit
    int failed = 0;  // runs broken off by an error (each is reported)
    double seconds = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// One trainee's run. The first question is fetched before the paced clock starts; each step
// is an answer and the next question (the last: the end of the run), timed together.
// Every trainee has connected and fetched the first question before the phase's clock starts:
// logging in is not what is measured.
void trainee(const Target& target, const Settings& s, int index, std::latch& connected,
             std::latch& go, const Clock::time_point& start, Phase& phase, std::mutex& lock) {
    serverbank::TraineeClient client(target.traineeConninfo);
    std::vector<double> latencies;
    int sent = 0;
    QString token;
    bool waited = false;
    try {
        // A whole class logging in at the same moment may find the door full: as a trainee
        // would, try again a little later (before the clock starts, so nothing is measured).
        for (int attempt = 1;; ++attempt) {
            try {
                token =
                    client
                        .startRun(QStringLiteral("Класс"), QStringLiteral("Ученик %1").arg(index),
                                  QStringLiteral("pc-%1").arg(index), 35, QLatin1Char(','))
                        .token;
                break;
            } catch (const ServerError& e) {
                if (!e.connectionLost() || attempt == 10)
                    throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(200 * attempt));
            }
        }
        client.question(token, 1);
        connected.count_down();
        waited = true;
        go.wait();
        const Clock::time_point deadline = start + std::chrono::seconds(s.phaseLimitSeconds);
        // Trainees start within one pace of each other, as a class does.
        Clock::time_point next =
            start + std::chrono::milliseconds(s.paceMs > 0 ? (index * 7919) % s.paceMs : 0);
        for (int record = 1; record <= s.questions && Clock::now() < deadline; ++record) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(s.paceMs);
            const Clock::time_point t = Clock::now();
            client.answer(token, record, 1 + record % 4, 3);
            ++sent;
            if (record < s.questions)
                client.question(token, record + 1);
            else
                client.finishRun(token, true);
            latencies.push_back(msSince(t));
        }
    } catch (const Error& e) {
        std::lock_guard<std::mutex> guard(lock);
        ++phase.failed;
        std::fprintf(stderr, "trainee %d: %s\n", index, e.what());
    }
    if (!waited)
        connected.count_down();
    std::lock_guard<std::mutex> guard(lock);
    phase.latenciesMs.insert(phase.latenciesMs.end(), latencies.begin(), latencies.end());
    phase.sent += sent;
    phase.missing += s.questions - sent;
    if (!token.isEmpty())
        phase.tokens.push_back(token);
}

Phase runPaced(const Target& target, const Settings& s) {
    Phase phase;
    std::mutex lock;
    Clock::time_point start;
    std::latch connected(s.trainees), go(1);
    std::vector<std::thread> threads;
    threads.reserve(size_t(s.trainees));
    for (int i = 0; i < s.trainees; ++i)
        threads.emplace_back(trainee, std::cref(target), std::cref(s), i, std::ref(connected),
                             std::ref(go), std::cref(start), std::ref(phase), std::ref(lock));
    connected.wait();
    start = Clock::now(); // written before any trainee is let go
    go.count_down();
    for (std::thread& t : threads)
        t.join();
    phase.seconds = msSince(start) / 1000;
    return phase;
}

// What the server holds for the runs of a phase: answers it confirmed but does not hold, and
// answers never given, are lost; answers recorded more than once for a record are duplicated.
void audit(const ClassroomServer& server, const QStringList& tokens, int confirmed, int missing,
           int* lost, int* duplicated) {
    pg::Connection c(server.cluster.superConninfo());
    const pg::Result r = c.exec(
        "SELECT count(*), count(DISTINCT (a.run_id, a.record)) FROM kviront.answers a JOIN "
        "kviront.runs r ON r.id = a.run_id WHERE r.token = ANY (string_to_array($1, ',')::uuid[])",
        {tokens.join(QLatin1Char(','))});
    const int rows = int(r.integer(0, 0));
    const int distinct = int(r.integer(0, 1));
    *lost += std::max(0, confirmed - distinct) + missing;
    *duplicated += rows - distinct;
}

double pgbenchTps(const ClassroomServer& server, const Target& target, const Settings& s,
                  QTemporaryDir& dir) {
    const QString e = server.cluster.superSql(
        QStringLiteral("SET client_min_messages = warning; CREATE TABLE IF NOT EXISTS bench_kv "
                       "(k bigint PRIMARY KEY, v integer NOT NULL)"));
    if (!e.isEmpty())
        std::fprintf(stderr, "pgbench table: %s\n", qPrintable(e));
    const QString script = dir.filePath(QStringLiteral("answer.sql"));
    QFile f(script);
    f.open(QIODevice::WriteOnly);
    f.write("\\set k random(1, 9000000000000)\n"
            "BEGIN;\n"
            "INSERT INTO bench_kv (k, v) VALUES (:k, :client_id) ON CONFLICT DO NOTHING;\n"
            "SELECT v FROM bench_kv WHERE k = :k;\n"
            "END;\n");
    f.close();
    QByteArray out;
    const int code = server.cluster.runClient(
        QStringLiteral("pgbench"),
        {QStringLiteral("-n"), QStringLiteral("-M"), QStringLiteral("extended"),
         QStringLiteral("-h"), target.host, QStringLiteral("-p"), QString::number(target.port),
         QStringLiteral("-U"), QLatin1String(PgCluster::superUser), QStringLiteral("-c"),
         QString::number(s.trainees), QStringLiteral("-j"), QString::number(s.threads),
         QStringLiteral("-T"), QString::number(s.roundSeconds), QStringLiteral("-f"), script,
         QLatin1String(PgCluster::database)},
        &out, (s.roundSeconds + 120) * 1000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("tps = ([0-9.]+)")).match(QString::fromUtf8(out));
    if (code != 0 || !m.hasMatch()) {
        std::fprintf(stderr, "pgbench failed (%d): %s\n", code, out.constData());
        return -1;
    }
    return m.captured(1).toDouble();
}

// This process's CPU time (or its finished children's: pgbench's): what the simulated class
// itself takes from the server's cores.
double cpuSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void raiseFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

int intOption(const QStringList& args, const QString& name, int fallback) {
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    Settings s;
    s.trainees = std::clamp(intOption(args, QStringLiteral("--trainees"), s.trainees), 1, 2000);
    s.questions = std::clamp(intOption(args, QStringLiteral("--questions"), s.questions), 1, 1000);
    s.paceMs = std::clamp(intOption(args, QStringLiteral("--pace-ms"), s.paceMs), 0, 60000);
    s.roundSeconds =
        std::clamp(intOption(args, QStringLiteral("--round-seconds"), s.roundSeconds), 1, 600);
    s.threads = std::clamp(intOption(args, QStringLiteral("--threads"), s.threads), 1, 64);
    s.rounds = std::clamp(intOption(args, QStringLiteral("--rounds"), s.rounds), 1, 9);
    s.viaPgbouncer = args.contains(QStringLiteral("--via-pgbouncer"));
    if (s.viaPgbouncer && !args.contains(QStringLiteral("--trainees")))
        s.trainees = 1000;
    s.poolSize = std::clamp(intOption(args, QStringLiteral("--pool-size"), s.poolSize), 1, 200);
    raiseFileLimit(); // a socket per trainee, and as many again in the pooler

    PgCluster::Options options;
    options.fsync = true;
    options.maxConnections = (s.viaPgbouncer ? 2 * s.poolSize : s.trainees) +
                             20; // the pooler: a pool for the trainees, one for pgbench
    ClassroomServer server(options);
    if (!server.ok()) {
        std::fprintf(stderr, "no server: %s\n", qPrintable(server.error()));
        return 1;
    }
    Target target{server.trainee(), server.cluster.socketDir(), server.cluster.port()};
    std::unique_ptr<PgBouncer> bouncer;
    if (s.viaPgbouncer) {
        bouncer = std::make_unique<PgBouncer>(
            server.cluster,
            QStringList{QStringLiteral("kviront_trainee"), QLatin1String(PgCluster::superUser)},
            s.trainees + 50, s.poolSize);
        if (!bouncer->ok()) {
            std::fprintf(stderr, "no pgbouncer: %s\n", qPrintable(bouncer->error()));
            return 1;
        }
        target = {bouncer->conninfo(QStringLiteral("kviront_trainee"),
                                    QLatin1String(ClassroomServer::traineePassword)),
                  bouncer->socketDir(), PgBouncer::port};
    }
    QTemporaryDir dir;
    server.publish(fixture::makeBank(dir, QStringLiteral("class.mdb"), s.questions),
                   QStringLiteral("Класс"));
    std::fprintf(stderr, "server ready: %d trainees, %d questions%s\n", s.trainees, s.questions,
                 s.viaPgbouncer ? ", through pgbouncer" : "");

    bench::resetPeak();
    const Phase paced = runPaced(target, s);
    std::fprintf(stderr, "paced: %d answers in %.1f s, %d failed\n", paced.sent, paced.seconds,
                 paced.failed);
    int answers = paced.sent;
    int lost = 0, duplicated = 0;
    audit(server, paced.tokens, paced.sent, paced.missing, &lost, &duplicated);
    // The machine is shared: flat-out rounds and pgbench rounds alternate, and the medians
    // are compared, so a neighbour's burst weighs on both sides alike.
    std::vector<double> rates, tpss;
    flatout::Settings flat;
    flat.conninfo = target.traineeConninfo.toStdString();
    flat.trainees = s.trainees;
    flat.questions = s.questions;
    flat.threads = s.threads;
    flat.seconds = s.roundSeconds;
    for (int round = 0; round < s.rounds; ++round) {
        const double cpuBefore = cpuSeconds();
        const flatout::Result r = flatout::run(flat);
        std::fprintf(stderr,
                     "flat out: %d answers in %.1f s (%.1f s of CPU in this client), %d runs, "
                     "%d failed\n",
                     r.inWindow, r.seconds, cpuSeconds() - cpuBefore, int(r.tokens.size()),
                     r.failed);
        QStringList tokens;
        for (const std::string& t : r.tokens)
            tokens << QString::fromStdString(t);
        audit(server, tokens, r.confirmed, r.missing, &lost, &duplicated);
        answers += r.confirmed;
        rates.push_back(r.inWindow / r.seconds);
        const double pgbenchCpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        tpss.push_back(pgbenchTps(server, target, s, dir));
        std::fprintf(stderr, "pgbench: %.0f tps (%.1f s of CPU in pgbench)\n", tpss.back(),
                     cpuSeconds(RUSAGE_CHILDREN) - pgbenchCpuBefore);
    }
    const double peak = bench::peakMb();
    const double answersPerS = percentile(rates, 0.5);
    const double tps = percentile(tpss, 0.5);
    std::printf("trainees=%d answers=%d lost=%d duplicated=%d paced_p50_ms=%.1f paced_p99_ms=%.1f "
                "answers_per_s=%.0f pgbench_tps=%.0f ratio=%.2f peak_mb=%.1f\n",
                s.trainees, answers, lost, duplicated, percentile(paced.latenciesMs, 0.5),
                percentile(paced.latenciesMs, 0.99), answersPerS, tps,
                tps > 0 ? answersPerS / tps : 0, peak);
    return lost == 0 && duplicated == 0 ? 0 : 1;
}
