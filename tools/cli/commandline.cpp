#include "commandline.h"

#ifndef KV_VERSION
#define KV_VERSION "?"
#endif

namespace cli {
namespace {

using namespace Qt::Literals::StringLiterals;

// An option by its long name, or by its letter when `name` is what followed a single "-".
const Option* findOption(const QList<Option>& options, const QString& name, bool isShort) {
    for (const Option& o : options)
        if (isShort ? name.size() == 1 && o.shortName == name[0] : o.name == name)
            return &o;
    return nullptr;
}

// "-" alone is an argument (the standard streams, by custom), as is anything after "--".
bool looksLikeOption(const QString& arg) {
    return arg.size() > 1 && arg.startsWith(u'-');
}

// The option's name as the user wrote it: "--format" or "-o".
QString spelled(const QString& name, bool isShort) {
    return (isShort ? u"-"_s : u"--"_s) + name;
}

QString bare(QString argument) {
    argument.remove(u'[').remove(u']').remove(u'…');
    return argument;
}

// The first pass, before the command is known: "--help", "--version", and the arguments that
// are not options or their values (the command's words among them).
struct Scan {
    bool help = false;
    bool version = false;
    QList<qsizetype> positional; // indexes into the arguments
};

Scan scan(const Tool& tool, const QStringList& args) {
    QList<Option> all;
    for (const Command& c : tool.commands)
        all += c.options;
    const Option* versionOption = findOption(all, u"version"_s, false);
    if (versionOption && versionOption->valueName.isEmpty())
        versionOption = nullptr;
    Scan s;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !looksLikeOption(a)) {
            s.positional << i;
        } else if (a == u"--") {
            optionsEnded = true;
        } else if (a == u"--help") {
            s.help = true;
        } else if (a == u"--version" &&
                   !(versionOption && i + 1 < args.size() && !looksLikeOption(args[i + 1]))) {
            // The tool's version, unless a command's own --version (of a bank) has its value.
            s.version = true;
        } else if (a == u"--version") {
            ++i;
        } else if (!a.contains(u'=')) {
            // An option that takes its value from the next argument steps over it.
            // ("-oFILE" carries its value.)
            const bool isShort = !a.startsWith(u"--");
            const Option* o = isShort ? (a.size() == 2 ? findOption(all, a.mid(1), true) : nullptr)
                                      : findOption(all, a.mid(2), false);
            if (o && !o->valueName.isEmpty())
                ++i;
        }
    }
    return s;
}

// The command named by the first words, the longest name first.
const Command& pickCommand(const Tool& tool, const QStringList& words, qsizetype* taken) {
    const Command* best = nullptr;
    *taken = 0;
    for (const Command& c : tool.commands) {
        const QStringList name = c.name.split(u' ', Qt::SkipEmptyParts);
        if (name.size() >= *taken && name.size() <= words.size() &&
            words.mid(0, name.size()) == name && (!best || name.size() > *taken)) {
            best = &c;
            *taken = name.size();
        }
    }
    if (best)
        return *best;
    if (words.isEmpty())
        throw UsageError(u"не указана команда"_s);
    throw UsageError(u"неизвестная команда «%1»"_s.arg(words.first()));
}

class OptionReader {
public:
    OptionReader(const Tool& tool, const Command& command, const QStringList& args)
        : m_tool(tool), m_command(command), m_args(args) {}

    // Reads the option at `i` (moving `i` past a value taken from the next argument).
    void read(qsizetype& i, Arguments& into) {
        const QString& a = m_args[i];
        if (a.startsWith(u"--")) {
            const qsizetype eq = a.indexOf(u'=');
            const QString name = a.mid(2, eq < 0 ? -1 : eq - 2);
            const Option& o = known(name, false);
            if (o.valueName.isEmpty() && eq >= 0)
                throw UsageError(u"параметр --%1 не принимает значения"_s.arg(name));
            take(o, spelled(name, false),
                 eq >= 0 ? std::optional<QString>(a.mid(eq + 1)) : std::nullopt, i, into);
            return;
        }
        // Short options, possibly run together ("-o FILE", "-oFILE").
        for (qsizetype k = 1; k < a.size(); ++k) {
            const Option& o = known(a.mid(k, 1), true);
            if (!o.valueName.isEmpty()) {
                take(o, spelled(o.shortName, true),
                     k + 1 < a.size() ? std::optional<QString>(a.mid(k + 1)) : std::nullopt, i,
                     into);
                return;
            }
            into.set(o.name, QString());
        }
    }

private:
    const Option& known(const QString& name, bool isShort) {
        if (const Option* o = findOption(m_command.options, name, isShort))
            return *o;
        for (const Command& other : m_tool.commands)
            if (findOption(other.options, name, isShort))
                throw UsageError(u"параметр %1 не относится к команде %2"_s.arg(
                    spelled(name, isShort), m_command.name));
        throw UsageError(u"неизвестный параметр «%1»"_s.arg(spelled(name, isShort)));
    }

