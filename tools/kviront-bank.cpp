// kviront-bank: makes question banks for the testing program.
//   kviront-bank create FILE          an empty bank
//   kviront-bank build SOURCE FILE    a bank from a text source (see banksource.h)
//   kviront-bank convert OLD NEW      an editable bank from an old-format (Jet) one
#include "bankfile.h"
#include "banksource.h"
#include "error.h"
#include "jetconvert.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QFileInfo>
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
                               "старого формата (.mdb Microsoft Jet)"));
    return 2;
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
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 2 && args[0] == QLatin1String("create")) {
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
