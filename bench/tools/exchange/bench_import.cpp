// Times `kviront-bank import` of a large Moodle XML quiz against a bare QXmlStreamReader pass
// over the same file, in the same run, so that load from elsewhere weighs on both alike.
// Last line: import_ms=I parse_only_ms=P ratio=I/P peak_mb=M (medians over the runs).
#include "bankexchange.h"
#include "bench_measure.h"
#include "bitmap.h"
#include "moodlexml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

using namespace bench;

constexpr int questions = 10000;
constexpr int pictureEvery = 10;
constexpr int runs = 5;

// A picture like those of test questions: a drawing with a gradient, about 200 x 150.
QByteArray picture(int seed) {
    QImage image(200, 150, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool inside =
                (x - 100) * (x - 100) + (y - 75) * (y - 75) < (40 + seed % 30) * (40 + seed % 30);
            image.setPixel(
                x, y, inside ? qRgb(200, 40 + seed % 200, 40) : qRgb(x + seed % 50, y + 60, 230));
        }
    return encodeBitmap(image);
}

void makeQuiz(const QString& path) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    exchange::moodlexml::Writer writer(&file);
    for (int i = 1; i <= questions; ++i) {
        exchange::Question q;
        q.name = i;
        q.vopros = QStringLiteral("Вопрос номер %1: какой из ответов верный?\nВторая строка "
                                  "вопроса с <разметкой> & знаками.")
                       .arg(i);
        for (int k = 0; k < 4; ++k)
            q.otvet[k] = QStringLiteral("Вариант ответа %1 к вопросу %2").arg(k + 1).arg(i);
        q.prOtvet = 1 + i % 4;
        if (i % pictureEvery == 0)
            q.graph = picture(i);
        writer.add(q);
    }
    writer.finish();
}

double parseOnly(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader xml(&file);
    qint64 tokens = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        ++tokens;
    }
    if (xml.hasError() || tokens < questions)
        std::printf("bare pass failed: %s\n", qPrintable(xml.errorString()));
    return double(timer.nsecsElapsed()) / 1e6;
}

double import(const QString& source, const QString& bank) {
    QElapsedTimer timer;
    timer.start();
    bankexchange::Report report;
    const int code =
        bankexchange::importBank({source, bank, bankexchange::Format::Guess, false, false}, report);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (code != 0)
        std::printf("import failed: %s\n", qPrintable(report.err.join(QLatin1Char('\n'))));
    QFile::remove(bank);
    return ms;
}

// Processor time of this process (user and system), which load from elsewhere leaves alone.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 2) { // only write the quiz there, to look at or profile the tool on
        makeQuiz(QString::fromLocal8Bit(argv[1]));
        return 0;
    }
    QTemporaryDir dir;
    const QString quiz = dir.filePath(QStringLiteral("quiz.xml"));
    makeQuiz(quiz);
    std::printf("quiz: %d questions, %d pictures, %.1f MB\n", questions, questions / pictureEvery,
                double(QFile(quiz).size()) / 1e6);
    std::vector<double> imports, parses, ratios;
    for (int run = 0; run < runs; ++run) {
        const double c0 = cpuMs();
        const double p = parseOnly(quiz);
        const double c1 = cpuMs();
        const double i = import(quiz, dir.filePath(QStringLiteral("bank.mdb")));
        const double c2 = cpuMs();
        std::printf("  run %d: import %.0f ms (processor %.0f ms), bare pass %.0f ms (processor "
                    "%.0f ms)\n",
                    run + 1, i, c2 - c1, p, c1 - c0);
        imports.push_back(i);
        parses.push_back(p);
        ratios.push_back(i / p);
    }
    std::printf("import_ms=%.0f parse_only_ms=%.0f ratio=%.2f peak_mb=%.0f\n", median(imports),
                median(parses), median(ratios), peakMb());
    return 0;
}
