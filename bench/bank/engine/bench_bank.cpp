// Times what the test window does with a large bank (open, count the records by walking to
// end-of-table, then 10,000 jumps by record number with the question's controls following)
// against a bare SQLite scan that reads every field of every record once.
// Last line: ratio=R cpu_ratio=C peak_mb=M (R: the median over the runs of our time over the
// bare scan's in the same run, so that load from elsewhere weighs on both sides alike; C the
// same of processor times, which such load hardly moves).
#include "adoconnection.h"
#include "adotable.h"
#include "bench_bank_data.h"
#include "bench_measure.h"
#include "question_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

namespace {

using namespace bench;

constexpr int questions = 10000;
constexpr int runs = 9;

// The record numbers a run visits: every record once, in a scrambled order.
std::vector<int> jumpOrder() {
    std::vector<int> order(questions);
    quint32 state = 0;
    for (int i = 0; i < questions; ++i)
        order[size_t(i)] = i + 1;
    for (int i = questions - 1; i > 0; --i) {
        state = state * 134775813u + 1u;
        std::swap(order[size_t(i)], order[size_t(quint64(state) * quint64(i + 1) >> 32)]);
    }
    return order;
}

double ours(const QString& path, DataSource* source, const std::vector<int>& order, int* counted) {
    QElapsedTimer timer;
    timer.start();
    ADOConnection connection;
    ADOTable table(&connection);
    source->setDataset(&table);
    connection.setConnectionString(path);
    connection.open();
    table.open();
    int count = 0;
    for (; !table.eof(); table.next())
        ++count;
    const double walked = double(timer.nsecsElapsed()) / 1e6;
    table.close();
    table.open();
    for (int recNo : order)
        table.setRecNo(recNo);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("  open + walk %.1f ms, jumps %.1f ms\n", walked, ms - walked);
    table.close();
    source->setDataset(nullptr);
    *counted = count;
    return ms;
}

double bareScan(const QString& path, qint64* bytes) {
    QElapsedTimer timer;
    timer.start();
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM kontrol", -1, &stmt, nullptr);
    qint64 total = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        for (int c = 0; c < columns; ++c) {
            const void* data = sqlite3_column_blob(stmt, c);
            total += sqlite3_column_bytes(stmt, c) + (data ? 1 : 0);
        }
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    *bytes = total;
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    makeBank(path, questions);
    std::printf("bank: %d questions, %lld bytes\n", questions, QFile(path).size());
    const std::vector<int> order = jumpOrder();
    Window window;
    // The peak from here on: the bank was made above with its own memory.
    resetPeak();
    {
        DataSource bare; // the engine alone, no controls following it
        int counted = 0;
        std::printf("engine alone: %.1f ms\n", ours(path, &bare, order, &counted));
    }
    std::vector<double> ourTimes, bareTimes, ratios, cpuRatios;
    for (int run = 0; run < runs; ++run) {
        int counted = 0;
        qint64 bytes = 0;
        const double c0 = cpuMs();
        bareTimes.push_back(bareScan(path, &bytes));
        const double c1 = cpuMs();
        ourTimes.push_back(ours(path, &window.source, order, &counted));
        const double c2 = cpuMs();
        ratios.push_back(ourTimes.back() / bareTimes.back());
        cpuRatios.push_back((c2 - c1) / (c1 - c0));
        std::printf("run %d: ours %.1f ms (%d records), bare scan %.1f ms (%lld bytes)\n", run + 1,
                    ourTimes.back(), counted, bareTimes.back(), bytes);
    }
    const double ratio = median(ratios);
    std::printf("ours_ms=%.1f bare_ms=%.1f\n", median(ourTimes), median(bareTimes));
    std::printf("ratio=%.2f cpu_ratio=%.2f peak_mb=%.1f\n", ratio, median(cpuRatios), peakMb());
    return 0;
}
