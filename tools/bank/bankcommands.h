#pragma once

#include "commandline.h"

// The command line of kviront-bank: one entry a command, each calling the bank tool's
// library.
namespace banktool {

cli::Tool commandLine();

// The whole command (arguments without the program's name); returns the exit code.
int runTool(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace banktool
