#pragma once

#include <QStringList>
#include <QTextStream>

// The bank tool's commands for the classroom server:
//   kviront-bank server init CONNINFO
//   kviront-bank publish BANK CONNINFO --name NAME [--link FILE.mdb [--trainee CONNINFO]]
namespace servercommands {

// True for the commands below ("server", "publish").
bool handles(const QString& command);
// `args` without the program's name. Returns the exit code: 0 done, 1 failed, 2 wrong
// arguments.
int run(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace servercommands
