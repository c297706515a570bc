// Loads, shows and saves 16 MB files, the largest the report editor accepts, and prints the
// times: a protocol-like text, random bytes, and one line without a blank. The one-line file
// is then loaded run by run against its floor, a bare QTextEdit of the same size laying out
// the same text, wrapped anywhere as the editor wraps such a line; then a shown 15 MB line
// is cleared and replaced, as "Закрыть" and another "Открыть" do.
// Last line: line_ms=O bare_ms=B ratio=R clear_15mb_line_ms=C replace_15mb_line_ms=P (O, B
// medians over the runs, R the median of the runs' ratios).
// Run: QT_QPA_PLATFORM=offscreen ./bench_report_load
#include "bench_measure.h"
#include "reportfile.h"
#include "richedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextEdit>
#include <cstdio>

namespace {
constexpr int runs = 3;
const QSize editSize(792, 520);

QByteArray sample(char kind, qsizetype size) {
    QByteArray bytes;
    bytes.reserve(size + 4096);
    quint32 state = 1;
    while (bytes.size() < size) {
        if (kind == 'e') {
            bytes += QByteArray(4096, 'A');
        } else if (kind == 'b') {
            state = state * 1103515245u + 12345u;
            bytes += char(state >> 24);
        } else {
            bytes +=
                "\xC2\xEE\xEF\xF0\xEE\xF1 \xB9 1. \xD1\xEE\xE4\xE5\xF0\xE6\xE0\xED\xE8\xE5\r\n";
        }
    }
    bytes.truncate(size);
    return bytes;
}

bool writeSample(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The floor: the file's text laid out and painted by a bare QTextEdit. Its vertical scroll
// bar is always there, as the editor's: one appearing would lay the line out once more.
double bareLoad(const QString& text) {
    QTextEdit bare;
    bare.resize(editSize);
    bare.setWordWrapMode(QTextOption::WrapAnywhere);
    bare.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    bare.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    bare.setPlainText(text);
    QApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The editor opening the file, from an empty text to its first paint.
double ourLoad(RichEdit& edit, const QString& path) {
    edit.clearText();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    edit.loadFromFile(path);
    QApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    RichEdit edit;
    edit.resize(editSize);
    edit.show();
    const qsizetype size = 16 * 1024 * 1024;
    const QString path = dir.filePath(QStringLiteral("in.usr"));
    for (const auto& [kind, name] :
         {std::pair{'t', "protocol text"}, {'b', "random bytes"}, {'e', "one endless line"}}) {
        if (!writeSample(path, sample(kind, size)))
            return 1;
        QElapsedTimer timer;
        timer.start();
        edit.loadFromFile(path);
        QApplication::processEvents();
        const qint64 shown = timer.restart();
        edit.saveToFile(dir.filePath(QStringLiteral("out.usr")));
        std::printf("16 MB %-16s load and first paint %6lld ms, save %6lld ms\n", name, shown,
                    timer.elapsed());
    }
    // The endless line (in the file now) against the floor, run by run.
    const QString text = reportfile::load(path);
    std::vector<double> ours, bare, ratios;
    for (int run = 0; run < runs; ++run) {
        bare.push_back(bareLoad(text));
        ours.push_back(ourLoad(edit, path));
        ratios.push_back(ours.back() / bare.back());
        std::printf("  run %d: editor %.0f ms, bare QTextEdit %.0f ms\n", run + 1, ours.back(),
                    bare.back());
    }
    // Clearing and replacing a shown endless line.
    const QString line = dir.filePath(QStringLiteral("line.usr"));
    const QString small = dir.filePath(QStringLiteral("small.usr"));
    if (!writeSample(line, sample('e', 15 * 1024 * 1024)) || !writeSample(small, sample('t', 4096)))
        return 1;
    QElapsedTimer timer;
    edit.loadFromFile(line);
    QApplication::processEvents();
    timer.start();
    edit.clearText();
    QApplication::processEvents();
    const qint64 cleared = timer.elapsed();
    edit.loadFromFile(line);
    QApplication::processEvents();
    timer.restart();
    edit.loadFromFile(small);
    QApplication::processEvents();
    const qint64 replaced = timer.elapsed();
    std::printf("line_ms=%.0f bare_ms=%.0f ratio=%.2f clear_15mb_line_ms=%lld "
                "replace_15mb_line_ms=%lld\n",
                bench::median(ours), bench::median(bare), bench::median(ratios), cleared, replaced);
    return 0;
}
