#include "results_tool.h"

#include "error.h"
#include "report_csv.h"
#include "report_html.h"
#include "results_output.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace results {
namespace {

// Far beyond any protocol; the same bound as the report editor's.
constexpr qint64 maxProtocolBytes = 16 * 1024 * 1024;

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

// Why a named input cannot be read as a folder or a file; empty when it can be opened.
QString refusalOf(const QString& input, bool folder) {
    const QByteArray name = QFile::encodeName(input);
    struct stat st;
    if (::stat(name.constData(), &st) != 0)
        return textfile::systemReason(errno);
    if (folder) { // a folder that cannot be listed would give no files and no reason
        DIR* dir = ::opendir(name.constData());
        if (!dir)
            return QStringLiteral("папка не открывается: %1").arg(textfile::systemReason(errno));
        ::closedir(dir);
    }
    return {};
}

// Outputs that name one file would leave only the last written of them.
void refuseClashes(const Options& o) {
    if (o.csvPrefix.isEmpty())
        return;
    for (const char* table : {"-class.csv", "-questions.csv"}) {
        const QString csv = o.csvPrefix + QLatin1String(table);
        if (sameFile(o.output, csv))
            throw cli::UsageError(QStringLiteral("-o %1 и --csv %2 называют один файл: %3; "
                                                 "выберите другое имя отчёта или префикс")
                                      .arg(o.output, o.csvPrefix, csv));
    }
}

QString dayText(const QDate& day) {
    return day.toString(QStringLiteral("dd.MM.yyyy"));
}

// Which runs a server report holds, for its heading and for a report that finds none.
QString serverSelection(const Options& o) {
    return (o.bank.isEmpty() ? QStringLiteral("все банки")
                             : QStringLiteral("банк «%1»").arg(o.bank)) +
           (o.since.isValid() ? QStringLiteral(", попытки с %1").arg(dayText(o.since))
                              : QStringLiteral(", все попытки"));
}

QString noRunsMessage(const Options& o, const QString& serverName) {
    return QStringLiteral("На сервере %1 нет попыток%2%3%4: отчёт не записан.")
        .arg(serverName,
             o.sitting.isEmpty() ? QString() : QStringLiteral(" тестирования «%1»").arg(o.sitting),
             o.bank.isEmpty() ? QString() : QStringLiteral(" банка «%1»").arg(o.bank),
             o.since.isValid() ? QStringLiteral(" с %1").arg(dayText(o.since)) : QString());
}

} // namespace

