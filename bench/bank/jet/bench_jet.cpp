// Times opening an old-format (Jet) bank as the program does, up to its first record shown
// in the test window's controls (the reader process, the stream, the copy in memory),
// against mdb-export of the same table, run by run in the same process.
// Last line: ours_ms=O mdbexport_ms=E ratio=R peak_mb=M (O and E medians, R the median of
// the per-run ratios, M the program's peak plus the reader's peak: both live at once).
#include "adoconnection.h"
#include "adotable.h"
#include "bench_measure.h"
#include "question_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

using namespace bench;

constexpr int runs = 7;

double ours(const QString& path, Window& window, int* records) {
    QElapsedTimer timer;
    timer.start();
    ADOConnection connection;
    ADOTable table(&connection);
    window.source.setDataset(&table);
    connection.setConnectionString(path);
    connection.open();
    table.open(); // the first record is shown
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    *records = table.recordCount();
    table.close();
    window.source.setDataset(nullptr);
    return ms;
}

double mdbExport(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.start(QStringLiteral("mdb-export"), {path, QStringLiteral("kontrol")});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

double childrenPeakMb() {
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(KV_JET_FIXTURES "/bigbank_jet4.mdb");
    std::printf("bank: %s, %lld bytes\n", qPrintable(path), QFile(path).size());
    Window window;
    resetPeak(); // the peak from here on
    int records = 0;
    ours(path, window, &records); // warm-up, and the reader's own peak before mdb-export runs
    const double readerPeak = childrenPeakMb();
    std::vector<double> ourTimes, exportTimes, ratios;
    for (int run = 0; run < runs; ++run) {
        exportTimes.push_back(mdbExport(path));
        ourTimes.push_back(ours(path, window, &records));
        ratios.push_back(ourTimes.back() / exportTimes.back());
        std::printf("run %d: ours %.1f ms (%d records), mdb-export %.1f ms\n", run + 1,
                    ourTimes.back(), records, exportTimes.back());
    }
    const double program = peakMb();
    std::printf("program peak %.1f MB, reader peak %.1f MB\n", program, readerPeak);
    std::printf("ours_ms=%.1f mdbexport_ms=%.1f ratio=%.2f peak_mb=%.1f\n", median(ourTimes),
                median(exportTimes), median(ratios), program + readerPeak);
    return 0;
}
