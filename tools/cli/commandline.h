#pragma once

#include "error.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

// The command lines of the tools, as GNU tools take theirs: a table of commands, each with
// its arguments and options; options anywhere among the arguments, "--" ending them, "--help"
// and "--version" for every tool. Exit codes: 0 done, 1 a refusal or findings, 2 a wrong
// command line.
namespace cli {

enum ExitCode { Done = 0, Refused = 1, Usage = 2 };

struct Option {
    QString name;       // the long name, without "--"
    QChar shortName;    // a one-letter form ("-o"), or none
    QString valueName;  // what the option takes ("ФОРМАТ"); empty for an option without value
    QString help;       // one line
    QStringList values; // when not empty: the only values allowed (any letter case)
    bool required = false;
};

// What the command line gave the command.
class Arguments {
public:
    QStringList positional;
    bool isSet(const QString& option) const { return m_values.contains(option); }
    // The option's value (the last one given); empty when not given.
    QString value(const QString& option) const { return m_values.value(option); }
    void set(const QString& option, const QString& value) { m_values.insert(option, value); }

private:
    QHash<QString, QString> m_values;
};

// Where a command writes: every line ends with a line break, each is written out at once so
// that the two streams keep their order on a terminal.
struct Output {
    QTextStream& out;
    QTextStream& err;
    void say(const QString& line) const;
    void warn(const QString& line) const;
};

struct Command {
    QString name;          // the command's words ("import", "server init"); empty: the only one
    QStringList arguments; // the names of its arguments: "ИМЯ", "[ИМЯ]" (optional), "ИМЯ…"
                           // (one or more), "[ИМЯ…]" (any number); optional ones come last
    QString summary; // one line for the usage
    QList<Option> options;
    std::function<int(const Arguments&, const Output&)> run;
};

struct Tool {
    QString name; // the program's name, as typed
    QString summary;
    QList<Command> commands;
};

// A command line the command finds wrong (a value that does not fit, say): reported as a usage
// error, exit code 2. A cli::Error thrown by a command is a refusal, exit code 1.
class UsageError : public Error {
public:
    using Error::Error;
};

// Runs the command line (without the program's name) against the table: "--help" prints the
// usage to `out` and "--version" the version, both exiting 0; a wrong command line is named in
// a message on `err`, exit 2; otherwise the command's own exit code, or 1 after an Error, whose
// message is printed after the tool's name.
int run(const Tool& tool, const QStringList& args, QTextStream& out, QTextStream& err);

// The usage text, every line ending with a line break.
QString usage(const Tool& tool);

// "kviront-bank (Квиронт) 2.0" and a line break.
QString version(const Tool& tool);

} // namespace cli