cli::Tool commandLine(const QString& madeAt, const ServerReader& server) {
    const auto report = [madeAt, server](const cli::Arguments& a, const cli::Output& output) {
        Options o;
        o.inputs = a.positional;
        if (a.isSet(QStringLiteral("output")))
            o.output = a.value(QStringLiteral("output"));
        o.csvPrefix = a.value(QStringLiteral("csv"));
        o.server = a.value(QStringLiteral("server"));
        o.bank = a.value(QStringLiteral("bank"));
        o.sitting = a.value(QStringLiteral("sitting"));
        o.sheets = a.value(QStringLiteral("sheets"));
        o.report =
            o.sheets.isEmpty() || a.isSet(QStringLiteral("output")) || !o.csvPrefix.isEmpty();
        for (const char* name : {"output", "csv", "server", "bank", "since", "sitting", "sheets"})
            if (a.isSet(QLatin1String(name)) && a.value(QLatin1String(name)).isEmpty())
                throw cli::UsageError(QStringLiteral("пустое значение --%1").arg(name));
        if (a.isSet(QStringLiteral("since")) &&
            !(o.since = dateOf(a.value(QStringLiteral("since")))).isValid())
            throw cli::UsageError(
                QStringLiteral("дата после --since не читается: %1 (нужно ГГГГ-ММ-ДД или "
                               "Д.М.ГГГГ)")
                    .arg(a.value(QStringLiteral("since"))));
        if (o.inputs.isEmpty() && o.server.isEmpty())
            throw cli::UsageError(QStringLiteral("не указаны протоколы (ПАПКА_ИЛИ_ФАЙЛ) или "
                                                 "--server"));
        if (a.isSet(QStringLiteral("grades"))) {
            o.grades = classapi::parseGrades(a.value(QStringLiteral("grades")).toStdString());
            if (!o.grades)
                throw cli::UsageError(QStringLiteral("--grades: три границы в процентах для «5», "
                                                     "«4» и «3» по убыванию, например 90,75,50"));
        }
        if (o.server.isEmpty() && (!o.bank.isEmpty() || o.since.isValid() || !o.sitting.isEmpty()))
            throw cli::UsageError(QStringLiteral(
                "--bank, --since и --sitting выбирают попытки с сервера: нужен --server"));
        if (!o.sheets.isEmpty() && o.sitting.isEmpty())
            throw cli::UsageError(
                QStringLiteral("листы ответов (--sheets) пишутся по одному тестированию: нужен "
                               "--sitting"));
        // A server run leaves a protocol file too: read together, it would count twice.
        if (!o.inputs.isEmpty() && !o.server.isEmpty())
            throw cli::UsageError(QStringLiteral(
                "протоколы и --server вместе не читаются: попытка с сервера есть и в протоколе "
                "ученика и посчиталась бы дважды; составьте отчёт либо по протоколам, либо по "
                "серверу"));
        // A report never replaces a protocol.
        if (o.output.endsWith(QLatin1String(".usr"), Qt::CaseInsensitive))
            throw cli::UsageError(
                QStringLiteral("отчёт не записывается в файл .usr: %1").arg(o.output));
        refuseClashes(o);
        return writeReport(o, madeAt, output.out, output.err, server);
    };
    const auto option = [](const char* name, QChar letter, const QString& value,
                           const QString& help) {
        return cli::Option{QLatin1String(name), letter, value, help, {}};
    };
    return {QStringLiteral("kviront-results"),
            QStringLiteral("Читает протоколы теста — все файлы *.usr каждой названной папки и "
                           "каждый\nназванный файл — или попытки с сервера класса и составляет "
                           "один отчёт по классу."),
            {{QString(),
              {QStringLiteral("[ПАПКА_ИЛИ_ФАЙЛ…]")},
              QStringLiteral("отчёт по протоколам класса"),
              {option("output", QLatin1Char('o'), QStringLiteral("ОТЧЁТ.html"),
                      QStringLiteral("куда записать отчёт (по умолчанию results.html)")),
               option("csv", {}, QStringLiteral("ПРЕФИКС"),
                      QStringLiteral("ещё и таблицы ПРЕФИКС-class.csv и ПРЕФИКС-questions.csv")),
               option("server", {}, QStringLiteral("СТРОКА_ПОДКЛЮЧЕНИЯ"),
                      QStringLiteral("попытки с сервера класса (вместо протоколов)")),
               option("bank", {}, QStringLiteral("БАНК"),
                      QStringLiteral("с сервера — только попытки этого банка")),
               option("since", {}, QStringLiteral("ГГГГ-ММ-ДД"),
                      QStringLiteral("с сервера — только попытки с этого дня")),
               option("sitting", {}, QStringLiteral("ИМЯ"),
                      QStringLiteral("с сервера — только попытки этого тестирования")),
               option("sheets", {}, QStringLiteral("ПАПКА"),
                      QStringLiteral("с --sitting — лист ответов каждой попытки в эту папку")),
               option("grades", {}, QStringLiteral("5,4,3"),
                      QStringLiteral("границы оценок в процентах верных, например 90,75,50"))},
              report}}};
}

void readInputs(const QStringList& inputs, ClassResults* results) {
    readInputs(inputs, results, nullptr);
}

