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
    o.link = a.value(QStringLiteral("link"));
    o.traineeConninfo = a.value(QStringLiteral("trainee"));
    if (o.name.isEmpty())
        throw cli::UsageError(QStringLiteral("пустое имя банка на сервере (--name)"));
    if (!o.traineeConninfo.isEmpty() && o.link.isEmpty())
        throw cli::UsageError(QStringLiteral("--trainee задаёт строку подключения для --link"));
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
    if (!o.link.isEmpty())
        out << QStringLiteral("Записан файл банка сервера %1.\n").arg(o.link);
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
           true},
          {QStringLiteral("link"),
           {},
           QStringLiteral("ФАЙЛ.mdb"),
           QStringLiteral("записать файл банка сервера для учеников"),
           {}},
          {QStringLiteral("trainee"),
           {},
           conninfo,
           QStringLiteral("строка подключения учеников для --link"),
           {}}},
         publish},
    };
    return all + sittingcommands::commands();
}

} // namespace servercommands
