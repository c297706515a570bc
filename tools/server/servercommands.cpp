#include "servercommands.h"

#include "error.h"
#include "publish.h"
#include "schema.h"

namespace servercommands {
namespace {

const char* usage =
    "Использование:\n"
    "  kviront-bank server init СТРОКА_ПОДКЛЮЧЕНИЯ\n"
    "        — создать или обновить схему на сервере класса (от имени суперпользователя)\n"
    "  kviront-bank publish БАНК СТРОКА_ПОДКЛЮЧЕНИЯ --name ИМЯ [--link ФАЙЛ.mdb "
    "[--trainee СТРОКА_ПОДКЛЮЧЕНИЯ]]\n"
    "        — опубликовать банк на сервере класса новой версией; --link записывает файл "
    "банка сервера для учеников\n";

int wrong(QTextStream& err, const QString& problem) {
    err << problem << "\n" << usage;
    return 2;
}

int init(const QString& conninfo, QTextStream& out) {
    const serverschema::InitResult r = serverschema::init(conninfo);
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

int publish(QStringList args, QTextStream& out, QTextStream& err) {
    serverpublish::Options o;
    QStringList positional;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        QString* target = a == QLatin1String("--name")      ? &o.name
                          : a == QLatin1String("--link")    ? &o.link
                          : a == QLatin1String("--trainee") ? &o.traineeConninfo
                                                            : nullptr;
        if (target) {
            if (args.isEmpty() || args.first().isEmpty())
                return wrong(err, QStringLiteral("После %1 нужно значение.").arg(a));
            *target = args.takeFirst();
        } else if (a.startsWith(QLatin1String("--"))) {
            return wrong(err, QStringLiteral("Неизвестный параметр %1.").arg(a));
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2 || o.name.isEmpty())
        return wrong(err, QStringLiteral("Нужны банк, строка подключения и --name."));
    if (!o.traineeConninfo.isEmpty() && o.link.isEmpty())
        return wrong(err, QStringLiteral("--trainee задаёт строку подключения для --link."));
    o.bank = positional[0];
    o.conninfo = positional[1];
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

bool handles(const QString& command) {
    return command == QLatin1String("server") || command == QLatin1String("publish");
}

int run(const QStringList& args, QTextStream& out, QTextStream& err) {
    try {
        if (args.value(0) == QLatin1String("publish"))
            return publish(args.mid(1), out, err);
        if (args.size() == 3 && args[1] == QLatin1String("init"))
            return init(args[2], out);
        return wrong(err, QStringLiteral("Команда server знает только init СТРОКА_ПОДКЛЮЧЕНИЯ."));
    } catch (const Error& e) {
        err << QStringLiteral("kviront-bank: ") << e.message() << "\n";
        return 1;
    }
}

} // namespace servercommands
