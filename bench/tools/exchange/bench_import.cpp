// Times `kviront-bank import` of a large Moodle XML quiz against a bare QXmlStreamReader pass
// over the same file, in the same run, so that load from elsewhere weighs on both alike. Then
// imports of hostile HTML texts at two sizes each, whose times must grow with the size, not
// its square: a Moodle XML question of "&amp;" (each an "&" that starts no reference), a GIFT
// [html] text of "<a" (each a tag that never ends) and one of "<a href='" (quoted values
// that never close).
// Last line: import_ms=I parse_only_ms=P ratio=I/P peak_mb=M (medians over the runs), then per
// hostile text its two processor times in ms and their ratio (amp_1mb_ms, amp_2mb_ms,
// amp_ratio; lt_05mb_ms, lt_1mb_ms, lt_ratio; quote_1mb_ms, quote_2mb_ms, quote_ratio).
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

// One question whose text is `pattern` repeated to `bytes`, in the source's own format.
QByteArray hostile(const QByteArray& pattern, qint64 bytes, bool xml) {
    const QByteArray text = pattern.repeated(bytes / pattern.size());
    if (xml)
        return "<quiz><question type=\"multichoice\"><questiontext format=\"html\"><text>" + text +
               "</text></questiontext><answer fraction=\"100\"><text>a</text></answer><answer "
               "fraction=\"0\"><text>b</text></answer><answer fraction=\"0\"><text>c</text>"
               "</answer><answer fraction=\"0\"><text>d</text></answer></question></quiz>\n";
    return "::1::[html]" + text + " {=a ~b ~c ~d}\n";
}

// Median processor milliseconds of importing the source, written to the temporary folder: on
// a shared machine the wall time of a short import is mostly other programs' load.
double importOf(const QByteArray& source, const QString& suffix, const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("hostile.") + suffix);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(source);
    file.close();
    std::vector<double> times;
    for (int run = 0; run < 2 * runs + 1; ++run) {
        const double before = cpuMs();
        import(path, dir.filePath(QStringLiteral("hostile.mdb")));
        times.push_back(cpuMs() - before);
    }
    return median(times);
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
    const double peak = peakMb(); // the quiz's import, before the hostile texts
    struct Hostile {
        const char* name;
        QByteArray pattern;
        qint64 bytes; // the smaller size; the larger is twice that
        bool xml;
    };
    const Hostile kinds[] = {{"amp", "&amp;", 1 << 20, true},
                             {"lt", "<a", 1 << 19, false},
                             {"quote", "<a href='", 1 << 20, false}};
    QString figures;
    for (const Hostile& h : kinds) {
        const QString suffix = QLatin1String(h.xml ? "xml" : "gift");
        const double one = importOf(hostile(h.pattern, h.bytes, h.xml), suffix, dir);
        const double two = importOf(hostile(h.pattern, 2 * h.bytes, h.xml), suffix, dir);
        const QString size = h.bytes == 1 << 20 ? QStringLiteral("1mb") : QStringLiteral("05mb");
        const QString twice = h.bytes == 1 << 20 ? QStringLiteral("2mb") : QStringLiteral("1mb");
        std::printf("  %s: %.1f ms for %lld bytes, %.1f ms for twice that\n", h.name, one, h.bytes,
                    two);
        figures += QStringLiteral(" %1_%2_ms=%3 %1_%4_ms=%5 %1_ratio=%6")
                       .arg(QLatin1String(h.name), size, QString::number(one, 'f', 1), twice,
                            QString::number(two, 'f', 1), QString::number(two / one, 'f', 2));
    }
    std::printf("import_ms=%.0f parse_only_ms=%.0f ratio=%.2f peak_mb=%.0f%s\n", median(imports),
                median(parses), median(ratios), peak, qPrintable(figures));
    return 0;
}
