// kviront-bank: makes question banks for the testing program.
//   kviront-bank create FILE          an empty bank
//   kviront-bank build SOURCE FILE    a bank from a text source (see banksource.h)
//   kviront-bank convert OLD NEW      an editable bank from an old-format (Jet) one
//   kviront-bank import [--format F] [--skip-bad] [--dry-run] SOURCE FILE
//   kviront-bank export [--format F] [--skip-bad] FILE TARGET
//   kviront-bank check FILE
//   kviront-bank server init CONNINFO, kviront-bank publish …   (see servercommands.h)
#include "bankexchange.h"
#include "bankfile.h"
#include "banksource.h"
#include "error.h"
#include "formats.h"
#include "jetconvert.h"
#include "servercommands.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

namespace {

void say(FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toUtf8().constData());
}

int usage() {
    say(stderr, QStringLiteral("Использование:\n"
                               "  kviront-bank create ФАЙЛ          — пустой банк вопросов\n"
                               "  kviront-bank build ИСТОЧНИК ФАЙЛ  — банк из текстового "
                               "источника\n"
                               "  kviront-bank convert СТАРЫЙ НОВЫЙ — изменяемый банк из банка "
                               "старого формата (.mdb Microsoft Jet)\n"
                               "  kviront-bank import [--format moodle|gift|aiken|csv] "
                               "[--skip-bad] [--dry-run] ИСТОЧНИК ФАЙЛ\n"
                               "                                    — банк из Moodle XML, GIFT, "
                               "Aiken или CSV\n"
                               "  kviront-bank export [--format moodle|csv] [--skip-bad] ФАЙЛ "
                               "ЦЕЛЬ\n"
                               "                                    — банк в Moodle XML или CSV\n"
                               "  kviront-bank check ФАЙЛ           — что в банке помешает "
                               "тесту\n"
                               "  kviront-bank server init СТРОКА_ПОДКЛЮЧЕНИЯ, kviront-bank "
                               "publish … — сервер класса"));
    return 2;
}

// The options of import and export, then exactly `count` paths; false on anything else.
bool options(QStringList args, qsizetype count, bankexchange::Format* format, bool* skipBad,
             bool* dryRun, QStringList* paths) {
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--skip-bad")) {
            *skipBad = true;
        } else if (option == QLatin1String("--dry-run") && dryRun) {
            *dryRun = true;
        } else if (option == QLatin1String("--format") && !args.isEmpty()) {
            *format = bankexchange::formatNamed(args.takeFirst());
            if (*format == bankexchange::Format::Guess)
                return false;
        } else {
            return false;
        }
    }
    *paths = args;
    return args.size() == count;
}

int exchangeCommand(const QString& command, const QStringList& args) {
    using namespace bankexchange;
    Report report;
    Format format = Format::Guess;
    bool skipBad = false, dryRun = false;
    QStringList paths;
    int code = 0;
    if (command == QLatin1String("import")) {
        if (!options(args, 2, &format, &skipBad, &dryRun, &paths))
            return usage();
        code = importBank({paths[0], paths[1], format, skipBad, dryRun}, report);
    } else if (command == QLatin1String("export")) {
        if (!options(args, 2, &format, &skipBad, nullptr, &paths))
            return usage();
        code = exportBank(paths[0], paths[1], format, skipBad, report);
    } else {
        if (args.size() != 1)
            return usage();
        code = checkBank(args[0], report);
    }
    for (const QString& line : report.err)
        say(stderr, line);
    for (const QString& line : report.out)
        say(stdout, line);
    return code;
}

void build(const QString& sourcePath, const QString& bankPath) {
    const QByteArray source = textfile::readFile(sourcePath, 64 * 1024 * 1024);
    QVector<bankfile::Question> questions;
    try {
        questions = banksource::parse(source, QFileInfo(sourcePath).absolutePath());
    } catch (const Error& e) {
        throw Error(QStringLiteral("%1: %2").arg(sourcePath, e.message()));
    }
    bankfile::Writer writer(bankPath);
    for (const auto& q : questions)
        writer.add(q);
    writer.commit();
    say(stdout, QStringLiteral("%1: вопросов %2").arg(bankPath).arg(questions.size()));
}

// Prints what could not be carried over; the result is then a failure.
int convert(const QString& oldPath, const QString& newPath) {
    const jetconvert::Result result = jetconvert::convert(oldPath, newPath);
    say(stdout, QStringLiteral("%1: вопросов %2").arg(newPath).arg(result.questions));
    for (const QString& line : result.refused)
        say(stderr, QStringLiteral("kviront-bank: ") + line);
    if (result.refused.isEmpty())
        return 0;
    say(stderr, QStringLiteral("kviront-bank: банк записан без этих значений (%1)")
                    .arg(result.refused.size()));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    formats::resetFromHostLocale(); // numbers read with the system's decimal separator
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && servercommands::handles(args[0])) {
        QTextStream out(stdout), err(stderr);
        return servercommands::run(args, out, err);
    }
    try {
        if (!args.isEmpty() &&
            (args[0] == QLatin1String("import") || args[0] == QLatin1String("export") ||
             args[0] == QLatin1String("check"))) {
            return exchangeCommand(args[0], args.mid(1));
        } else if (args.size() == 2 && args[0] == QLatin1String("create")) {
            bankfile::create(args[1]);
            say(stdout, QStringLiteral("%1: пустой банк вопросов создан").arg(args[1]));
        } else if (args.size() == 3 && args[0] == QLatin1String("build")) {
            build(args[1], args[2]);
        } else if (args.size() == 3 && args[0] == QLatin1String("convert")) {
            return convert(args[1], args[2]);
        } else {
            return usage();
        }
    } catch (const Error& e) {
        say(stderr, QStringLiteral("kviront-bank: ") + e.message());
        return 1;
    }
    return 0;
}
