// The class server under a class: N simulated trainees (default 1,000) take 30-question runs
// through the HTTPS API of real kviront-server daemons (default one) over a throwaway cluster
// with fsync on, each trainee on a kept-alive TLS connection of its own (class_driver.h), in
// two phases:
//   paced     every trainee answers every 2 seconds, as a class does: the latency a trainee
//             feels, an answer and the next question (or the end of the run) together;
//   flat out  no pauses, run after run, for as long as a pgbench round: the throughput (the
//             median of 3 rounds).
// pgbench runs on the same cluster, in rounds between the flat-out ones, with as many clients
// as trainees (--pgbench-clients) and a script of one INSERT and one SELECT per transaction:
// the yardstick of what the database does with plain statements. Afterwards the database is asked
// for every answer the server confirmed: lost and duplicated are counted from what it holds. Every
// loop is bounded in count and time; all traffic stays on 127.0.0.1 and Unix sockets. Last line:
// trainees=… servers=… answers=… lost=… duplicated=… paced_p50_ms=… paced_p99_ms=…
//            answers_per_s=… pgbench_tps=… ratio=… server_peak_mb=… server_cpu_s=… class_cpu_s=…
#include "class_driver.h"
#include "class_server.h"
#include "pgconnection.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Settings {
    int trainees = 1000;
    int questions = 30;
    int paceMs = 2000;
    int roundSeconds = 10; // a flat-out round, and a pgbench round
    int threads = 2;       // that drive the class, and pgbench's
    int rounds = 3;
    int servers = 1;
    // Each daemon's database connections: every question and answer waits for the disk at its
    // commit, so a class this large needs more of them than a school's default 4 (README).
    int pool = 32;
    int serverThreads = 2;
    int phaseLimitSeconds = 300; // a phase that runs longer is cut short and says so
    int pgbenchClients = 1000;   // --pgbench-clients, by default as many as trainees
};

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// What the server holds for a phase's runs: an answer it confirmed but does not hold is lost
// (as is, paced, an answer a run never gave); more than one row for a record is duplicated.
void audit(const ClassServer& server, const classdriver::Phase& phase, int* lost, int* duplicated) {
    std::map<std::string, int> confirmed;
    QStringList tokens;
    for (const classdriver::Run& r : phase.runs) {
        confirmed[r.token] += r.confirmed;
        tokens << QString::fromStdString(r.token);
    }
    pg::Connection c(server.superConninfo());
    const pg::Result rows = c.exec("SELECT r.token::text, count(a.record), "
                                   "count(DISTINCT a.record) FROM kviront.runs r LEFT JOIN "
                                   "kviront.answers a ON a.run_id = r.id WHERE r.token = ANY "
                                   "(string_to_array($1, ',')::uuid[]) GROUP BY r.token",
                                   {tokens.join(QLatin1Char(','))});
    for (int i = 0; i < rows.rows(); ++i) {
        const int held = int(rows.integer(i, 1)), distinct = int(rows.integer(i, 2));
        int& wanted = confirmed[rows.text(i, 0).toStdString()];
        *lost += std::max(0, wanted - distinct);
        *duplicated += held - distinct;
        wanted = 0;
    }
    for (const auto& [token, left] : confirmed)
        *lost += left; // runs the server does not hold at all
    *lost += phase.missing;
}

