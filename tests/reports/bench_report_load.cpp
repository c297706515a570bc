// Loads, shows and saves 16 MB files, the largest the report editor accepts, and prints the
// times: a protocol-like text, random bytes, and one line without a blank.
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
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(sample(kind, size)) != size)
            return 1;
        file.close();
        QElapsedTimer timer;
        timer.start();
        edit.loadFromFile(path);
        QApplication::processEvents();
        const qint64 shown = timer.restart();
        edit.saveToFile(dir.filePath(QStringLiteral("out.usr")));
        std::printf("16 MB %-16s load and first paint %6lld ms, save %6lld ms\n", name, shown,
                    timer.elapsed());
    }
    return 0;
}
