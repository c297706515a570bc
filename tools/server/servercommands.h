#pragma once

#include "commandline.h"

// The bank tool's commands for the classroom server, as entries of its command line:
//   kviront-bank server init CONNINFO
//   kviront-bank publish BANK CONNINFO --name NAME
namespace servercommands {

QList<cli::Command> commands();

} // namespace servercommands
