#include "bankcommands.h"

#include "bankexchange.h"
#include "bankfile.h"
#include "banksource.h"
#include "jetconvert.h"
#include "textfile.h"

#include <QFileInfo>

namespace banktool {
namespace {

using namespace Qt::Literals::StringLiterals;
using cli::Arguments;
using cli::Output;

int create(const Arguments& a, const Output& o) {
    bankfile::create(a.positional[0]);
    o.say(u"%1: пустой банк вопросов создан"_s.arg(a.positional[0]));
    return cli::Done;
}

int build(const Arguments& a, const Output& o) {
    const QString& sourcePath = a.positional[0];
    const QString& bankPath = a.positional[1];
    const QByteArray source = textfile::readFile(sourcePath, 64 * 1024 * 1024);
    QVector<bankfile::Question> questions;
    try {
        questions = banksource::parse(source, QFileInfo(sourcePath).absolutePath());
    } catch (const Error& e) {
        throw Error(u"%1: %2"_s.arg(sourcePath, e.message()));
    }
    bankfile::Writer writer(bankPath);
    for (const auto& q : questions)
        writer.add(q);
    writer.commit();
    o.say(u"%1: вопросов %2"_s.arg(bankPath).arg(questions.size()));
    return cli::Done;
}

// What could not be carried over is printed; the result is then a refusal.
int convert(const Arguments& a, const Output& o) {
    const jetconvert::Result result = jetconvert::convert(a.positional[0], a.positional[1]);
    o.say(u"%1: вопросов %2"_s.arg(a.positional[1]).arg(result.questions));
    for (const QString& line : result.refused)
        o.warn(u"kviront-bank: "_s + line);
    if (result.refused.isEmpty())
        return cli::Done;
    o.warn(u"kviront-bank: банк записан без этих значений (%1)"_s.arg(result.refused.size()));
    return cli::Refused;
}

int report(int code, const bankexchange::Report& report, const Output& o) {
    for (const QString& line : report.err)
        o.warn(line);
    for (const QString& line : report.out)
        o.say(line);
    return code;
}

int importCommand(const Arguments& a, const Output& o) {
    using namespace bankexchange;
    Report r;
    const int code =
        importBank({a.positional[0], a.positional[1], formatNamed(a.value(u"format"_s)),
                    a.isSet(u"skip-bad"_s), a.isSet(u"dry-run"_s)},
                   r);
    return report(code, r, o);
}

int exportCommand(const Arguments& a, const Output& o) {
    using namespace bankexchange;
    Report r;
    const int code = exportBank(a.positional[0], a.positional[1], formatNamed(a.value(u"format"_s)),
                                a.isSet(u"skip-bad"_s), r);
    return report(code, r, o);
}

int checkCommand(const Arguments& a, const Output& o) {
    bankexchange::Report r;
    const int code = bankexchange::checkBank(a.positional[0], r);
    return report(code, r, o);
}

cli::Option formatOption(const QString& help, const QStringList& values) {
    return {u"format"_s, {}, u"ФОРМАТ"_s, help, values};
}

const cli::Option skipBad{
    u"skip-bad"_s, {}, {}, u"записать остальные вопросы, когда часть из них не подходит"_s, {}};

} // namespace

cli::Tool commandLine() {
    return {
        u"kviront-bank"_s,
        u"Банки вопросов программы тестирования Квиронт (файлы .mdb): создание, перевод\n"
        u"из старого формата и из других систем, выгрузка, проверка и публикация на сервере\n"
        u"класса."_s,
        {
            {u"create"_s, {u"ФАЙЛ"_s}, u"пустой банк вопросов"_s, {}, create},
            {u"build"_s, {u"ИСТОЧНИК"_s, u"ФАЙЛ"_s}, u"банк из текстового источника"_s, {}, build},
            {u"convert"_s,
             {u"СТАРЫЙ"_s, u"НОВЫЙ"_s},
             u"изменяемый банк из банка старого формата (.mdb Microsoft Jet)"_s,
             {},
             convert},
            {u"import"_s,
             {u"ИСТОЧНИК"_s, u"ФАЙЛ"_s},
             u"банк из Moodle XML, GIFT, Aiken или CSV"_s,
             {formatOption(u"moodle, gift, aiken или csv (иначе — по расширению)"_s,
                           {u"moodle"_s, u"gift"_s, u"aiken"_s, u"csv"_s}),
              skipBad,
              {u"dry-run"_s, {}, {}, u"только проверить, ничего не записывая"_s, {}}},
             importCommand},
            {u"export"_s,
             {u"ФАЙЛ"_s, u"ЦЕЛЬ"_s},
             u"банк в Moodle XML или CSV"_s,
             {formatOption(u"moodle или csv (иначе — по расширению)"_s, {u"moodle"_s, u"csv"_s}),
              skipBad},
             exportCommand},
            {u"check"_s, {u"ФАЙЛ"_s}, u"что в банке помешает тесту"_s, {}, checkCommand},
        }};
}

int runTool(const QStringList& args, QTextStream& out, QTextStream& err) {
    return cli::run(commandLine(), args, out, err);
}

} // namespace banktool
