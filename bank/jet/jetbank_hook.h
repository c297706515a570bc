#pragma once

#include "jetbank.h"

#include <QString>

// What the tests' seams reach (tests/support/seams): the program itself never changes these.
namespace jetbank::hook {

extern QString readerProgram; // empty: the reader beside the program
extern int wallMs;            // the reader's limit of wall time

} // namespace jetbank::hook
