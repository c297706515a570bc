#include "servercommands.h"

#include "publish.h"
#include "schema.h"
#include "sittingcommands.h"

namespace servercommands {
namespace {

int init(const cli::Arguments& a, const cli::Output& output) {
    QTextStream& out = output.out;
    const serverschema::InitResult r = serverschema::init(a.positional[0]);
    if (r.applied.isEmpty())
        out << QStringLiteral("Схема на сервере уже последней версии (%1): ничего не изменено.\n")
                   .arg(r.to);
    else
        out << QStringLiteral("Схема на сервере: версия %1 → %2 (%3).\n")
                   .arg(r.from)
                   .arg(r.to)
                   .arg(r.applied.join(QStringLiteral(", ")));
    return 0;
}

int publish(const cli::Arguments& a, const cli::Output& output) {
    QTextStream& out = output.out;
    serverpublish::Options o;
    o.bank = a.positional[0];
    o.conninfo = a.positional[1];
    o.name = a.value(QStringLiteral("name"));
    if (o.name.isEmpty())
        throw cli::UsageError(QStringLiteral("пустое имя банка на сервере (--name)"));
    const serverpublish::Result r = serverpublish::publish(o);
    if (r.unchanged)
        out << QStringLiteral("Банк «%1» не изменился: его версия %2 уже опубликована, новой "
                              "версии нет.\n")
                   .arg(o.name)
                   .arg(r.version);
    else
        out << QStringLiteral("Банк «%1» опубликован: версия %2, вопросов %3.\n")
                   .arg(o.name)
                   .arg(r.version)
                   .arg(r.records);
    return 0;
}

} // namespace

QList<cli::Command> commands() {
    const QString conninfo = QStringLiteral("СТРОКА_ПОДКЛЮЧЕНИЯ");
    QList<cli::Command> all{
        {QStringLiteral("server init"),
         {conninfo},
         QStringLiteral("создать или обновить схему на сервере класса (от имени "
                        "суперпользователя)"),
         {},
         init},
        {QStringLiteral("publish"),
         {QStringLiteral("БАНК"), conninfo},
         QStringLiteral("опубликовать банк на сервере класса новой версией"),
         {{QStringLiteral("name"),
           {},
           QStringLiteral("ИМЯ"),
           QStringLiteral("имя банка на сервере"),
           {},
           true}},
         publish},
    };
    return all + sittingcommands::commands();
}

} // namespace servercommands