void readInputs(const QStringList& inputs, ClassResults* results, QStringList* files) {
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        const QString refusal = refusalOf(input, info.isDir());
        if (!refusal.isEmpty()) {
            results->skip(input, refusal);
            if (files && !info.isDir())
                files->append(input);
        } else if (info.isDir()) {
            const QString prefix = protocolPathPrefix(input);
            const QStringList names = protocolNames(input);
            for (const QString& name : names) {
                const QString path = prefix + name;
                readFile(path, results);
                if (files)
                    files->append(path);
            }
        } else {
            readFile(input, results);
            if (files)
                files->append(input);
        }
    }
    results->finish();
}

int runTool(const QStringList& args, const QString& madeAt, QTextStream& out, QTextStream& err,
            const ServerReader& server) {
    return cli::run(commandLine(madeAt, server), args, out, err);
}

int writeReport(const Options& o, const QString& madeAt, QTextStream& out, QTextStream& err,
                const ServerReader& server) {
    ClassResults results;
    results.setGrades(o.grades);
    Heading heading{madeAt, {}, {}};
    QList<OutputFile> sheets;
    QStringList read; // every file read or skipped, which no output may replace
    if (!o.server.isEmpty()) {
        QString serverName;
        try {
            if (!server)
                throw Error(QStringLiteral("эта сборка не читает попытки с сервера класса"));
            ServerRead read = server(o, &results);
            serverName = read.name;
            heading.source = QStringLiteral("сервер класса %1, %2")
                                 .arg(serverName, read.selection.isEmpty() ? serverSelection(o)
                                                                           : read.selection);
            sheets = std::move(read.sheets);
        } catch (const Error& e) {
            err << e.message() << "\n" << QStringLiteral("Отчёт не записан.\n");
            return 1;
        }
        results.finish();
        if (results.runs().isEmpty()) { // an empty report would pass for a class that sat none
            err << noRunsMessage(o, serverName) << "\n";
            return 1;
        }
        heading.tally =
            QStringLiteral("Прочитано попыток с сервера: %1.").arg(results.runs().size());
    } else {
        readInputs(o.inputs, &results, &read);
        QStringList names;
        for (const QString& input : o.inputs)
            names << QFileInfo(input).absoluteFilePath();
        heading.source = QStringLiteral("протоколы из %1").arg(names.join(QStringLiteral(", ")));
        heading.tally = filesTally(results);
    }
    const auto listSkipped = [&] {
        for (const SkippedFile& s : results.skipped())
            err << QStringLiteral("Пропущен %1: %2\n").arg(s.file, s.reason);
    };
    if (results.runs().isEmpty()) {
        // An empty report would pass for a class that sat no test.
        listSkipped();
        err << QStringLiteral("Не прочитано ни одного протокола: отчёт не записан.\n");
        return 1;
    }
    QList<OutputFile> files = sheets;
    if (o.report)
        files.append({o.output, htmlReport(results, heading).toUtf8()});
    if (!o.csvPrefix.isEmpty()) {
        files.append({o.csvPrefix + QStringLiteral("-class.csv"), classCsv(results)});
        files.append({o.csvPrefix + QStringLiteral("-questions.csv"), questionsCsv(results)});
    }
    if (!sheets.isEmpty() && !QDir().mkpath(o.sheets)) {
        err << QStringLiteral(
                   "Папка для листов ответов %1 не создаётся. Ни один файл не записан.\n")
                   .arg(QFileInfo(o.sheets).absoluteFilePath());
        return 1;
    }
    const QString failure = writeOutputs(files, read);
    if (!failure.isEmpty()) {
        err << failure << "\n";
        return 1;
    }
    if (!sheets.isEmpty())
        out << QStringLiteral("Листы ответов (%1) записаны в папку %2\n")
                   .arg(sheets.size())
                   .arg(QFileInfo(o.sheets).absoluteFilePath());
    for (const OutputFile& file : files.mid(sheets.size()))
        out << QStringLiteral("Записан файл %1\n").arg(QFileInfo(file.path).absoluteFilePath());
    out << heading.tally << "\n";
    listSkipped();
    return 0;
}

} // namespace results
