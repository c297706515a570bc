// Times what the test window does with a large bank (open, count the records by walking to
// end-of-table, then 10,000 jumps by record number with the question's controls following)
// against a bare SQLite scan that reads every field of every record once.
// Last line: ratio=R peak_mb=M (R: the median over the runs of our time over the bare scan's
// in the same run, so that load from elsewhere weighs on both sides alike).
#include "adoconnection.h"
#include "adotable.h"
#include "bankfile.h"
#include "bitmap.h"
#include "dbcontrols.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

namespace {

constexpr int questions = 10000;
constexpr int runs = 9;

QByteArray pictureBytes(int seed) {
    QImage image(190, 180, QImage::Format_RGB32); // a 24-bit file of about 100 KB
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x + seed) % 256, (y * 3) % 256, (x ^ y) % 256));
    return encodeBitmap(image);
}

void makeBank(const QString& path) {
    bankfile::Writer writer(path);
    for (int i = 1; i <= questions; ++i) {
        bankfile::Question q;
        q.name = i;
        q.vopros =
            QStringLiteral("Вопрос номер %1: какой из ответов верный?\nВторая строка.").arg(i);
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = QStringLiteral("Вариант ответа %1 к вопросу %2").arg(k + 1).arg(i);
        q.prOtvet = 1 + i % 4;
        if (i % 10 == 0)
            q.graph = pictureBytes(i);
        writer.add(q);
    }
    writer.commit();
}

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

// The test window's question controls on one data source.
struct Window {
    QWidget host;
    DataSource source;
    Window() {
        new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Vopros"), &host);
        for (int k = 1; k <= 4; ++k)
            new DBMemo(QStringLiteral("DBMemo_Otv%1").arg(k), QStringLiteral("Otvet%1").arg(k),
                       &host);
        new DBEdit(QStringLiteral("PrOtvet"), QStringLiteral("PrOtvet"), &host);
        new DBImage(QStringLiteral("DBImage1"), QStringLiteral("Graph"), &host);
        for (QObject* child : host.children())
            if (auto* control = dynamic_cast<DataControl*>(child))
                control->setDataSource(&source);
    }
};

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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double peakMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    makeBank(path);
    std::printf("bank: %d questions, %lld bytes\n", questions, QFile(path).size());
    const std::vector<int> order = jumpOrder();
    Window window;
    // The peak from here on: the bank was made above with its own memory.
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
    refs.close();
    {
        DataSource bare; // the engine alone, no controls following it
        int counted = 0;
        std::printf("engine alone: %.1f ms\n", ours(path, &bare, order, &counted));
    }
    std::vector<double> ourTimes, bareTimes, ratios;
    for (int run = 0; run < runs; ++run) {
        int counted = 0;
        qint64 bytes = 0;
        bareTimes.push_back(bareScan(path, &bytes));
        ourTimes.push_back(ours(path, &window.source, order, &counted));
        ratios.push_back(ourTimes.back() / bareTimes.back());
        std::printf("run %d: ours %.1f ms (%d records), bare scan %.1f ms (%lld bytes)\n", run + 1,
                    ourTimes.back(), counted, bareTimes.back(), bytes);
    }
    const double ratio = median(ratios);
    std::printf("ours_ms=%.1f bare_ms=%.1f\n", median(ourTimes), median(bareTimes));
    std::printf("ratio=%.2f peak_mb=%.1f\n", ratio, peakMb());
    return 0;
}
