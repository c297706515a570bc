#include "results_tool.h"

#include "error.h"
#include "report_csv.h"
#include "report_html.h"
#include "textfile.h"

#include <QDir>
#include <QFileInfo>

namespace results {
namespace {

// Far beyond any protocol; the same bound as the report editor's.
constexpr qint64 maxProtocolBytes = 16 * 1024 * 1024;

void readFile(const QString& path, ClassResults* results) {
    QString text;
    try {
        text = textfile::fromCp1251(textfile::readFile(path, maxProtocolBytes));
    } catch (const Error& e) {
        results->skip(path, e.message());
        return;
    }
    const ReadResult r = readProtocol(text);
    if (r.ok)
        results->add(path, r.protocol);
    else
        results->skip(path, r.error);
}

bool isOneOf(const QString& path, const QStringList& files) {
    const QString target = QFileInfo(path).absoluteFilePath();
    for (const QString& f : files)
        if (QFileInfo(f).absoluteFilePath() == target)
            return true;
    return false;
}

} // namespace

cli::Tool commandLine(const QString& madeAt) {
    const auto report = [madeAt](const cli::Arguments& a, const cli::Output& output) {
        Options o;
        o.inputs = a.positional;
        if (a.isSet(QStringLiteral("output")))
            o.output = a.value(QStringLiteral("output"));
        o.csvPrefix = a.value(QStringLiteral("csv"));
        if (o.output.isEmpty() || (a.isSet(QStringLiteral("csv")) && o.csvPrefix.isEmpty()))
            throw cli::UsageError(QStringLiteral("пустое имя файла"));
        // A report never replaces a protocol.
        if (o.output.endsWith(QLatin1String(".usr"), Qt::CaseInsensitive))
            throw cli::UsageError(
                QStringLiteral("отчёт не записывается в файл .usr: %1").arg(o.output));
        return writeReport(o, madeAt, output.out, output.err);
    };
    return {QStringLiteral("kviront-results"),
            QStringLiteral("Читает протоколы теста: все файлы *.usr каждой названной папки и "
                           "каждый\nназванный файл, — и составляет один отчёт по классу."),
            {{QString(),
              {QStringLiteral("ПАПКА_ИЛИ_ФАЙЛ…")},
              QStringLiteral("отчёт по протоколам класса"),
              {{QStringLiteral("output"),
                QLatin1Char('o'),
                QStringLiteral("ОТЧЁТ.html"),
                QStringLiteral("куда записать отчёт (по умолчанию results.html)"),
                {}},
               {QStringLiteral("csv"),
                {},
                QStringLiteral("ПРЕФИКС"),
                QStringLiteral("ещё и таблицы ПРЕФИКС-class.csv и ПРЕФИКС-questions.csv"),
                {}}},
              report}}};
}

void readInputs(const QStringList& inputs, ClassResults* results) {
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            const QDir dir(input);
            const QStringList names =
                dir.entryList({QStringLiteral("*.usr")}, QDir::Files | QDir::Hidden, QDir::Name);
            for (const QString& name : names)
                readFile(dir.filePath(name), results);
        } else if (info.exists()) {
            readFile(input, results);
        } else {
            results->skip(input, QStringLiteral("нет такого файла или папки"));
        }
    }
    results->finish();
}

int runTool(const QStringList& args, const QString& madeAt, QTextStream& out, QTextStream& err) {
    return cli::run(commandLine(madeAt), args, out, err);
}

int writeReport(const Options& o, const QString& madeAt, QTextStream& out, QTextStream& err) {
    ClassResults results;
    readInputs(o.inputs, &results);
    QList<QPair<QString, QByteArray>> files{{o.output, htmlReport(results, madeAt).toUtf8()}};
    if (!o.csvPrefix.isEmpty()) {
        files.append({o.csvPrefix + QStringLiteral("-class.csv"), classCsv(results)});
        files.append({o.csvPrefix + QStringLiteral("-questions.csv"), questionsCsv(results)});
    }
    QStringList read;
    for (const RunRow& row : results.runs())
        read << row.file;
    for (const auto& [path, bytes] : files) {
        if (isOneOf(path, read)) {
            err << QStringLiteral("Файл %1 — один из протоколов; он не перезаписывается.\n")
                       .arg(path);
            return 1;
        }
    }
    for (const auto& [path, bytes] : files) {
        try {
            textfile::writeFileAtomically(path, bytes);
        } catch (const Error& e) {
            err << e.message() << "\n";
            return 1;
        }
        out << QStringLiteral("Записан файл %1\n").arg(path);
    }
    out << QStringLiteral("Прочитано протоколов: %1, пропущено файлов: %2.\n")
               .arg(results.runs().size())
               .arg(results.skipped().size());
    for (const SkippedFile& s : results.skipped())
        err << QStringLiteral("Пропущен %1: %2\n").arg(s.file, s.reason);
    return 0;
}

} // namespace results