double pgbenchTps(const ClassServer& server, const Settings& s, QTemporaryDir& dir) {
    const QString e = server.superSql(
        QStringLiteral("SET client_min_messages = warning; CREATE TABLE IF NOT EXISTS bench_kv "
                       "(k bigint PRIMARY KEY, v integer NOT NULL)"));
    if (!e.isEmpty())
        std::fprintf(stderr, "pgbench table: %s\n", qPrintable(e));
    const QString script = dir.filePath(QStringLiteral("answer.sql"));
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly))
        return -1;
    f.write("\\set k random(1, 9000000000000)\n"
            "BEGIN;\n"
            "INSERT INTO bench_kv (k, v) VALUES (:k, :client_id) ON CONFLICT DO NOTHING;\n"
            "SELECT v FROM bench_kv WHERE k = :k;\n"
            "END;\n");
    f.close();
    // Its clients log in (SCRAM) within its time; its rate leaves that time out. A thousand
    // logins take some 15 s on two busy cores.
    const int connecting = s.pgbenchClients / 50; // seconds
    QByteArray out;
    const int code = server.cluster.runClient(
        QStringLiteral("pgbench"),
        {QStringLiteral("-n"), QStringLiteral("-M"), QStringLiteral("extended"),
         QStringLiteral("-h"), server.cluster.socketDir(), QStringLiteral("-p"),
         QString::number(server.cluster.port()), QStringLiteral("-U"),
         QLatin1String(PgCluster::superUser), QStringLiteral("-c"),
         QString::number(s.pgbenchClients), QStringLiteral("-j"), QString::number(s.threads),
         QStringLiteral("-T"), QString::number(s.roundSeconds + connecting), QStringLiteral("-f"),
         script, QLatin1String(PgCluster::database)},
        &out, (s.roundSeconds + connecting + 120) * 1000);
    const QString said = QString::fromUtf8(out);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("tps = ([0-9.]+)")).match(said);
    const QRegularExpressionMatch connected =
        QRegularExpression(QStringLiteral("initial connection time = ([0-9.]+) ms")).match(said);
    if (code != 0 || !m.hasMatch() || m.captured(1).toDouble() <= 0) {
        std::fprintf(stderr, "pgbench failed (%d): %s\n", code, out.constData());
        return -1;
    }
    std::fprintf(stderr, "pgbench: %d clients connected in %.1f s\n", s.pgbenchClients,
                 connected.captured(1).toDouble() / 1000);
    return m.captured(1).toDouble();
}

double cpuSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A daemon's CPU time so far (user and system), from /proc.
double processCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // After the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return f.size() > 12 ? (f[11].toDouble() + f[12].toDouble()) / double(sysconf(_SC_CLK_TCK)) : 0;
}

double serversCpuSeconds(const ClassServer& server) {
    double sum = 0;
    for (int i = 0; i < server.servers(); ++i)
        sum += processCpuSeconds(server.pid(i));
    return sum;
}

// The highest resident memory a daemon reached, in MB (VmHWM).
double peakMb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

void raiseFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
}

int intOption(const QStringList& args, const QString& name, int fallback, int low, int high) {
    const qsizetype i = args.indexOf(name);
    return std::clamp(i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback, low, high);
}

std::vector<classdriver::Seat> seatsOf(const serversitting::Opened& opened) {
    std::vector<classdriver::Seat> seats;
    for (const serversitting::Code& c : opened.codes)
        seats.push_back({opened.name.toStdString(), c.code.toStdString()});
    return seats;
}

