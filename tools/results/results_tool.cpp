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

const QString usage = QStringLiteral(
    "Использование: kviront-results ПАПКА_ИЛИ_ФАЙЛЫ… [-o ОТЧЁТ.html] [--csv ПРЕФИКС]\n"
    "       kviront-results --server СТРОКА_ПОДКЛЮЧЕНИЯ [--bank БАНК] [--since ГГГГ-ММ-ДД] …\n"
    "Читает протоколы теста (*.usr) или попытки с сервера класса и составляет отчёт по "
    "классу.\n");

// "2026-12-07" or "7.12.2026".
QDate dateOf(const QString& text) {
    QDate d = QDate::fromString(text, Qt::ISODate);
    if (!d.isValid())
        d = QDate::fromString(text, QStringLiteral("d.M.yyyy"));
    return d;
}

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

QString parseArguments(const QStringList& args, Options* o) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-o") || a == QLatin1String("--csv")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return QStringLiteral("После %1 нужно имя файла.").arg(a);
            (a == QLatin1String("-o") ? o->output : o->csvPrefix) = args[++i];
        } else if (a == QLatin1String("--server") || a == QLatin1String("--bank") ||
                   a == QLatin1String("--since")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty())
                return QStringLiteral("После %1 нужно значение.").arg(a);
            const QString value = args[++i];
            if (a == QLatin1String("--server"))
                o->server = value;
            else if (a == QLatin1String("--bank"))
                o->bank = value;
            else if (!(o->since = dateOf(value)).isValid())
                return QStringLiteral("Дата после --since не читается: %1 (нужно ГГГГ-ММ-ДД или "
                                      "Д.М.ГГГГ).")
                    .arg(value);
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1 && !QFileInfo::exists(a)) {
            return QStringLiteral("Неизвестный параметр %1.").arg(a);
        } else {
            o->inputs << a;
        }
    }
    if (o->inputs.isEmpty() && o->server.isEmpty())
        return QStringLiteral("Не указаны протоколы.");
    if (o->server.isEmpty() && (!o->bank.isEmpty() || o->since.isValid()))
        return QStringLiteral("--bank и --since выбирают попытки с сервера: нужен --server.");
    // A report never replaces a protocol.
    if (o->output.endsWith(QLatin1String(".usr"), Qt::CaseInsensitive))
        return QStringLiteral("Отчёт не записывается в файл .usr: %1").arg(o->output);
    return {};
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

int runTool(const QStringList& args, const QString& madeAt, QTextStream& out, QTextStream& err,
            const ServerReader& server) {
    Options o;
    const QString problem = parseArguments(args, &o);
    if (!problem.isEmpty()) {
        err << problem << "\n" << usage;
        return 2;
    }
    ClassResults results;
    if (!o.server.isEmpty()) {
        try {
            if (!server)
                throw Error(QStringLiteral("эта сборка не читает попытки с сервера класса"));
            server(o, &results);
        } catch (const Error& e) {
            err << e.message() << "\n" << QStringLiteral("Отчёт не записан.\n");
            return 1;
        }
    }
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