    // `written`: the option as the user wrote it, for the message.
    void take(const Option& o, const QString& written, std::optional<QString> value, qsizetype& i,
              Arguments& into) {
        if (o.valueName.isEmpty()) {
            into.set(o.name, QString());
            return;
        }
        if (!value) {
            if (i + 1 >= m_args.size())
                throw UsageError(u"после %1 нужно значение %2"_s.arg(written, o.valueName));
            value = m_args[++i];
        }
        if (!o.values.isEmpty() && !o.values.contains(*value, Qt::CaseInsensitive))
            throw UsageError(u"недопустимое значение «%1» параметра --%2; можно: %3"_s.arg(
                *value, o.name, o.values.join(u", "_s)));
        into.set(o.name, *value);
    }

    const Tool& m_tool;
    const Command& m_command;
    const QStringList& m_args;
};

void checkCount(const Command& command, const QStringList& given) {
    qsizetype required = 0;
    bool unbounded = false;
    for (const QString& a : command.arguments) {
        required += a.startsWith(u'[') ? 0 : 1;
        unbounded = unbounded || a.endsWith(u'…') || a.endsWith(u"…]");
    }
    if (given.size() < required)
        throw UsageError(u"не указан аргумент %1"_s.arg(bare(command.arguments[given.size()])));
    if (!unbounded && given.size() > command.arguments.size())
        throw UsageError(u"лишний аргумент «%1»"_s.arg(given[command.arguments.size()]));
}

// The command and what the command line gives it.
std::pair<const Command*, Arguments> parse(const Tool& tool, const QStringList& args,
                                           const Scan& s) {
    QStringList words;
    for (qsizetype i : s.positional)
        words << args[i];
    qsizetype taken = 0;
    const Command& command = pickCommand(tool, words, &taken);
    const QList<qsizetype> commandWords = s.positional.mid(0, taken);
    OptionReader reader(tool, command, args);
    Arguments given;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (commandWords.contains(i))
            continue;
        if (optionsEnded || !looksLikeOption(a))
            given.positional << a;
        else if (a == u"--")
            optionsEnded = true;
        else
            reader.read(i, given);
    }
    checkCount(command, given.positional);
    for (const Option& o : command.options)
        if (o.required && !given.isSet(o.name))
            throw UsageError(u"не указан параметр --%1 %2"_s.arg(o.name, o.valueName));
    return {&command, given};
}

QString optionSpelling(const Option& o) {
    QString text = o.shortName.isNull() ? QString() : u"-%1, "_s.arg(o.shortName);
    text += u"--"_s + o.name;
    if (!o.valueName.isEmpty())
        text += u' ' + o.valueName;
    return text;
}

QString synopsis(const Tool& tool, const Command& c) {
    QStringList parts{tool.name};
    if (!c.name.isEmpty())
        parts << c.name;
    for (const Option& o : c.options)
        parts << (o.required ? u"--%1%2"_s : u"[--%1%2]"_s)
                     .arg(o.name, o.valueName.isEmpty() ? QString() : u' ' + o.valueName);
    parts += c.arguments;
    return parts.join(u' ');
}

} // namespace

void Output::say(const QString& line) const {
    out << line << '\n' << Qt::flush;
}

void Output::warn(const QString& line) const {
    err << line << '\n' << Qt::flush;
}

QString usage(const Tool& tool) {
    QString text = u"Использование:\n"_s;
    for (const Command& c : tool.commands) {
        text += u"  "_s + synopsis(tool, c) + u'\n';
        if (!c.summary.isEmpty())
            text += u"      "_s + c.summary + u'\n';
        for (const Option& o : c.options)
            text += u"      %1  %2\n"_s.arg(optionSpelling(o), -22).arg(o.help);
    }
    text += u"\n"_s + tool.summary + u"\n\n"_s;
    text += u"Параметры можно ставить до, между и после аргументов; «--» заканчивает "
            u"параметры.\n"
            u"  --help     эта справка\n"
            u"  --version  версия программы\n\n"
            u"Коды завершения: 0 — выполнено, 1 — отказ или найдены ошибки, "
            u"2 — неверная командная строка.\n"_s;
    return text;
}

QString version(const Tool& tool) {
    return u"%1 (Квиронт) %2\n"_s.arg(tool.name, QStringLiteral(KV_VERSION));
}

int run(const Tool& tool, const QStringList& args, QTextStream& out, QTextStream& err) {
    const Output output{out, err};
    const Scan s = scan(tool, args);
    if (s.help || s.version) {
        out << (s.help ? usage(tool) : version(tool)) << Qt::flush;
        return Done;
    }
    try {
        const auto [command, given] = parse(tool, args, s);
        try {
            return command->run(given, output);
        } catch (const UsageError&) {
            throw;
        } catch (const Error& e) {
            output.warn(tool.name + u": "_s + e.message());
            return Refused;
        }
    } catch (const UsageError& e) {
        output.warn(tool.name + u": "_s + e.message());
        output.warn(u"Справка: %1 --help"_s.arg(tool.name));
        return Usage;
    }
}

} // namespace cli
