// The class report over a school year: 10,000 generated protocols of 30 questions each, drawn
// from a bank of 300, written as Windows-1251 into a temporary folder. Times the whole tool
// (read, decode, parse, figures, HTML and CSV written) against reading and decoding the same
// files alone. Last line: report_ms=… read_decode_ms=… ratio=… peak_mb=…
#include "protocol_text.h"
#include "report_csv.h"
#include "report_html.h"
#include "results_tool.h"
#include "run_texts.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {
constexpr int protocols = 10000;
constexpr int questionsPerRun = 30;
constexpr int bankSize = 300;

// Wall time, and the process's CPU time (user and system): on a shared, busy machine the
// wall time mostly measures the scheduler, so the ratio is taken of CPU times.
struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

double cpuNowMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class Work> Cost measure(Work work) {
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = cpuNowMs();
    work();
    return {
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count(),
        cpuNowMs() - cpu};
}

quint32 state = 12345;
int draw(int n) {
    state = state * 1664525u + 1013904223u;
    return int((quint64(state) * quint64(n)) >> 32);
}

protocol::ShownQuestion bankQuestion(int record) {
    protocol::ShownQuestion q;
    q.record = record;
    q.question = QStringLiteral("Вопрос %1: какое из утверждений о строении Солнечной системы и "
                                "движении планет вокруг Солнца верно?")
                     .arg(record);
    if (record % 10 == 0)
        q.question += QStringLiteral("\nУчтите, что ответ должен быть точным.");
    for (int k = 0; k < 4; ++k)
        q.options[k] = QStringLiteral("Вариант ответа %1 к вопросу %2, довольно длинный")
                           .arg(k + 1)
                           .arg(record);
    q.rightAnswer = QString::number(record % 4 + 1);
    q.allowedText = QStringLiteral("35");
    return q;
}

QByteArray generate(int n) {
    const QString name = QStringLiteral("Ученик %1 Иванович").arg(n % 300);
    QStringList lines = protocol::header(
        protocol::headerLine(name, QStringLiteral("7-12-2026"), QStringLiteral("9-05-03")),
        QStringLiteral("9-05-03"));
    const bool finished = n % 20 != 0;
    const int count = finished ? questionsPerRun : draw(questionsPerRun);
    int right = 0;
    for (int i = 0; i < count; ++i) {
        protocol::ShownQuestion q = bankQuestion(1 + draw(bankSize));
        const int roll = draw(10);
        q.answerNumber = roll == 0 ? 0 : roll < 7 ? q.rightAnswer.toInt() : 1 + draw(4);
        q.shownText = QString::number(q.answerNumber == 0 ? 1 : 1 + draw(35));
        lines << protocol::questionBlock(q);
        if (q.answerNumber == 0)
            lines << protocol::timeOutLines();
        right += q.answerNumber == q.rightAnswer.toInt() ? 1 : 0;
    }
    lines << protocol::footer(finished ? runtexts::result(right, count - right, count)
                                       : protocol::unfinishedText(),
                              QStringLiteral("9-20-00"));
    return textfile::encodeLines(lines.join(QLatin1Char('\n')));
}

qint64 readDecode(const QString& folder) {
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.usr")}, QDir::Files | QDir::Hidden, QDir::Name);
    qint64 total = 0;
    for (const QString& name : names)
        total += textfile::fromCp1251(textfile::readFile(dir.filePath(name), 1 << 24)).size();
    return total;
}

// The same work in its steps, for the breakdown line.
void steps(const QString& folder) {
    results::ClassResults c;
    const Cost read = measure([&] { results::readInputs({folder}, &c); });
    qsizetype htmlBytes = 0, csvBytes = 0;
    const Cost html = measure(
        [&] { htmlBytes = results::htmlReport(c, QStringLiteral("бенчмарк")).toUtf8().size(); });
    const Cost csv =
        measure([&] { csvBytes = results::classCsv(c).size() + results::questionsCsv(c).size(); });
    std::printf("steps_cpu: read_parse_ms=%.0f html_ms=%.0f csv_ms=%.0f html_bytes=%lld "
                "csv_bytes=%lld\n",
                read.cpuMs, html.cpuMs, csv.cpuMs, static_cast<long long>(htmlBytes),
                static_cast<long long>(csvBytes));
}

// The whole command as a teacher runs it, HTML and CSV written.
bool report(const QString& folder, const QString& out) {
    QString outText, errText;
    QTextStream o(&outText), e(&errText);
    const int rc = results::runTool({folder, QStringLiteral("-o"), out + QStringLiteral("/r.html"),
                                     QStringLiteral("--csv"), out + QStringLiteral("/r")},
                                    QStringLiteral("бенчмарк"), o, e);
    if (rc != 0 || !errText.isEmpty())
        std::fprintf(stderr, "tool failed (%d): %s\n", rc, qPrintable(errText));
    return rc == 0;
}
} // namespace

// With a folder named, the protocols are generated there and kept, for comparing the tool's
// outputs before and after a change.
int main(int argc, char** argv) {
    QTemporaryDir temporary, out;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const QDir in(folder);
    qint64 bytes = 0;
    for (int n = 0; n < protocols; ++n) {
        QFile f(in.filePath(
            QStringLiteral("Ученик %1  7-12-2026  9-20-00.usr").arg(n, 5, 10, QLatin1Char('0'))));
        const QByteArray data = generate(n);
        bytes += data.size();
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
    }
    std::printf("protocols=%d bytes=%lld\n", protocols, static_cast<long long>(bytes));
    // Best of three of each, interleaved, so that both see the same warm file cache.
    qint64 chars = 0;
    bool ok = true;
    Cost readBest{1e300, 1e300}, reportBest{1e300, 1e300};
    for (int round = 0; round < 3; ++round) {
        const Cost r = measure([&] { chars = readDecode(folder); });
        const Cost t = measure([&] { ok = report(folder, out.path()) && ok; });
        readBest = {std::min(readBest.wallMs, r.wallMs), std::min(readBest.cpuMs, r.cpuMs)};
        reportBest = {std::min(reportBest.wallMs, t.wallMs), std::min(reportBest.cpuMs, t.cpuMs)};
    }
    steps(folder);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("decoded_chars=%lld\n", static_cast<long long>(chars));
    std::printf("wall: report_ms=%.0f read_decode_ms=%.0f ratio=%.2f\n", reportBest.wallMs,
                readBest.wallMs, reportBest.wallMs / readBest.wallMs);
    std::printf("report_ms=%.0f read_decode_ms=%.0f ratio=%.2f peak_mb=%.1f\n", reportBest.cpuMs,
                readBest.cpuMs, reportBest.cpuMs / readBest.cpuMs, usage.ru_maxrss / 1024.0);
    return ok ? 0 : 1;
}
