// Loads, shows and saves 16 MB files, the largest the report editor accepts, and prints the
// times: a protocol-like text, random bytes, and one line without a blank. Then clears and
// replaces a shown 15 MB line without a blank, as "Закрыть" and another "Открыть" do.
// Run: QT_QPA_PLATFORM=offscreen ./bench_report_load
#include "richedit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {
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
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    RichEdit edit;
    edit.resize(792, 520);
    edit.show();
    const qsizetype size = 16 * 1024 * 1024;
    for (const auto& [kind, name] :
         {std::pair{'t', "protocol text"}, {'b', "random bytes"}, {'e', "one endless line"}}) {
        const QString path = dir.filePath(QStringLiteral("in.usr"));
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
    // Clearing and replacing a shown endless line: the last line of the output.
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
    std::printf("clear_15mb_line_ms=%lld replace_15mb_line_ms=%lld\n", cleared, replaced);
    return 0;
}
