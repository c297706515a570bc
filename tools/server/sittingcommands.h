#pragma once

#include "commandline.h"

// kviront-bank's sitting commands: sitting open, sitting close, sitting list, withdraw.
namespace sittingcommands {

QList<cli::Command> commands();

} // namespace sittingcommands