// Codes enough for every trainee to start a run and for as many more runs as may end: a
// sitting of 1,000 codes at a time (the teacher tool's bound), opened before the clock starts.
void topUp(ClassServer& server, classdriver::Class& class_, int wanted, int* sittings) {
    while (class_.seatsLeft() < wanted)
        class_.addSeats(seatsOf(
            server.openSitting(QStringLiteral("Класс %1").arg(++*sittings), QStringList(), 1000)));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    Settings s;
    s.trainees = intOption(args, QStringLiteral("--trainees"), s.trainees, 1, 5000);
    s.questions = intOption(args, QStringLiteral("--questions"), s.questions, 1, 1000);
    s.paceMs = intOption(args, QStringLiteral("--pace-ms"), s.paceMs, 0, 60000);
    s.roundSeconds = intOption(args, QStringLiteral("--round-seconds"), s.roundSeconds, 1, 600);
    s.threads = intOption(args, QStringLiteral("--threads"), s.threads, 1, 64);
    s.rounds = intOption(args, QStringLiteral("--rounds"), s.rounds, 1, 9);
    s.servers = intOption(args, QStringLiteral("--servers"), s.servers, 1, 8);
    s.pool = intOption(args, QStringLiteral("--pool"), s.pool, 1, 64);
    s.serverThreads = intOption(args, QStringLiteral("--server-threads"), s.serverThreads, 1, 64);
    s.pgbenchClients = intOption(args, QStringLiteral("--pgbench-clients"), s.trainees, 1, 5000);
    raiseFileLimit(); // a socket per trainee, and pgbench's clients

    ClassServer::Options o;
    o.servers = s.servers;
    o.records = s.questions;
    o.trainees.clear();
    o.unnamedCodes = 1000;
    o.seconds = 60;
    o.cluster.fsync = true;
    o.cluster.maxConnections = s.pgbenchClients + s.servers * s.pool + 20;
    // The whole class comes from 127.0.0.1, and may all wait for the database at once.
    o.config = {QStringLiteral("pool = %1").arg(s.pool),
                QStringLiteral("threads = %1").arg(s.serverThreads),
                QStringLiteral("max_connections = %1").arg(s.trainees + 100),
                QStringLiteral("connections_per_address = %1").arg(s.trainees + 100),
                QStringLiteral("queue_per_connection = %1").arg(s.trainees / s.pool + 64)};
    ClassServer server(o);
    if (!server.ok()) {
        std::fprintf(stderr, "no server: %s\n", qPrintable(server.error()));
        return 1;
    }
    classdriver::Settings d;
    for (int i = 0; i < server.servers(); ++i)
        d.ports.push_back(server.port(i));
    d.certificate = server.certificate().toStdString();
    d.trainees = s.trainees;
    d.threads = s.threads;
    classdriver::Class class_(d, seatsOf(server.opened()));
    int sittings = 1;
    QTemporaryDir dir;
    std::fprintf(stderr, "server ready: %d trainees, %d questions, %d server(s), pool %d\n",
                 s.trainees, s.questions, s.servers, s.pool);

    int lost = 0, duplicated = 0;
    topUp(server, class_, s.trainees, &sittings);
    const int seated = class_.seat();
    const double pacedCpu = cpuSeconds(), pacedServerCpu = serversCpuSeconds(server);
    const classdriver::Phase paced = class_.paced(s.paceMs, s.phaseLimitSeconds);
    std::fprintf(stderr,
                 "paced: %d seated, %d answers in %.1f s, %d failed (%.1f s of CPU in the "
                 "server, %.1f s in the class)\n",
                 seated, paced.confirmed, paced.seconds, paced.failed,
                 serversCpuSeconds(server) - pacedServerCpu, cpuSeconds() - pacedCpu);
    audit(server, paced, &lost, &duplicated);
    int answers = paced.confirmed;

    // The machine is shared: flat-out rounds and pgbench rounds alternate, and the medians
    // are compared, so a neighbour's burst weighs on both sides alike.
    std::vector<double> rates, tpss;
    double serverCpu = 0, classCpu = 0;
    for (int round = 0; round < s.rounds; ++round) {
        topUp(server, class_, 2 * s.trainees + 1000, &sittings);
        class_.seat();
        const double cpuBefore = cpuSeconds(), serverBefore = serversCpuSeconds(server);
        const classdriver::Phase flat = class_.flatOut(s.roundSeconds, 60);
        const double roundServer = serversCpuSeconds(server) - serverBefore;
        const double roundClass = cpuSeconds() - cpuBefore;
        serverCpu += roundServer;
        classCpu += roundClass;
        std::fprintf(stderr,
                     "flat out: %d answers in %.1f s, %d runs, %d failed, %d repeated (%.1f s "
                     "of CPU in the server, %.1f s in the class)\n",
                     flat.inWindow, flat.seconds, int(flat.runs.size()), flat.failed, flat.repeated,
                     roundServer, roundClass);
        audit(server, flat, &lost, &duplicated);
        answers += flat.confirmed;
        rates.push_back(flat.inWindow / flat.seconds);
        const double pgbenchCpuBefore = cpuSeconds(RUSAGE_CHILDREN);
        tpss.push_back(pgbenchTps(server, s, dir));
        std::fprintf(stderr, "pgbench: %.0f tps (%.1f s of CPU in pgbench)\n", tpss.back(),
                     cpuSeconds(RUSAGE_CHILDREN) - pgbenchCpuBefore);
    }
    double serverPeak = 0;
    for (int i = 0; i < server.servers(); ++i)
        serverPeak = std::max(serverPeak, peakMb(server.pid(i)));
    const double answersPerS = percentile(rates, 0.5);
    const double tps = percentile(tpss, 0.5);
    std::printf("trainees=%d servers=%d answers=%d lost=%d duplicated=%d paced_p50_ms=%.1f "
                "paced_p99_ms=%.1f answers_per_s=%.0f pgbench_tps=%.0f ratio=%.2f "
                "server_peak_mb=%.1f server_cpu_s=%.1f class_cpu_s=%.1f\n",
                s.trainees, s.servers, answers, lost, duplicated,
                percentile(paced.latenciesMs, 0.5), percentile(paced.latenciesMs, 0.99),
                answersPerS, tps, tps > 0 ? answersPerS / tps : 0, serverPeak, serverCpu, classCpu);
    return lost == 0 && duplicated == 0 && paced.failed == 0 ? 0 : 1;
}
