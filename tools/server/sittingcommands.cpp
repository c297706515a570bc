#include "sittingcommands.h"

#include "classapi.h"
#include "formats.h"
#include "sitting.h"
#include "textfile.h"

namespace sittingcommands {
namespace {

int number(const cli::Arguments& a, const QString& option, int low, int high, int otherwise) {
    if (!a.isSet(option))
        return otherwise;
    bool ok = false;
    const int n = a.value(option).toInt(&ok);
    if (!ok || n < low || n > high)
        throw cli::UsageError(
            QStringLiteral("--%1: нужно число от %2 до %3").arg(option).arg(low).arg(high));
    return n;
}

// "ГГГГ-ММ-ДД ЧЧ:ММ", or "ЧЧ:ММ" for today, in local time.
QDateTime timeOf(const QString& option, const QString& text) {
    QDateTime when = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
    if (!when.isValid()) {
        const QTime time = QTime::fromString(text, QStringLiteral("HH:mm"));
        if (time.isValid())
            when = QDateTime(QDate::currentDate(), time);
    }
    if (!when.isValid())
        throw cli::UsageError(
            QStringLiteral("--%1: время пишется как «2026-12-08 10:45» или «10:45»").arg(option));
    return when;
}

QString shown(const QDateTime& when) {
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                          : QStringLiteral("—");
}

int open(const cli::Arguments& a, const cli::Output& output) {
    serversitting::OpenOptions o;
    o.bank = a.positional[0];
    o.conninfo = a.positional[1];
    o.version = number(a, QStringLiteral("version"), 1, 1000000, 0);
    o.seconds = a.value(QStringLiteral("seconds")).toInt();
    o.separator = a.isSet(QStringLiteral("separator")) ? a.value(QStringLiteral("separator"))[0]
                                                       : formats::settings().decimalSeparator;
    if (o.separator != QLatin1Char(','))
        o.separator = QLatin1Char('.');
    o.grace = number(a, QStringLiteral("grace"), 0, classapi::maxGraceSeconds,
                     classapi::defaultGraceSeconds);
    for (const QString& option : {QStringLiteral("from"), QStringLiteral("until")})
        if (a.isSet(option))
            (option == QLatin1String("from") ? o.from : o.until) = timeOf(option, a.value(option));
    if (a.isSet(QStringLiteral("grades"))) {
        const auto grades = classapi::parseGrades(a.value(QStringLiteral("grades")).toStdString());
        if (!grades)
            throw cli::UsageError(QStringLiteral("--grades: три границы в процентах для «5», «4» и "
                                                 "«3» по убыванию, например 90,75,50"));
        o.grades = *grades;
    }
    o.showGrade = a.isSet(QStringLiteral("show-grade"));
    o.ownOrder = a.isSet(QStringLiteral("own-order"));
    o.hideAnswers = a.isSet(QStringLiteral("hide-answers"));
    if (!a.isSet(QStringLiteral("list")) && !a.isSet(QStringLiteral("count")))
        throw cli::UsageError(QStringLiteral("нужен список класса (--list) или число кодов без "
                                             "имён (--count)"));
    if (a.isSet(QStringLiteral("list")))
        o.trainees = serversitting::readClassList(a.value(QStringLiteral("list")));
    o.count = number(a, QStringLiteral("count"), 1, 1000, 0);
    o.name = a.value(QStringLiteral("name"));
    o.url = a.value(QStringLiteral("url"));
    if (a.isSet(QStringLiteral("certificate")))
        o.certificate = textfile::readFile(a.value(QStringLiteral("certificate")), 64 * 1024);
    o.link = a.value(QStringLiteral("link"));
    o.slips = a.value(QStringLiteral("slips"));
    const serversitting::Opened s = serversitting::open(o);
    output.say(QStringLiteral("Тестирование «%1» открыто: банк «%2», версия %3, вопросов %4, по "
                              "%5 с на вопрос, до %6.")
                   .arg(s.name, s.bank, QString::number(s.version), QString::number(s.records),
                        QString::number(s.seconds),
                        s.until.isValid() ? shown(s.until) : QStringLiteral("закрытия")));
    output.say(QStringLiteral("Коды учеников (показаны только сейчас и на листках):"));
    for (const serversitting::Code& c : s.codes)
        output.say(QStringLiteral("  %1. %2  %3")
                       .arg(c.position, 2)
                       .arg(QString::fromStdString(classapi::groupedCode(c.code.toStdString())),
                            c.trainee.isEmpty() ? QStringLiteral("(без имени)") : c.trainee));
    output.say(QStringLiteral("Листки с кодами для печати: %1").arg(s.slips));
    output.say(QStringLiteral("Файл тестирования для учеников (сервер %1): %2").arg(s.url, s.link));
    output.say(QStringLiteral("Правила: оценки «5» от %1 %, «4» от %2 %, «3» от %3 %%4; %5; %6.")
                   .arg(o.grades.five)
                   .arg(o.grades.four)
                   .arg(o.grades.three)
                   .arg(o.showGrade ? QStringLiteral(" (ученик видит оценку)") : QString(),
                        o.ownOrder ? QStringLiteral("у каждого ученика свой порядок вопросов")
                                   : QStringLiteral("порядок вопросов общий"),
                        o.hideAnswers ? QStringLiteral("верные ответы скрыты до закрытия")
                                      : QStringLiteral("верные ответы показываются")));
    output.say(QStringLiteral("Страница класса: %1").arg(s.pageUrl));
    output.say(QStringLiteral("Ключ учителя для неё (показан только сейчас, не раздавайте его): %1")
                   .arg(QString::fromStdString(classapi::groupedCode(s.teacherKey.toStdString()))));
    return cli::Done;
}

int close(const cli::Arguments& a, const cli::Output& output) {
    const QString& name = a.positional[0];
    if (serversitting::close(a.positional[1], name))
        output.say(QStringLiteral("Тестирование «%1» закрыто: новые тесты не начнутся, начатые "
                                  "можно закончить.")
                       .arg(name));
    else
        output.say(QStringLiteral("Тестирование «%1» уже было закрыто.").arg(name));
    return cli::Done;
}

int key(const cli::Arguments& a, const cli::Output& output) {
    const serversitting::NewKey k = serversitting::newTeacherKey(a.positional[1], a.positional[0]);
    output.say(QStringLiteral("Новый ключ учителя для страницы класса тестирования «%1» (показан "
                              "только сейчас; прежний больше не действует): %2")
                   .arg(a.positional[0],
                        QString::fromStdString(classapi::groupedCode(k.key.toStdString()))));
    if (!k.pageUrl.isEmpty())
        output.say(QStringLiteral("Страница класса: %1").arg(k.pageUrl));
    return cli::Done;
}

int list(const cli::Arguments& a, const cli::Output& output) {
    const QList<serversitting::Listed> all = serversitting::list(a.positional[0]);
    if (all.isEmpty())
        output.say(QStringLiteral("На сервере нет ни одного тестирования."));
    for (const serversitting::Listed& s : all)
        output.say(QStringLiteral("«%1» — %2: банк «%3», версия %4, %5 с; открыто %6, до %7; "
                                  "кодов %8, начато %9, закончено %10")
                       .arg(s.name, s.state, s.bank, QString::number(s.version),
                            QString::number(s.seconds), shown(s.opensAt),
                            s.closesAt.isValid() ? shown(s.closesAt) : QStringLiteral("закрытия"),
                            QString::number(s.codes), QString::number(s.started))
                       .arg(s.finished));
    return cli::Done;
}

int withdraw(const cli::Arguments& a, const cli::Output& output) {
    const QString& bank = a.positional[0];
    const int version = number(a, QStringLiteral("version"), 1, 1000000, 0);
    const bool done = serversitting::withdraw(a.positional[1], bank, version);
    if (version == 0)
        output.say(done ? QStringLiteral("Банк «%1» снят: тесты на нём больше не начинаются и не "
                                         "продолжаются.")
                              .arg(bank)
                        : QStringLiteral("Банк «%1» уже был снят.").arg(bank));
    else
        output.say(
            done ? QStringLiteral("Версия %1 банка «%2» снята: тесты на ней больше не "
                                  "начинаются и не продолжаются.")
                       .arg(version)
                       .arg(bank)
                 : QStringLiteral("Версия %1 банка «%2» уже была снята.").arg(version).arg(bank));
    return cli::Done;
}

} // namespace

QList<cli::Command> commands() {
    const QString conninfo = QStringLiteral("СТРОКА_ПОДКЛЮЧЕНИЯ");
    const QStringList seconds{QStringLiteral("30"), QStringLiteral("35"), QStringLiteral("45"),
                              QStringLiteral("60")};
    const cli::Option version{QStringLiteral("version"),
                              {},
                              QStringLiteral("N"),
                              QStringLiteral("версия банка (по умолчанию последняя)"),
                              {}};
    return {
        {QStringLiteral("sitting open"),
         {QStringLiteral("БАНК"), conninfo},
         QStringLiteral("открыть тестирование по опубликованному банку: коды учеников, листки "
                        "и файл тестирования"),
         {version,
          {QStringLiteral("seconds"),
           {},
           QStringLiteral("СЕКУНДЫ"),
           QStringLiteral("время на вопрос"),
           seconds,
           true},
          {QStringLiteral("separator"),
           {},
           QStringLiteral("ЗНАК"),
           QStringLiteral("десятичный разделитель (по умолчанию — системы)"),
           {QStringLiteral("."), QStringLiteral(",")}},
          {QStringLiteral("grace"),
           {},
           QStringLiteral("СЕКУНДЫ"),
           QStringLiteral("запас времени на ответ (по умолчанию 5)"),
           {}},
          {QStringLiteral("from"),
           {},
           QStringLiteral("ВРЕМЯ"),
           QStringLiteral("до этого времени тесты не начинаются"),
           {}},
          {QStringLiteral("until"),
           {},
           QStringLiteral("ВРЕМЯ"),
           QStringLiteral("после этого времени новые тесты не начинаются"),
           {}},
          {QStringLiteral("grades"),
           {},
           QStringLiteral("5,4,3"),
           QStringLiteral("границы оценок в процентах верных (по умолчанию 90,75,50)"),
           {}},
          {QStringLiteral("show-grade"),
           {},
           {},
           QStringLiteral("ученик видит оценку в итоге теста"),
           {}},
          {QStringLiteral("own-order"),
           {},
           {},
           QStringLiteral("у каждого ученика свой порядок вопросов"),
           {}},
          {QStringLiteral("hide-answers"),
           {},
           {},
           QStringLiteral("верные ответы не показываются до закрытия тестирования"),
           {}},
          {QStringLiteral("list"),
           {},
           QStringLiteral("ФАЙЛ"),
           QStringLiteral("список класса: UTF-8, одно имя в строке"),
           {}},
          {QStringLiteral("count"),
           {},
           QStringLiteral("N"),
           QStringLiteral("столько кодов без имён (вместо списка или сверх него)"),
           {}},
          {QStringLiteral("name"),
           {},
           QStringLiteral("ИМЯ"),
           QStringLiteral("имя тестирования (по умолчанию банк, дата и время)"),
           {}},
          {QStringLiteral("url"),
           {},
           QStringLiteral("АДРЕС"),
           QStringLiteral("адрес сервера https:// (по умолчанию из setup)"),
           {}},
          {QStringLiteral("certificate"),
           {},
           QStringLiteral("ФАЙЛ"),
           QStringLiteral("сертификат сервера PEM (по умолчанию из setup)"),
           {}},
          {QStringLiteral("link"),
           {},
           QStringLiteral("ФАЙЛ.mdb"),
           QStringLiteral("файл тестирования для учеников"),
           {}},
          {QStringLiteral("slips"),
           {},
           QStringLiteral("ФАЙЛ.html"),
           QStringLiteral("листки с кодами для печати"),
           {}}},
         open},
        {QStringLiteral("sitting close"),
         {QStringLiteral("ИМЯ"), conninfo},
         QStringLiteral("закрыть тестирование: новые тесты не начнутся, начатые закончатся"),
         {},
         close},
        {QStringLiteral("sitting key"),
         {QStringLiteral("ИМЯ"), conninfo},
         QStringLiteral("новый ключ учителя для страницы класса (прежний перестаёт действовать)"),
         {},
         key},
        {QStringLiteral("sitting list"),
         {conninfo},
         QStringLiteral("тестирования на сервере: кодов, начато, закончено"),
         {},
         list},
        {QStringLiteral("withdraw"),
         {QStringLiteral("БАНК"), conninfo},
         QStringLiteral("снять банк или его версию: тесты на нём не начинаются и не идут"),
         {{QStringLiteral("version"),
           {},
           QStringLiteral("N"),
           QStringLiteral("снять только эту версию (без него снимается весь банк)"),
           {}}},
         withdraw},
    };
}

} // namespace sittingcommands
